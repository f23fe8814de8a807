// Piecewise-linear interpolation through samples (xs[k], ys[k]), with a rule
// for points outside [xs[0], xs[n−1]].
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace mirlaxon::interp {

struct OutsideRule {
  enum class Tag : std::uint64_t {
    ExtendSegments = 0,  // the first and last segments continue
    HoldEndValues = 1,   // ys[0] below, ys[n−1] above
    FixedValue = 2,      // `value` on both sides
  };
  Tag tag;
  double value;  // used by FixedValue only

  static constexpr OutsideRule ExtendSegments() { return {Tag::ExtendSegments, 0.0}; }
  static constexpr OutsideRule HoldEndValues() { return {Tag::HoldEndValues, 0.0}; }
  static constexpr OutsideRule FixedValue(double value) { return {Tag::FixedValue, value}; }
};

// Only the first min(|xs|, |ys|) samples take part. xs should increase;
// nothing checks it. No samples give 0 and one sample a constant, whatever
// the rule. The segment is found by a linear scan: profile tables are short.
inline double interp(std::span<const double> xs, std::span<const double> ys, double x,
                     const OutsideRule& rule) {
  const std::size_t n = std::min(xs.size(), ys.size());
  if (n == 0) return 0.0;
  if (n == 1) return ys[0];

  std::size_t i = 0;
  if (xs[0] < x) {
    i = n - 2;
    for (std::size_t k = 1; k < n; ++k) {
      if (!(xs[k] < x)) {
        i = k - 1;
        break;
      }
    }
  }
  i = std::min(i, n - 2);

  const double slope = (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]);
  const double intercept = ys[i] - xs[i] * slope;
  const double value = slope * x + intercept;

  if (x < xs[0]) {
    switch (rule.tag) {
      case OutsideRule::Tag::ExtendSegments: return value;
      case OutsideRule::Tag::HoldEndValues: return ys[0];
      case OutsideRule::Tag::FixedValue: return rule.value;
    }
  } else if (x > xs[n - 1]) {
    switch (rule.tag) {
      case OutsideRule::Tag::ExtendSegments: return value;
      case OutsideRule::Tag::HoldEndValues: return ys[n - 1];
      case OutsideRule::Tag::FixedValue: return rule.value;
    }
  }
  return value;
}

}  // namespace mirlaxon::interp
