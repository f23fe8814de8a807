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
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "ellip/kernel_result.hpp"

namespace mirlaxon::ellip::bulirsch {

inline constexpr double CEL_TOLERANCE = 1.4901161193847656e-08;  // 2^-26 = √ε

// The mean's steps grow with |ln kc| like its logarithm: 7 at kc = 1e-3, 8 at
// 1e-12, 11 at 1e-100, 13 at 1e-300 (and 12 at 1e150). The cap only ends the
// loop for inputs whose mean never settles (a NaN or an overflow).
inline constexpr int CEL_MAX_STEPS = 40;

// The mean itself, started from √p and b/√p: cel = (π/2)·numerator/
// denominator. A caller that has √p and b/√p in closed form (the rings do)
// saves the square root and the division of the start, and one that scales
// the result folds π/2 and its own factor into a single division.
struct Mean {
  double numerator, denominator;
};

inline Mean cel_mean(double kc, double root_p, double a, double b_over_root_p) {
  double e = kc;
  double em = 1.0;
  double p = root_p;
  double b = b_over_root_p;
  for (int step = 0; step < CEL_MAX_STEPS; ++step) {
    const double f = a;
    const double inverse = 1.0 / p;
    a = a + b * inverse;
    double g = e * inverse;
    b = b + f * g;
    b = b + b;
    p = g + p;
    g = em;
    em = em + kc;
    if (std::fabs(g - kc) <= g * CEL_TOLERANCE) return {b + a * em, em * (em + p)};
    kc = std::sqrt(e);
    kc = kc + kc;
    e = kc * em;
  }
  return {NAN, 1.0};
}

// For p > 0 and 0 < kc ≤ 1e154 (every ring's kc is at most 1): the value of
// the integral. NaN for arguments outside that domain, and from kc ≈ 1.3e154
// on, where kc·(1 + kc) overflows.
inline double cel(double kc, double p, double a, double b) {
  if (!(kc > 0.0) || !(p > 0.0) || std::isinf(kc) || std::isinf(p)) return NAN;
  const double root_p = std::sqrt(p);
  const Mean mean = cel_mean(kc, root_p, a, b / root_p);
  return HALF_PI * mean.numerator / mean.denominator;
}

namespace detail {

#if defined(__x86_64__) && defined(__GNUC__)
// The lanes where kc and p are in (0, ∞), NaN excluded: cel's domain.
__attribute__((target("avx2"))) inline __m256d in_domain(__m256d kc, __m256d p) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256d infinity = _mm256_set1_pd(INFINITY);
  return _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(kc, zero, _CMP_GT_OQ), _mm256_cmp_pd(p, zero, _CMP_GT_OQ)),
                       _mm256_and_pd(_mm256_cmp_pd(kc, infinity, _CMP_LT_OQ),
                                     _mm256_cmp_pd(p, infinity, _CMP_LT_OQ)));
}

// Four means side by side in AVX lanes: the same operations in the same order
// as cel_mean() (+ − × ÷ √ are correctly rounded in every lane), each lane
// taking its numerator and denominator at the step where cel_mean() would
// return them. Lanes that are done keep iterating harmlessly until the last
// one converges. Lanes outside the domain (kc or √p not in (0, ∞), NaN
// included) are NaN over 1.
__attribute__((target("avx2"))) inline void cel_mean_four(__m256d kc, __m256d p, __m256d a, __m256d b,
                                                          __m256d& numerator, __m256d& denominator) {
  const __m256d valid = in_domain(kc, p);
  __m256d done = _mm256_xor_pd(valid, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)));
  numerator = _mm256_set1_pd(NAN);
  denominator = _mm256_set1_pd(1.0);
  if (_mm256_movemask_pd(done) == 0xF) return;
  __m256d e = kc;
  __m256d em = _mm256_set1_pd(1.0);
  const __m256d tolerance = _mm256_set1_pd(CEL_TOLERANCE);
  const __m256d sign_bit = _mm256_set1_pd(-0.0);
  for (int step = 0; step < CEL_MAX_STEPS; ++step) {
    const __m256d f = a;
    const __m256d inverse = _mm256_div_pd(_mm256_set1_pd(1.0), p);
    a = _mm256_add_pd(a, _mm256_mul_pd(b, inverse));
    __m256d g = _mm256_mul_pd(e, inverse);
    b = _mm256_add_pd(b, _mm256_mul_pd(f, g));
    b = _mm256_add_pd(b, b);
    p = _mm256_add_pd(g, p);
    g = em;
    em = _mm256_add_pd(em, kc);
    const __m256d gap = _mm256_andnot_pd(sign_bit, _mm256_sub_pd(g, kc));
    const __m256d converged = _mm256_cmp_pd(gap, _mm256_mul_pd(g, tolerance), _CMP_LE_OQ);
    const __m256d now = _mm256_andnot_pd(done, converged);
    if (_mm256_movemask_pd(now) != 0) {
      numerator = _mm256_blendv_pd(numerator, _mm256_add_pd(b, _mm256_mul_pd(a, em)), now);
      denominator = _mm256_blendv_pd(denominator, _mm256_mul_pd(em, _mm256_add_pd(em, p)), now);
      done = _mm256_or_pd(done, now);
      if (_mm256_movemask_pd(done) == 0xF) break;
    }
    kc = _mm256_sqrt_pd(e);
    kc = _mm256_add_pd(kc, kc);
    e = _mm256_mul_pd(kc, em);
  }
}

// Four integrals side by side, as cel() computes each: NaN outside the
// domain, one division per group at the end.
__attribute__((target("avx2"))) inline void cel_four(const double* kc_in, const double* p_in,
                                                     const double* a_in, const double* b_in,
                                                     double* out) {
  const __m256d kc = _mm256_loadu_pd(kc_in);
  const __m256d p = _mm256_loadu_pd(p_in);
  const __m256d valid = in_domain(kc, p);
  const __m256d root_p = _mm256_sqrt_pd(p);
  __m256d numerator, denominator;
  // An invalid lane's √p may still pass the mean's check (p = ∞ gives ∞,
  // which it rejects; kc ≤ 0 it rejects itself): its kc is zeroed so that
  // the mean leaves it NaN.
  cel_mean_four(_mm256_and_pd(valid, kc), root_p, _mm256_loadu_pd(a_in),
                _mm256_div_pd(_mm256_loadu_pd(b_in), root_p), numerator, denominator);
  const __m256d value = _mm256_div_pd(_mm256_mul_pd(_mm256_set1_pd(HALF_PI), numerator), denominator);
  _mm256_storeu_pd(out, _mm256_blendv_pd(_mm256_set1_pd(NAN), value, valid));
}

inline bool has_avx2() {
  static const bool supported = __builtin_cpu_supports("avx2") != 0;
  return supported;
}
#endif

}  // namespace detail

// out[i] = cel(kc[i], p[i], a[i], b[i]) for every i, bit for bit; four at a
// time where the processor has AVX2.
inline void cel_batch(std::span<const double> kc, std::span<const double> p,
                      std::span<const double> a, std::span<const double> b, std::span<double> out) {
  std::size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (detail::has_avx2()) {
    for (; i + 4 <= out.size(); i += 4) {
      detail::cel_four(&kc[i], &p[i], &a[i], &b[i], &out[i]);
    }
  }
#endif
  for (; i < out.size(); ++i) out[i] = cel(kc[i], p[i], a[i], b[i]);
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
