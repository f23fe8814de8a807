// The tanh–sinh rule over [0, 1] in pieces, split at given points, so that
// each piece is smooth inside, with its singularity or kink at an end, where
// the rule is at its best: one pass over [0, 1] misses a logarithmic
// singularity inside by about 0.3 %, the kinks of an 11-sample piecewise-
// linear weight by 5e-7 and a jump by 7e-3.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "quadrature/double_exponential.hpp"

namespace mirlaxon::quadrature::double_exponential {

// ∫₀¹ g(r) dr with the absolute target `target` per piece, split at the
// points of two increasing lists merged (points outside (0, 1) are ignored).
template <class Integrand>
double integrate_unit_in_pieces(const Integrand& g, std::span<const double> first,
                                std::span<const double> second, double target) {
  double total = 0.0;
  double left = 0.0;
  const auto piece_to = [&](double right) {
    if (!(right > left) || !(right <= 1.0)) return;
    total = total + integrate(g, left, right, target).integral;
    left = right;
  };
  std::size_t i = 0, j = 0;
  while (i < first.size() || j < second.size()) {
    if (j == second.size() || (i < first.size() && first[i] <= second[j])) {
      piece_to(first[i++]);
    } else {
      piece_to(second[j++]);
    }
  }
  piece_to(1.0);
  return total;
}

}  // namespace mirlaxon::quadrature::double_exponential
