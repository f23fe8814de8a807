// Gauss–Legendre rules on [0, 1] (Golub & Welsch, Math. Comp. 23 (1969)
// 221-230, for the theory; the table is computed in mpmath). The n-point rule
// is exact for polynomials of degree 2n − 1 and converges geometrically for
// integrands analytic near [0, 1]: as ρ^-2n, ρ the sum of the semi-axes of
// the largest ellipse with foci 0 and 1 (axes scaled to the half-width) in
// which the integrand is analytic.
#pragma once

#include <cstddef>
#include <span>

#include "quadrature/gauss_legendre_nodes.hpp"

namespace mirlaxon::quadrature::gauss_legendre {

// The n-point rule, MIN_POINTS ≤ n ≤ MAX_POINTS, nodes increasing.
inline std::span<const Node> rule(std::size_t n) {
  return std::span<const Node>(NODES).subspan(RULE_OFFSETS[n - MIN_POINTS], n);
}

}  // namespace mirlaxon::quadrature::gauss_legendre
