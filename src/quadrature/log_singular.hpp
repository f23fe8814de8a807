// Gauss–Legendre rules placed for an integrand with a logarithmic
// singularity at (or just beyond) one end of a piece, and for pieces clear of
// it. Every rule hands its nodes to `add(offset, weight)`, the offset measured
// from the singular end into the piece, so that a caller forms the distance to
// the singularity from the offset itself and never by subtraction. The
// choices depend on the geometry alone: the piece's length, and the distances
// at which the integrand's other features (complex singularities, a second
// logarithm) stand.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "quadrature/gauss_legendre.hpp"
#include "quadrature/log_gauss_nodes.hpp"

namespace mirlaxon::quadrature::log_singular {

namespace gl = gauss_legendre;

// σ⁵ and its derivative 5σ⁴.
inline double graded(double sigma) { return (sigma * sigma) * (sigma * sigma) * sigma; }
inline double graded_slope(double sigma) { return 5.0 * ((sigma * sigma) * (sigma * sigma)); }

namespace detail {

// The graded rule on [0, 1]: σ⁵ and ω·5σ⁴ at the Gauss–Legendre nodes, per
// point count, formed once.
struct GradedRule {
  std::array<double, gl::MAX_POINTS> offset{}, weight{};
};

inline const GradedRule& graded_rule(std::size_t points) {
  static const auto rules = [] {
    std::array<GradedRule, gl::MAX_POINTS + 1> all{};
    for (std::size_t n = gl::MIN_POINTS; n <= gl::MAX_POINTS; ++n) {
      const auto rule = gl::rule(n);
      for (std::size_t j = 0; j < n; ++j) {
        all[n].offset[j] = graded(rule[j].abscissa);
        all[n].weight[j] = rule[j].weight * graded_slope(rule[j].abscissa);
      }
    }
    return all;
  }();
  return rules[points];
}

}  // namespace detail

// ∫₀^E f(x) dx for an f with a logarithmic singularity at x = 0, graded as
// x = E·σ⁵, which turns log x into σ⁴·log σ: denser than the exponential map
// on the scales near E, coarser far below them.
template <class Add>
void graded_offsets(double extent, std::size_t points, const Add& add) {
  const detail::GradedRule& rule = detail::graded_rule(points);
  for (std::size_t j = 0; j < points; ++j) add(extent * rule.offset[j], extent * rule.weight[j]);
}

// ∫₀^E f(x) dx for f = x^(a − 1)·(u(x) + v(x)·log x), 0 < a < 1, graded as
// x = E·σ^10: the integrand becomes σ^(10a − 1)·(u + 10·v·log σ), which the
// Gauss rule takes as the σ⁵ grading takes a logarithm alone when a ≥ ½
// (a fractional power of μ at the limb with the lens on it).
inline constexpr double STEEP_GRADING = 10.0;

template <class Add>
void steeply_graded_offsets(double extent, std::size_t points, const Add& add) {
  for (const gl::Node& node : gl::rule(points)) {
    const double sigma = node.abscissa;
    const double sigma9 = std::pow(sigma, STEEP_GRADING - 1.0);
    add(extent * (sigma9 * sigma), (extent * node.weight) * (STEEP_GRADING * sigma9));
  }
}

// ∫₀^E f(x) dx for an f with a logarithmic singularity (or complex
// singularities) at a distance g before x = 0: x = g·(e^(σΛ) − 1) with
// Λ = ln(1 + E/g) makes log(x + g) linear in σ, so that every scale from g to
// E gets the same share of the nodes; dx = Λ·(x + g)·dσ, with x + g = g·e^(σΛ)
// formed from x (one expm1 per node, no exp).
// Below a gap of 1e-8 of the piece the map would spend its nodes on scales
// the integrand does not have: the piece is then graded as if the
// singularity were at its end.
inline constexpr double EXPONENTIAL_FROM = 1e-8;

// The nodes come in pairs σ, 1 − σ (an even count): with y = e^(σΛ) − 1 and
// x = g·y at σ, the partner is g·(e^((1 − σ)Λ) − 1) = g·((1 + E/g)/(1 + y) − 1)
// = (E − x)/(1 + y), one quotient instead of an expm1, and without
// cancellation: x ≤ g·(√(1 + E/g) − 1) ≤ E/2 on the lower half.
template <class Add>
void exponential_offsets(double extent, double gap, std::size_t points, const Add& add) {
  if (gap < EXPONENTIAL_FROM * extent) return graded_offsets(extent, points, add);
  const double lambda = std::log1p(extent / gap);
  const auto rule = gl::rule(points);
  for (std::size_t j = 0; j < points / 2; ++j) {
    const double y = std::expm1(rule[j].abscissa * lambda);
    const double x = gap * y;
    add(x, rule[j].weight * (lambda * (x + gap)));
    const double partner = (extent - x) / (1.0 + y);
    add(partner, rule[points - 1 - j].weight * (lambda * (partner + gap)));
  }
}

// ∫₀^E f(x) dx for f = u(x) + v(x)·log x with u, v analytic well beyond the
// piece: the generalised Gauss rule exact for x^k and x^k·log x, k < n
// (tools/make_log_gauss.py), converges as Gauss–Legendre does on u alone,
// where the graded rule's σ⁴·log σ holds it to n^-10.
template <class Add>
void log_gauss_offsets(double extent, std::size_t points, const Add& add) {
  namespace lg = log_gauss;
  for (std::size_t k = 0; k < lg::SIZES.size(); ++k) {
    if (lg::SIZES[k] != points) continue;
    for (std::size_t j = 0; j < points; ++j) {
      const gl::Node& node = lg::NODES[lg::RULE_OFFSETS[k] + j];
      add(extent * node.abscissa, extent * node.weight);
    }
  }
}

// The rules of one side of a logarithmic singularity, E long, with the
// integrand's other features at the distances `near` ≤ `far`: a graded piece
// over SIDE_SPLIT·near, which takes the logarithm, and from there pieces
// spread exponentially up to SIDE_SPLIT·far and on to E, so that each feature
// gets its nodes however small it is beside the side. Pieces the side is too
// short for are left out.
inline constexpr double SIDE_SPLIT = 4.0;
inline constexpr std::size_t SIDE_INNER_POINTS = 40;
inline constexpr std::size_t SIDE_OUTER_POINTS = 48;
// An outer piece over more than seven decades (Λ > 16) gets more nodes: at a
// gap of 4e-9 of a unit side (a lens 1e-9 off the limb), 48 nodes (2.5 per
// e-fold) were off by 1.2e-12 of a source average and 64 by 2e-13.
inline constexpr double LONG_OUTER = 1e7;
inline constexpr std::size_t LONG_OUTER_POINTS = 64;
inline constexpr std::size_t SPLIT_INNER_POINTS = 24;
inline constexpr std::size_t CLEAR_SIDE_POINTS = 32;
// With every other feature beyond the side, the generalised Gauss rule: on a
// dense grid of source averages (flux maps and limb laws, separations inside
// and around the source, η = 0.01 … 1e4), against the graded 32-node rule,
// with the nearest other feature c side lengths away, the sums differed by at
// most 6e-14 with 14 nodes from c = 4 on (12 nodes: 6e-14, 10: 4e-12), 16
// from c = 2 (14: 7e-14 there, 12: 2e-12) and 20 from c = 1 (16: 3e-12): the
// counts below keep a step of two nodes' margin.
struct ClearSide {
  double features;  // the nearest feature, in side lengths, at least
  std::size_t points;
};
inline constexpr ClearSide CLEAR_SIDES[] = {{4.0, 14}, {2.0, 16}, {1.0, 20}};

static_assert(SIDE_OUTER_POINTS % 2 == 0 && LONG_OUTER_POINTS % 2 == 0,
              "exponential_offsets takes its nodes in pairs");

inline std::size_t outer_points(double extent, double gap) {
  return extent > LONG_OUTER * gap ? LONG_OUTER_POINTS : SIDE_OUTER_POINTS;
}

// `other` is the distance to a feature the split need not follow but the
// side's rule must see (a second logarithm beyond the side's far end).
template <class Add>
void side_offsets(double extent, double near, double far, const Add& add, double other = INFINITY) {
  const double inner = SIDE_SPLIT * near;
  if (!(inner < 0.5 * extent) && other < near && SIDE_SPLIT * other < 0.5 * extent) {
    // The second logarithm is the nearest feature: the split follows it.
    return side_offsets(extent, other, near, add);
  }
  if (!(inner < 0.5 * extent)) {
    // With every feature beyond the side, only the logarithm is left.
    const double clear = std::min(near, other);
    for (const ClearSide& side : CLEAR_SIDES) {
      if (clear >= side.features * extent) return log_gauss_offsets(extent, side.points, add);
    }
    return graded_offsets(extent, near >= extent ? CLEAR_SIDE_POINTS : SIDE_INNER_POINTS, add);
  }
  graded_offsets(inner, SPLIT_INNER_POINTS, add);
  double start = inner;
  const double middle = SIDE_SPLIT * far;
  if (middle > 2.0 * inner && middle < 0.5 * extent) {
    exponential_offsets(middle - inner, inner, outer_points(middle - inner, inner),
                        [&](double x, double w) { add(inner + x, w); });
    start = middle;
  }
  exponential_offsets(extent - start, start, outer_points(extent - start, start),
                      [&](double x, double w) { add(start + x, w); });
}

// The same with both features at one distance.
template <class Add>
void side_offsets(double extent, double scale, const Add& add) {
  side_offsets(extent, scale, scale, add);
}

// Plain Gauss–Legendre nodes for a piece whose nearest end lies `ratio`
// piece lengths from a logarithmic singularity, which bounds the ellipse of
// analyticity, ρ = 1 + 2·ratio + √((1 + 2·ratio)² − 1): these counts keep
// ρ^-2n at 6e-13 of the piece or below (ρ^-8 at ratio 8; ρ^-20 = 5e-16 at
// ratio 1). On a dense grid of source averages, two nodes fewer per piece
// cost 2e-11.
inline std::size_t plain_points(double ratio) {
  if (ratio >= 8.0) return 4;
  if (ratio >= 3.0) return 6;
  if (ratio >= 1.5) return 8;
  return 10;
}

}  // namespace mirlaxon::quadrature::log_singular
