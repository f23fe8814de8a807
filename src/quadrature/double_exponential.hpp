// Tanh–sinh (double-exponential) quadrature over a finite interval with a
// fixed table of seven levels (Takahasi & Mori, Publ. RIMS 9 (1974) 721-741).
//
// The substitution x = tanh((π/2) sinh t) maps [−1, 1] onto the real line and
// makes the transformed integrand decay double-exponentially, so the
// trapezoidal rule in t converges very fast, even with end-point
// singularities. Each level halves the step and adds the odd multiples of the
// new step; the running sum I is kept at the current step by halving it before
// adding the new level. When the difference between successive levels is
// being squared from one level to the next (log δ / log δ' ≈ 2) the rule is in
// its quadratic regime and δ² estimates the error.
//
// The table stops at t = 3: the integrand is never evaluated closer to an end
// than about 4.3e-14 half-widths, which also limits the attainable accuracy
// (the constant 1 integrates to 0.9999999999999669 over [0, 1]).
#pragma once

#include <array>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>

#include "constants.hpp"
#include "quadrature/node_levels.hpp"

namespace mirlaxon::quadrature::double_exponential {

struct IntegrationResult {
  double integral;
  double error_estimate;
  std::uint32_t num_evaluations;
};

namespace detail {
inline constexpr double DOUBLE_MAX = std::numeric_limits<double>::max();

// The error estimate is compared with a quarter of the target: it is only an
// estimate, and a factor of safety keeps the true error below the target.
inline constexpr double TARGET_SAFETY = 0.25;
// Levels 0 and 1 (the midpoint and 2·(3 + 3) points) only start the sum: the
// differences of later levels are the first that say how fast it converges.
inline constexpr std::uint32_t UNTESTED_EVALUATIONS = 1 + 2 * (LEVEL_SIZES[0] + LEVEL_SIZES[1]);
// log δ / log δ' within this band of 2 means the differences are squaring
// from level to level: the quadratic regime, where δ² estimates the error.
inline constexpr double QUADRATIC_LOW = 1.9;
inline constexpr double QUADRATIC_HIGH = 2.1;

inline double finite_or_zero(double value) { return std::isfinite(value) ? value : 0.0; }
}  // namespace detail

// An integrand that can also evaluate many points in one call, with exactly
// the values its scalar call gives: a level's points are independent, so a
// batch can share work or run them in vector lanes.
template <class F>
concept BatchIntegrand = requires(const F& f, std::span<const double> x, std::span<double> y) {
  f.evaluate_batch(x, y);
};

namespace detail {
// A level's points: both sides of each stored node of the largest level.
inline constexpr std::size_t MAX_LEVEL_POINTS = [] {
  std::size_t largest = 0;
  for (const std::size_t size : LEVEL_SIZES) largest = size > largest ? size : largest;
  return 2 * largest;
}();

// values[j] = f(points[j]), in order, one call at a time or as one batch.
template <class F>
void evaluate_level(F& f, std::span<const double> points, std::span<double> values) {
  if constexpr (BatchIntegrand<std::remove_cvref_t<F>>) {
    f.evaluate_batch(points, values);
  } else {
    for (std::size_t j = 0; j < points.size(); ++j) values[j] = f(points[j]);
  }
}
}  // namespace detail

// ∫_a^b f(x) dx to the absolute error target_error, at most 385 evaluations
// of f: first at the midpoint, then for each stored pair at the right point
// and then the left one. A non-finite value of f counts as 0.0. A batch
// integrand gets each level's points in that same order, and the sums are
// formed in the same order, so both ways give the same bits.
template <class F>
IntegrationResult integrate(F&& f, double a, double b, double target_error) {
  const double half_width = (b - a) * 0.5;
  const double midpoint = (a + b) * 0.5;
  const double threshold = (target_error * detail::TARGET_SAFETY) / half_width;

  double sum = PI * detail::finite_or_zero(f(half_width * 0.0 + midpoint));
  std::uint32_t evaluations = 1;
  double error = detail::DOUBLE_MAX;
  double difference = detail::DOUBLE_MAX;

  std::size_t first = 0;
  for (const std::size_t size : LEVEL_SIZES) {
    const double previous_difference = difference;
    std::array<double, detail::MAX_LEVEL_POINTS> points;
    std::array<double, detail::MAX_LEVEL_POINTS> values;
    for (std::size_t i = 0; i < size; ++i) {
      const double offset = half_width * NODE_LEVELS[first + i].abscissa;
      points[2 * i] = midpoint + offset;
      points[2 * i + 1] = midpoint - offset;
    }
    detail::evaluate_level(f, std::span<const double>(points.data(), 2 * size),
                           std::span<double>(values.data(), 2 * size));
    double level_sum = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
      const double right = detail::finite_or_zero(values[2 * i]);
      const double left = detail::finite_or_zero(values[2 * i + 1]);
      level_sum = level_sum + NODE_LEVELS[first + i].weight * (right + left);
    }
    first += size;
    evaluations += static_cast<std::uint32_t>(2 * size);

    const double halved = sum * 0.5;
    sum = halved + level_sum;
    difference = std::fabs(halved - level_sum);
    if (evaluations <= detail::UNTESTED_EVALUATIONS) continue;
    if (halved - level_sum == 0.0) {
      error = 0.0;
      break;
    }
    const double ratio = std::log(difference) / std::log(previous_difference);
    error = (detail::QUADRATIC_LOW < ratio && ratio < detail::QUADRATIC_HIGH)
                ? (halved - level_sum) * (halved - level_sum)
                : difference;
    if (error < threshold) break;
  }
  return IntegrationResult{half_width * sum, half_width * error, evaluations};
}

}  // namespace mirlaxon::quadrature::double_exponential
