// The far field: a source, ring or disk whose radius R is small beside its
// distance u from the lens. There the mean of the point-lens magnification A
// over it is a series in (R/u)² with the powers of the Laplacian of A as
// coefficients (derived in tools/make_far_field_series.py):
//
//   mean − 1 = (1 − w²)²/(2w) · [1/(1 + w)² + Σ_k m_k (R/u)^2k Q_k(w²)],
//   w = u/√(u² + 4),
//
// where m_k is 1 for a ring, 1/(k + 1) for a uniform disk and the normalised
// moment ∫2πr B r^2k dr / ∫2πr B dr for a brightness profile B over the unit
// disk. Nothing in it cancels, so the excess over 1 keeps its relative
// precision however far out (the closed forms lose ε·(u/R)² there), and it
// costs a few dozen operations.
#pragma once

#include "constants.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "models/far_field_coefficients.hpp"

namespace mirlaxon::models {

// m_1 … m_K, the weights of the series terms.
using FarFieldMoments = std::array<double, FAR_FIELD_TERMS>;

// Σ_j |Q_k,j|, a bound of |Q_k(w²)| for 0 ≤ w ≤ 1.
inline constexpr std::array<double, FAR_FIELD_TERMS> FAR_FIELD_Q_BOUND = [] {
  std::array<double, FAR_FIELD_TERMS> bound{};
  for (int k = 0; k < FAR_FIELD_TERMS; ++k) {
    for (const double c : FAR_FIELD_Q[k]) bound[k] += c < 0.0 ? -c : c;
  }
  return bound;
}();

// v = 1 − w² = 4/(u² + 4) and w = u/√(u² + 4) at distance u, formed without
// overflow for large u.
struct FarFieldGeometry {
  double v, w;
};

inline FarFieldGeometry far_field_geometry(double u) {
  if (u >= 2.0) {
    const double t2 = (2.0 / u) * (2.0 / u);
    return {t2 / (1.0 + t2), 1.0 / std::sqrt(1.0 + t2)};
  }
  const double u2 = u * u;
  return {4.0 / (u2 + 4.0), u / std::sqrt(u2 + 4.0)};
}

// Relative to the bracket (at least 1/4), term k is below
// 4·(R/u)^2k·m_k·Σ_j |Q_k,j|: the terms from the first one under 2^-56 on
// fall off by more than a factor of ten each and are left out, so that far
// out only a term or two is summed. The count depends on the arguments
// alone. `power` is (R/u)^2k.
inline bool far_field_term_counts(int k, double power, double moment) {
  return !(4.0 * power * std::fabs(moment) * FAR_FIELD_Q_BOUND[k] < 0x1p-56);
}

// The mean's excess over 1 at distance u (Einstein radii) for (R/u)² =
// ratio_squared ≤ 1/100 and the weights `moments`.
inline double far_field_excess(double u, double ratio_squared, const FarFieldMoments& moments) {
  const auto [v, w] = far_field_geometry(u);
  const double w2 = w * w;
  std::array<double, FAR_FIELD_TERMS> powers;
  double power = 1.0;
  int terms = 0;
  while (terms < FAR_FIELD_TERMS) {
    power = power * ratio_squared;
    if (!far_field_term_counts(terms, power, moments[terms])) break;
    powers[terms++] = power;
  }
  // The terms fall off as (R/u)^2k: sum from the smallest.
  double sum = 0.0;
  for (int k = terms - 1; k >= 0; --k) {
    const auto& q = FAR_FIELD_Q[k];
    double poly = 0.0;
    for (int j = 2 * k + 1; j >= 0; --j) poly = poly * w2 + q[j];  // Q_{k+1} has degree 2k + 1
    sum = sum + (moments[k] * powers[k]) * poly;
  }
  sum = sum + 1.0 / ((1.0 + w) * (1.0 + w));
  return ((v * v) / (w + w)) * sum;
}

// The mean itself, 1 + excess, for R/u = ratio.
inline double far_field_mean(double u, double ratio, const FarFieldMoments& moments) {
  return 1.0 + far_field_excess(u, ratio * ratio, moments);
}

// The mean, as far_field_mean gives it (the same operations), and its
// derivatives, for a circle of radius R at distance u (both in Einstein
// radii) with R/u = ratio. With x = (R/u)², mean − 1 = E(u, x) = P(w)·S(w, x),
// P = v²/(2w), v = 1 − w², S = 1/(1 + w)² + Σ_k m_k x^k Q_k(w²), and
// dw/du = v^(3/2)/2 = v·w/u:
//   ∂E/∂u = (P/u)·[v·w·∂S/∂w − (4w² + v)·S],  ∂E/∂x = P·Σ_k k m_k x^(k−1) Q_k(w²),
// so ∂mean/∂u (R fixed) = ∂E/∂u − (2x/u)·∂E/∂x and ∂mean/∂R (u fixed) =
// (2x/R)·∂E/∂x: sums of terms of one sign far out, nothing cancels. The
// derivatives take the terms while they count at 2^-46 (1.4e-14) of ∂E/∂x's
// first one (its Q_1 is at least 1/4), which falls off slowest: at 2^-56 they
// took one term more than the mean, the longest polynomial of the sum.
struct FarFieldGradient {
  double mean, d_u, d_radius;
};

inline FarFieldGradient far_field_gradient(double u, double ratio, const FarFieldMoments& moments) {
  const auto [v, w] = far_field_geometry(u);
  const double w2 = w * w;
  const double x = ratio * ratio;
  std::array<double, FAR_FIELD_TERMS> powers, lower_powers, polys, poly_slopes;
  double power = 1.0;
  int terms = 0, slope_terms = 0;
  const double first = 0.25 * std::fabs(moments[0]);
  for (int k = 0; k < FAR_FIELD_TERMS; ++k) {
    const double previous = power;  // x^k
    power = power * x;
    const bool for_mean = k == terms && far_field_term_counts(k, power, moments[k]);
    const bool for_slope = k == slope_terms && (k == 0 || !((k + 1) * previous * std::fabs(moments[k]) *
                                                                FAR_FIELD_Q_BOUND[k] < 0x1p-46 * first));
    if (!for_mean && !for_slope) break;
    terms += for_mean;
    slope_terms += for_slope;
    powers[k] = power;
    lower_powers[k] = previous;
  }
  // The terms' polynomials apart from their count: no step waits on a test.
  const int formed = std::max(terms, slope_terms);
  for (int k = 0; k < formed; ++k) {
    const auto& q = FAR_FIELD_Q[k];
    double poly = 0.0, poly_slope = 0.0;  // Q_{k+1}(w²) and its derivative in w²
    for (int j = 2 * k + 1; j >= 0; --j) {
      poly_slope = poly_slope * w2 + poly;
      poly = poly * w2 + q[j];
    }
    polys[k] = poly;
    poly_slopes[k] = poly_slope;
  }
  // The mean exactly as far_field_excess sums it.
  double sum = 0.0;
  for (int k = terms - 1; k >= 0; --k) sum = sum + (moments[k] * powers[k]) * polys[k];
  const double edge = 1.0 / ((1.0 + w) * (1.0 + w));
  sum = sum + edge;
  const double p = (v * v) / (w + w);
  const double mean = 1.0 + p * sum;
  double s = 0.0, s_slope = 0.0, x_slope = 0.0;
  for (int k = slope_terms - 1; k >= 0; --k) {
    s = s + (moments[k] * powers[k]) * polys[k];
    s_slope = s_slope + (moments[k] * powers[k]) * poly_slopes[k];
    x_slope = x_slope + ((k + 1) * moments[k] * lower_powers[k]) * polys[k];
  }
  // One quotient for the rest, 1/u (x/R = (R/u)/u), and 1/(1 + w)² the
  // mean's own.
  const double inverse_u = 1.0 / u;
  s = s + edge;
  const double ds_dw = (w + w) * s_slope - (edge + edge) / (1.0 + w);
  const double de_du = (p * inverse_u) * ((v * w) * ds_dw - (4.0 * w2 + v) * s);
  const double de_dx = p * x_slope;
  return {mean, de_du - ((x + x) * inverse_u) * de_dx, ((ratio + ratio) * inverse_u) * de_dx};
}

// far_field_mean for several weightings at once, out[k] for moments[k]: the
// geometry and the polynomials Q_k(w²) are formed once, and every weighting
// takes the terms the largest |moments[·][k]| (`largest`) needs, a term or
// two more than its own at most (below 2^-56 of the bracket each).
inline void far_field_means(double u, double ratio, std::span<const FarFieldMoments> moments,
                            const FarFieldMoments& largest, std::span<double> out) {
  const auto [v, w] = far_field_geometry(u);
  const double w2 = w * w;
  const double x = ratio * ratio;
  const double w4 = w2 * w2;
  std::array<double, FAR_FIELD_TERMS> terms_at_w;  // x^k·Q_k(w²)
  double power = 1.0;
  int terms = 0;
  while (terms < FAR_FIELD_TERMS) {
    power = power * x;
    if (!far_field_term_counts(terms, power, largest[terms])) break;
    // Q_k has an even number of coefficients: Horner's rule in w⁴ over pairs,
    // half the chain of dependent steps.
    const auto& q = FAR_FIELD_Q[terms];
    double poly = 0.0;
    for (int j = 2 * terms + 1; j > 0; j -= 2) poly = poly * w4 + (q[j - 1] + q[j] * w2);
    terms_at_w[terms++] = power * poly;
  }
  const double p = (v * v) / (w + w);
  const double edge = 1.0 / ((1.0 + w) * (1.0 + w));
  for (std::size_t set = 0; set < moments.size(); ++set) {
    double sum = 0.0;
    for (int k = terms - 1; k >= 0; --k) sum = sum + moments[set][k] * terms_at_w[k];
    out[set] = 1.0 + p * (sum + edge);
  }
}

// Weights of a thin ring (all 1) and of a uniformly bright disk (1/(k + 1)).
inline constexpr FarFieldMoments RING_MOMENTS = [] {
  FarFieldMoments m{};
  for (auto& value : m) value = 1.0;
  return m;
}();
inline constexpr FarFieldMoments DISK_MOMENTS = [] {
  FarFieldMoments m{};
  for (int k = 0; k < FAR_FIELD_TERMS; ++k) m[k] = 1.0 / (k + 2);
  return m;
}();

// ∫₀¹ 2πr·r^2k·μ^p dr = π·B(k + 1, p/2 + 1) with μ = √(1 − r²), for k = 0 … K,
// by the recurrence B(k + 1, a) = B(k, a)·k/(k + a) from B(1, a) = 1/a.
inline std::array<double, FAR_FIELD_TERMS + 1> limb_power_moments(double p) {
  std::array<double, FAR_FIELD_TERMS + 1> moments{};
  const double a = p * 0.5 + 1.0;
  double beta = 1.0 / a;
  moments[0] = PI * beta;
  for (int k = 1; k <= FAR_FIELD_TERMS; ++k) {
    beta = beta * (k / (k + a));
    moments[k] = PI * beta;
  }
  return moments;
}

// The weights of a profile from its unnormalised moments ∫2πr B r^2k dr,
// k = 0 … K.
inline FarFieldMoments normalised_moments(const std::array<double, FAR_FIELD_TERMS + 1>& raw) {
  FarFieldMoments m{};
  for (int k = 0; k < FAR_FIELD_TERMS; ++k) m[k] = raw[k + 1] / raw[0];
  return m;
}

}  // namespace mirlaxon::models
