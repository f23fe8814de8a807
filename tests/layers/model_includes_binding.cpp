// A model naming the binding's header: built against the models' include root
// (and the kernels' below it) alone, it must not find it
// (tests/CMakeLists.txt, layers_model_includes_binding).
#include "binding/py_ref.hpp"
