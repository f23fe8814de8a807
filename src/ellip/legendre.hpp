// Complete Legendre elliptic integrals in the parameter convention m = k²:
//
//   K(m)    = ∫₀^{π/2} dθ / √(1 − m sin²θ)
//   E(m)    = ∫₀^{π/2} √(1 − m sin²θ) dθ
//   Π(n, m) = ∫₀^{π/2} dθ / ((1 − n sin²θ) √(1 − m sin²θ))
//
// K and E use the Hastings-type approximations P(x) − ln(x)·Q(x) in the
// complementary parameter x = 1 − m (the forms of Cody, Math. Comp. 19 (1965)
// 105-112, as tabulated in the Cephes library), which carry the logarithmic
// singularity at m = 1 exactly. Π is reduced to Carlson's integrals:
// Π(n, m) = R_F(0, 1−m, 1) + (n/3) R_J(0, 1−m, 1, 1−n) (DLMF 19.25.2).
#pragma once

#include "constants.hpp"

#include <array>
#include <cmath>
#include <numbers>

#include "ellip/carlson.hpp"
#include "ellip/kernel_result.hpp"

namespace mirlaxon::ellip::legendre {

namespace messages {
inline constexpr const char* K_DOMAIN = "ellipk: m must be less than 1.";
inline constexpr const char* E_DOMAIN = "ellipe: m must be less than 1.";
inline constexpr const char* PI_M_DOMAIN = "ellippi: m must be less than 1.";
inline constexpr const char* PI_N_DOMAIN = "ellippi: n must be less than 1.";
}  // namespace messages

namespace detail {

inline constexpr double LN_4 = 2.0 * std::numbers::ln2;
static_assert(LN_4 == 1.3862943611198906);

// Coefficients from the highest power down to the constant term.
inline constexpr std::array<double, 11> K_P = {
    0.00013798286460627325, 0.002280257240058756, 0.007974040132204152,
    0.00985821379021226,    0.006874896874499499, 0.006189010336376876,
    0.008790782739527438,   0.014938044891680526, 0.0308851465246712,
    0.09657359028116902,    1.3862943611198906};
inline constexpr std::array<double, 11> K_Q = {
    2.940789550485985e-05, 0.0009141847238659173, 0.005940583037531678,
    0.01548505166497624,   0.023908960271592488,  0.030120471522760404,
    0.037377431417382326,  0.04882803475709983,   0.07031249969639575,
    0.12499999999987083,   0.5};
inline constexpr std::array<double, 11> E_P = {
    0.0001535525773010133, 0.0025088849216360204, 0.008687868165658896,
    0.010735094905607619,  0.007773954925167871,  0.007583952894135147,
    0.011568843681057412,  0.021831799601555724,  0.05680519456178606,
    0.44314718056099084,   1.0};
inline constexpr std::array<double, 10> E_Q = {
    3.2795489857648585e-05, 0.0010096279267935672, 0.006506094899769275,
    0.016886216399331133,   0.026176974245449364,  0.03348339048882249,
    0.04271809265189315,    0.0585936634471101,    0.09374999971976443,
    0.2499999999998883};

template <std::size_t N>
inline double horner(const std::array<double, N>& coefficients, double x) {
  double sum = coefficients[0];
  for (std::size_t i = 1; i < N; ++i) sum = sum * x + coefficients[i];
  return sum;
}

// K as a function of the complementary parameter x = 1 − m, for x > 0. Below
// ε the polynomials' corrections vanish and K = ln 4 − ln(x)/2 is exact to
// rounding.
inline double ellipk_complement(double x) {
  if (x < EPSILON) return std::log(x) * -0.5 + LN_4;
  return horner(K_P, x) - std::log(x) * horner(K_Q, x);
}

}  // namespace detail

inline KernelResult ellipk(double m) {
  if (m > 1.0) return std::unexpected(messages::K_DOMAIN);
  if (m == 1.0) return INFINITY;
  if (m == 0.0) return HALF_PI;
  if (m < 0.0) {
    // The approximation holds only for 0 ≤ m < 1. Use the imaginary-modulus
    // transformation K(m) = K(m/(m−1)) / √(1−m) (DLMF 19.7.5), whose new
    // complementary parameter is 1/(1−m): formed directly, not as 1 − m/(m−1),
    // so that it keeps full relative precision for large |m|.
    if (std::isinf(m)) return 0.0;
    const double c = 1.0 - m;
    return detail::ellipk_complement(1.0 / c) / std::sqrt(c);
  }
  return detail::ellipk_complement(1.0 - m);
}

inline KernelResult ellipe(double m) {
  if (m > 1.0) return std::unexpected(messages::E_DOMAIN);
  if (m == 1.0) return 1.0;
  if (m == 0.0) return HALF_PI;
  double factor = 1.0;
  double x = 1.0 - m;
  if (m < 0.0) {
    // E(m) = √(1−m) E(m/(m−1)) (DLMF 19.7.5) brings a negative m into (0, 1).
    // The new complementary parameter is 1/(1−m): formed directly, since
    // 1 − m/(m−1) keeps no digits once |m| is large and is 0 beyond 1/ε.
    if (std::isinf(m)) return INFINITY;
    factor = std::sqrt(x);
    x = 1.0 / x;
  }
  return factor * (detail::horner(detail::E_P, x) - std::log(x) * (x * detail::horner(detail::E_Q, x)));
}

inline KernelResult ellippi(double n, double m) {
  // The parameter is tested before the characteristic.
  if (m >= 1.0) return std::unexpected(messages::PI_M_DOMAIN);
  if (n >= 1.0) return std::unexpected(messages::PI_N_DOMAIN);
  if (n == 0.0) {
    if (m == 0.0) return HALF_PI;
    return ellipk(m);
  }
  const double c = 1.0 - m;
  if (n < 0.0) {
    // Π(n, m) = m K/(m−n) − n(1−m)/((1−n)(m−n)) Π(N, m) with
    // N = (m−n)/(1−n) in (0, 1) (DLMF 19.7.10): R_J then never sees a
    // negative p.
    MIRLAXON_TRY(rf, carlson::elliprf(0.0, c, 1.0));
    MIRLAXON_TRY(rj, carlson::elliprj(0.0, c, 1.0, c / (1.0 - n)));
    MIRLAXON_TRY(k, ellipk(m));
    return k * m / (m - n) - c * ((rf + ((m - n) / (1.0 - n)) * rj / 3.0) * n / (1.0 - n)) / (m - n);
  }
  MIRLAXON_TRY(rf, carlson::elliprf(0.0, c, 1.0));
  MIRLAXON_TRY(rj, carlson::elliprj(0.0, c, 1.0, 1.0 - n));
  return rf + (rj * n) / 3.0;
}

// K and Π for callers that know the complements mc = 1 − m and nc = 1 − n
// better than m and n themselves: forming 1 − m from a rounded m near 1 keeps
// only ε/(1 − m) of relative precision, which these entries avoid. Valid for
// 0 < n < 1; mc and nc must be positive.
inline KernelResult ellipk_from_complement(double mc) {
  if (mc < 0.0) return std::unexpected(messages::K_DOMAIN);
  if (mc == 0.0) return INFINITY;
  if (mc == 1.0) return HALF_PI;
  return detail::ellipk_complement(mc);
}

inline KernelResult ellippi_from_complements(double n, double nc, double mc) {
  if (!(mc > 0.0)) return std::unexpected(messages::PI_M_DOMAIN);
  if (!(nc > 0.0)) return std::unexpected(messages::PI_N_DOMAIN);
  MIRLAXON_TRY(rf, carlson::elliprf(0.0, mc, 1.0));
  MIRLAXON_TRY(rj, carlson::elliprj(0.0, mc, 1.0, nc));
  return rf + (rj * n) / 3.0;
}

}  // namespace mirlaxon::ellip::legendre
