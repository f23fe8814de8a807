// The models' sequences of values: one per separation, or one per sample of
// a brightness profile.
#pragma once

#include <vector>

namespace mirlaxon::models {

using Samples = std::vector<double>;

}  // namespace mirlaxon::models
