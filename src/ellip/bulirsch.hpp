// Bulirsch's general complete elliptic integral
//
//   cel(kc, p, a, b) = ∫₀^{π/2} (a cos²θ + b sin²θ) dθ
//                      / ((cos²θ + p sin²θ) √(cos²θ + kc² sin²θ)),
//
// by his arithmetic-geometric-mean algorithm (R. Bulirsch, Numer. Math. 13
// (1969) 305-315, procedure cel3). With kc² = 1 − m and p = 1 − n it holds
// a·K(m) and a linear combination with Π(n, m) in one integral: a caller
// that needs α·K + β·Π passes a = α + β, b = α·p + β and pays for a single
// mean instead of two Carlson reductions. The modulus enters through its
// complement kc and the characteristic through p, so nothing near m = 1 or
// n = 1 is formed by cancellation.
//
// Each step replaces (kc, em) by (2√e, em + kc) with e = kc·em: em and kc are
// the arithmetic and geometric means of the same pair and close in on each
// other quadratically, while p, a and b are carried along so that the
// integral stays unchanged. It stops when em and kc agree to
// CEL_TOLERANCE, the square root of the wanted relative precision: the next
// step's agreement would be its square.
#pragma once

#include <cmath>

#include "ellip/kernel_result.hpp"

namespace mirlaxon::ellip::bulirsch {

inline constexpr double CEL_TOLERANCE = 1.4901161193847656e-08;  // 2^-26 = √ε

// The mean converges in at most about six steps for kc ≥ 1e-300; the cap only
// guarantees termination for inputs outside the domain.
inline constexpr int CEL_MAX_STEPS = 40;

// For kc > 0 and p > 0 (the case of every ring): the value of the integral.
// NaN for arguments outside that domain.
inline double cel(double kc, double p, double a, double b) {
  if (!(kc > 0.0) || !(p > 0.0) || std::isinf(kc) || std::isinf(p)) return NAN;
  double e = kc;
  double em = 1.0;
  p = std::sqrt(p);
  b = b / p;
  for (int step = 0; step < CEL_MAX_STEPS; ++step) {
    const double f = a;
    a = a + b / p;
    double g = e / p;
    b = b + f * g;
    b = b + b;
    p = g + p;
    g = em;
    em = em + kc;
    if (std::fabs(g - kc) <= g * CEL_TOLERANCE) return HALF_PI * (b + a * em) / (em * (em + p));
    kc = std::sqrt(e);
    kc = kc + kc;
    e = kc * em;
  }
  return NAN;
}

}  // namespace mirlaxon::ellip::bulirsch
