// A kernel naming a model's header: built against the kernels' include root
// alone, it must not find it (tests/CMakeLists.txt, layers_kernel_includes_model).
#include "models/far_field.hpp"
