// Gauss–Legendre over a piece whose integrand is analytic except at points
// some distance beyond its ends, with the node count set by that distance.
//
// For f analytic inside the ellipse with foci at the piece's ends and
// semi-axis sum ρ (in half-widths), the n-point rule errs by O(ρ^-2n). A
// singular point on the real line at `clearance` piece lengths beyond the
// nearer end (clearance t) bounds that ellipse: its major semi-axis is
// 1 + 2t half-widths, so ρ = 1 + 2t + √((1 + 2t)² − 1) = 1 + 2t + 2√(t(1 + t)).
// Singular points off the real line at the same distance leave a larger ρ, so
// the real distance is the safe one to count with.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#include "quadrature/double_exponential.hpp"
#include "quadrature/gauss_legendre.hpp"

namespace mirlaxon::quadrature::gauss_legendre {

// The fewest points n ≥ MIN_POINTS with ρ^-2n ≤ tolerance for a singular
// point `clearance` piece lengths beyond the piece, or 0 when even
// MAX_POINTS do not reach it (the piece then needs a rule that crowds its
// nodes toward that end). ρ^2n is formed by repeated products of correctly
// rounded operations, so the count is the same on every machine.
inline std::size_t points_for_clearance(double clearance, double tolerance) {
  if (!(clearance > 0.0)) return 0;
  const double rho = (1.0 + 2.0 * clearance) + 2.0 * std::sqrt(clearance * (1.0 + clearance));
  const double rho2 = rho * rho;
  double power = 1.0;
  for (std::size_t n = 1; n <= MAX_POINTS; ++n) {
    power = power * rho2;
    if (n >= MIN_POINTS && power * tolerance >= 1.0) return n;
  }
  return 0;
}

// ∫_a^b f(x) dx by the n-point rule, MIN_POINTS ≤ n ≤ MAX_POINTS. A batch
// integrand (double_exponential::BatchIntegrand) gets the n nodes in one
// call, in increasing order, with the values a scalar call gives; the sum is
// formed in that order either way. A non-finite value counts as 0.0, as in
// the tanh–sinh rule.
template <class F>
double integrate(const F& f, double a, double b, std::size_t n) {
  const std::span<const Node> nodes = rule(n);
  const double length = b - a;
  std::array<double, MAX_POINTS> x, y;
  for (std::size_t j = 0; j < n; ++j) x[j] = a + length * nodes[j].abscissa;
  double_exponential::detail::evaluate_level(f, std::span<const double>(x.data(), n),
                                             std::span<double>(y.data(), n));
  double sum = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    sum = sum + nodes[j].weight * double_exponential::detail::finite_or_zero(y[j]);
  }
  return length * sum;
}

}  // namespace mirlaxon::quadrature::gauss_legendre
