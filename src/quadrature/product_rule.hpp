// Product rules on [0, 1]: ∫₀¹ f(x)·B(x) dx ≈ Σ_j W_j·f(x_j) at the n-point
// Gauss–Legendre nodes x_j, with weights that integrate the degree n − 1
// interpolant of f exactly against the weight function B. They take only B's
// Legendre moments, formed once per B: a smooth f then costs n evaluations
// whatever B is (kinks, jumps, a square root at an end).
#pragma once

#include <array>
#include <cstddef>

#include "quadrature/gauss_legendre.hpp"

namespace mirlaxon::quadrature::product_rule {

inline constexpr std::size_t POINTS = 24;

// Shifted Legendre polynomials P̃_0 … P̃_{K−1} at x ∈ [0, 1].
template <std::size_t K>
std::array<double, K> shifted_legendre(double x) {
  std::array<double, K> p{};
  const double y = 2.0 * x - 1.0;
  p[0] = 1.0;
  if (K > 1) p[1] = y;
  for (std::size_t k = 1; k + 1 < K; ++k) {
    p[k + 1] = ((2.0 * k + 1.0) * y * p[k] - k * p[k - 1]) / (k + 1.0);
  }
  return p;
}

// M_k = ∫₀¹ P̃_k·B dx, accumulated one quadrature point of B at a time:
// add(x, w·B(x)), or add(x, w, B(x)) where w·(P̃_k·B) is wanted.
struct LegendreMoments {
  std::array<double, POINTS> m{};
  void add(double x, double weighted_b) {
    const auto p = shifted_legendre<POINTS>(x);
    for (std::size_t k = 0; k < POINTS; ++k) m[k] = m[k] + weighted_b * p[k];
  }
  void add(double x, double w, double b) {
    const auto p = shifted_legendre<POINTS>(x);
    for (std::size_t k = 0; k < POINTS; ++k) m[k] = m[k] + w * (p[k] * b);
  }
};

// W_j = ω_j Σ_k (2k + 1)·P̃_k(x_j)·M_k: the weights that integrate the
// interpolant of f at the nodes x_j exactly against B.
inline std::array<double, POINTS> weights(const LegendreMoments& moments) {
  std::array<double, POINTS> result{};
  const auto rule = gauss_legendre::rule(POINTS);
  for (std::size_t j = 0; j < POINTS; ++j) {
    const auto p = shifted_legendre<POINTS>(rule[j].abscissa);
    double sum = 0.0;
    for (std::size_t k = 0; k < POINTS; ++k) sum = sum + (2.0 * k + 1.0) * p[k] * moments.m[k];
    result[j] = rule[j].weight * sum;
  }
  return result;
}

}  // namespace mirlaxon::quadrature::product_rule
