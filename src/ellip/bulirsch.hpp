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
// step's agreement would be its square. Both quotients of a step by p are
// taken as products with one reciprocal: division is the mean's bottleneck,
// and the extra rounding stays far below the tests' bounds.
//
// The mean is written once, over a number type: a double, or four lanes
// (lanes.hpp) that each take their result at the step where a double would.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#include "constants.hpp"
#include "ellip/lanes.hpp"

namespace mirlaxon::ellip::bulirsch {

inline constexpr double CEL_TOLERANCE = 0x1p-26;  // √ε
static_assert(CEL_TOLERANCE * CEL_TOLERANCE == EPSILON);

// The mean's steps grow with |ln kc| like its logarithm: 7 at kc = 1e-3, 8 at
// 1e-12, 11 at 1e-100, 13 at 1e-300 (and 12 at 1e150). The cap only ends the
// loop for inputs whose mean never settles (a NaN or an overflow).
inline constexpr int CEL_MAX_STEPS = 40;

// The mean itself, started from √p and b/√p: cel = (π/2)·numerator/
// denominator. A caller that has √p and b/√p in closed form (the rings do)
// saves the square root and the division of the start, and one that scales
// the result folds π/2 and its own factor into a single division.
template <class Real>
struct Mean {
  Real numerator, denominator;
};

// For kc and √p in (0, ∞); anything else is NaN over 1 at once (a NaN or a
// zero never settles, and a negative kc takes the square root of a negative
// number at the first step).
template <class Real>
Mean<Real> cel_mean(Real kc, Real root_p, Real a, Real b_over_root_p) {
  auto done = lanes::negation(
      lanes::both(lanes::both(kc > 0.0, root_p > 0.0), lanes::both(kc < INFINITY, root_p < INFINITY)));
  Mean<Real> mean{NAN, 1.0};
  if (lanes::all_of(done)) return mean;
  Real e = kc;
  Real em = 1.0;
  Real p = root_p;
  Real b = b_over_root_p;
  for (int step = 0; step < CEL_MAX_STEPS; ++step) {
    const Real f = a;
    const Real inverse = 1.0 / p;
    a = a + b * inverse;
    Real g = e * inverse;
    b = b + f * g;
    b = b + b;
    p = g + p;
    g = em;
    em = em + kc;
    // Each lane takes its result at the step it settles; settled lanes go on
    // harmlessly until the last one does.
    const auto now = lanes::and_not(lanes::abs(g - kc) <= g * CEL_TOLERANCE, done);
    if (lanes::any_of(now)) {
      mean.numerator = lanes::select(now, b + a * em, mean.numerator);
      mean.denominator = lanes::select(now, em * (em + p), mean.denominator);
      done = lanes::either(done, now);
      if (lanes::all_of(done)) break;
    }
    kc = lanes::sqrt(e);
    kc = kc + kc;
    e = kc * em;
  }
  return mean;
}

// Two means of the same kc side by side: kc and em, their square root and
// their test are shared (each step's is the same for both), so the second
// integral costs its division and a few products. Each mean is the one
// cel_mean gives, bit for bit.
template <class Real>
std::array<Mean<Real>, 2> cel_mean_pair(Real kc, Real root_p, Real a, Real b_over_root_p, Real root_p2, Real a2,
                                        Real b2_over_root_p2) {
  const auto invalid = [&](Real root) {
    return lanes::negation(lanes::both(lanes::both(kc > 0.0, root > 0.0), lanes::both(kc < INFINITY, root < INFINITY)));
  };
  auto done = invalid(root_p);
  auto done2 = invalid(root_p2);
  std::array<Mean<Real>, 2> means{Mean<Real>{NAN, 1.0}, Mean<Real>{NAN, 1.0}};
  if (lanes::all_of(done) && lanes::all_of(done2)) return means;
  Real e = kc;
  Real em = 1.0;
  Real p = root_p, p2 = root_p2;
  Real b = b_over_root_p, b2 = b2_over_root_p2;
  for (int step = 0; step < CEL_MAX_STEPS; ++step) {
    const Real f = a, f2 = a2;
    const Real inverse = 1.0 / p, inverse2 = 1.0 / p2;
    a = a + b * inverse;
    a2 = a2 + b2 * inverse2;
    Real g = e * inverse;
    const Real g2 = e * inverse2;
    b = b + f * g;
    b = b + b;
    b2 = b2 + f2 * g2;
    b2 = b2 + b2;
    p = g + p;
    p2 = g2 + p2;
    g = em;
    em = em + kc;
    const auto converged = lanes::abs(g - kc) <= g * CEL_TOLERANCE;
    const auto now = lanes::and_not(converged, done);
    const auto now2 = lanes::and_not(converged, done2);
    if (lanes::any_of(now)) {
      means[0].numerator = lanes::select(now, b + a * em, means[0].numerator);
      means[0].denominator = lanes::select(now, em * (em + p), means[0].denominator);
      done = lanes::either(done, now);
    }
    if (lanes::any_of(now2)) {
      means[1].numerator = lanes::select(now2, b2 + a2 * em, means[1].numerator);
      means[1].denominator = lanes::select(now2, em * (em + p2), means[1].denominator);
      done2 = lanes::either(done2, now2);
    }
    if (lanes::all_of(done) && lanes::all_of(done2)) break;
    kc = lanes::sqrt(e);
    kc = kc + kc;
    e = kc * em;
  }
  return means;
}

// For p > 0 and 0 < kc ≤ 1e154 (every ring's kc is at most 1): the value of
// the integral. NaN for arguments outside that domain, and from kc ≈ 1.3e154
// on, where kc·(1 + kc) overflows.
template <class Real>
Real cel(Real kc, Real p, Real a, Real b) {
  const auto valid = lanes::both(lanes::both(kc > 0.0, p > 0.0), lanes::both(kc < INFINITY, p < INFINITY));
  // An invalid √p might still look valid to the mean (p = ∞): its kc is
  // made 0 so that the mean leaves it NaN.
  const Real root_p = lanes::sqrt(p);
  const Mean<Real> mean = cel_mean(lanes::select(valid, kc, 0.0), root_p, a, b / root_p);
  return lanes::select(valid, HALF_PI * mean.numerator / mean.denominator, NAN);
}

// out[i] = cel(kc[i], p[i], a[i], b[i]) for every i, bit for bit, four at a
// time where the lanes run.
inline void cel_batch(std::span<const double> kc, std::span<const double> p,
                      std::span<const double> a, std::span<const double> b, std::span<double> out) {
  lanes::for_each_group(out.size(), [&](std::size_t i, auto type) {
    lanes::store(cel(lanes::load(&kc[i], type), lanes::load(&p[i], type), lanes::load(&a[i], type),
                     lanes::load(&b[i], type)),
                 &out[i]);
  });
}

// The arguments of one cel(kc, p, a, b); the defaults make a harmless lane
// (cel(1, 1, 0, 0) = 0 in one step) for a point that takes another way.
struct CelArguments {
  double kc = 1.0;
  double p = 1.0;
  double a = 0.0;
  double b = 0.0;
};

// Points are taken this many at a time, so that the lanes' arguments and
// values live on the stack.
inline constexpr std::size_t BATCH_CHUNK = 64;

// The one driver of every batch of closed forms made of N cel integrals per
// point: for point i, arguments(i, forms) fills its N argument sets and says
// whether it takes the closed form; the integrals then run side by side; and
// out[i] = combine(i, values) for those that do, out[i] = other(i) for the
// rest. Each value is the one the scalar path gives, bit for bit.
template <std::size_t N, class Arguments, class Combine, class Other>
void closed_forms_batch(std::span<double> out, const Arguments& arguments, const Combine& combine,
                        const Other& other) {
  std::array<std::array<double, BATCH_CHUNK>, N> kc, p, a, b, values;
  std::array<bool, BATCH_CHUNK> closed;
  for (std::size_t start = 0; start < out.size(); start += BATCH_CHUNK) {
    const std::size_t count = std::min(BATCH_CHUNK, out.size() - start);
    for (std::size_t i = 0; i < count; ++i) {
      std::array<CelArguments, N> forms{};
      closed[i] = arguments(start + i, forms);
      if (!closed[i]) forms = {};
      for (std::size_t n = 0; n < N; ++n) {
        kc[n][i] = forms[n].kc;
        p[n][i] = forms[n].p;
        a[n][i] = forms[n].a;
        b[n][i] = forms[n].b;
      }
    }
    for (std::size_t n = 0; n < N; ++n) {
      const auto lanes = [count](auto& lane_values) { return std::span(lane_values).first(count); };
      cel_batch(lanes(kc[n]), lanes(p[n]), lanes(a[n]), lanes(b[n]), lanes(values[n]));
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (!closed[i]) {
        out[start + i] = other(start + i);
        continue;
      }
      std::array<double, N> point_values;
      for (std::size_t n = 0; n < N; ++n) point_values[n] = values[n][i];
      out[start + i] = combine(start + i, point_values);
    }
  }
}

}  // namespace mirlaxon::ellip::bulirsch
