// The models' sequences of values: one per separation, or one per sample of
// a brightness profile.
#pragma once

#include <vector>

namespace mirlaxon::models {

using Samples = std::vector<double>;

// A magnification and its two partial derivatives at each separation: with
// u = l·ρ the lens's distance from the source centre and ρ the source radius,
// both in Einstein radii, ∂A/∂u at fixed ρ and ∂A/∂ρ at fixed u.
struct GradientSamples {
  Samples value, d_u, d_rho;
};

// One row of samples per power of a limb law, in the law's order.
using ComponentSamples = std::vector<Samples>;

}  // namespace mirlaxon::models
