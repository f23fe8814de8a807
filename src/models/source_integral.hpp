// Integration over the normalised source radius [0, 1], shared by the
// profile-integrated models of both families.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <utility>

#include "quadrature/double_exponential.hpp"

namespace mirlaxon::models {

inline constexpr double SOURCE_TARGET_ERROR = 1e-16;

// ∫₀¹ g(r) dr for a source whose centre is `separation` source radii from the
// lens, in pieces. With the lens inside the source the ring r = separation
// passes through it and g is singular there; a tabulated profile jumps to
// zero at the ends of its sampled range (`profile_edges`). Splitting the
// interval there puts each singularity or jump at the end of a piece, where
// the tanh–sinh rule is at its best: one pass over [0, 1] misses by about
// 0.3 % at the ring and by up to 2 % at a jump.
template <class Integrand>
double integrate_over_source(const Integrand& g, double separation,
                             std::span<const double> profile_edges = {}) {
  namespace de = quadrature::double_exponential;
  std::array<double, 5> ends{};
  std::size_t count = 0;
  ends[count++] = 0.0;
  const auto add = [&](double point) {
    if (!(point > 0.0 && point < 1.0) || count == ends.size() - 1) return;
    for (std::size_t i = 0; i < count; ++i) {
      if (ends[i] == point) return;
    }
    ends[count++] = point;
  };
  add(separation);
  for (const double edge : profile_edges.first(std::min<std::size_t>(profile_edges.size(), 2))) add(edge);
  ends[count++] = 1.0;
  for (std::size_t i = 1; i < count; ++i) {  // insertion sort of at most five points
    for (std::size_t j = i; j > 0 && ends[j - 1] > ends[j]; --j) std::swap(ends[j - 1], ends[j]);
  }
  double total = 0.0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    total = total + de::integrate(g, ends[i], ends[i + 1], SOURCE_TARGET_ERROR).integral;
  }
  return total;
}

}  // namespace mirlaxon::models
