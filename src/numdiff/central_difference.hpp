// Symmetric difference quotient with a step scaled by the cube root of the
// machine epsilon: for a smooth F the truncation error O(h²) and the rounding
// error O(ε/h) balance at h ∝ ε^(1/3).
#pragma once

#include "constants.hpp"

#include <cmath>

namespace mirlaxon::numdiff {

namespace detail {

// Reads as a double; the value is computed with the mathematics library's
// cbrt on first use, once, under the language's thread-safe initialisation
// of function-local statics (later reads take no lock).
struct LazyCbrtEps {
  operator double() const {  // NOLINT(google-explicit-constructor): reads like a constant
    static const double value = std::cbrt(EPSILON);
    return value;
  }
};
}  // namespace detail

// ∛ε = 6.0554544523933395e-06.
inline constexpr detail::LazyCbrtEps CBRT_EPS{};

// The step at x: h = (|x| + 1)·∛ε.
inline double central_difference_step(double x) { return (std::fabs(x) + 1.0) * CBRT_EPS; }

// (F(x + h) − F(x − h)) / (h + h) with h = (|x| + 1)·∛ε; F is called exactly
// twice, forward first. No fallback to a one-sided difference.
template <class F>
double central_difference(F&& f, double x) {
  const double h = central_difference_step(x);
  const double forward = f(x + h);
  const double backward = f(x - h);
  return (forward - backward) / (h + h);
}

}  // namespace mirlaxon::numdiff
