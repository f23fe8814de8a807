// The built-in brightness profile, linear limb darkening with coefficient
// c = 0.6: B(r) = 1 − c·(1 − μ), μ = √(1 − r²), and the normalisation each
// family divides by.
#pragma once

#include <cmath>

#include "constants.hpp"

namespace mirlaxon::models {

inline constexpr double BUILT_IN_LIMB_COEFFICIENT = 0.6;

// B as the uniform-disk family evaluates it: (1 − √(1 − r·r))·(−c) + 1, in
// that order. (The ring family takes the same profile as the limb law
// (1 − c)·μ⁰ + c·μ¹, limb_law.hpp.)
inline double built_in_brightness(double r) {
  return (1.0 - std::sqrt(1.0 - r * r)) * -BUILT_IN_LIMB_COEFFICIENT + 1.0;
}

// ∫₀¹ 2πr·B(r) dr = (1 − c)·π + c·2π/3 = 4π/5, which the ring family's exact
// rules divide by.
inline constexpr double BUILT_IN_NORMALISATION =
    (1.0 - BUILT_IN_LIMB_COEFFICIENT) * PI + BUILT_IN_LIMB_COEFFICIENT * (2.0 * PI / 3.0);

// What the uniform-disk family divides by: the same integral as its
// tanh–sinh rule gives it over the whole source (target 1e-16), 1.6e-14
// below. The rule stops 4.3e-14 half-widths short of each end; dividing by
// its own integral of the profile cancels that loss at the limb for a
// magnification that varies slowly there.
inline constexpr double LINEAR_LIMB_NORMALISATION = 2.5132741228717936;

static_assert(BUILT_IN_NORMALISATION == 2.5132741228718345);
static_assert(BUILT_IN_NORMALISATION - LINEAR_LIMB_NORMALISATION > 0.0 &&
              BUILT_IN_NORMALISATION - LINEAR_LIMB_NORMALISATION < 2e-14 * BUILT_IN_NORMALISATION);

}  // namespace mirlaxon::models
