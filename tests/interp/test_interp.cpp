#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "interp/interp.hpp"

namespace {

using mirlaxon::interp::interp;
using mirlaxon::interp::OutsideRule;

TEST(Interp, RulesInsideAndOutsideTheRange) {
  const std::vector<double> xs = {0.0, 1.0}, ys = {1.0, 3.0};
  const OutsideRule fixed = OutsideRule::FixedValue(0.0);
  const OutsideRule extend = OutsideRule::ExtendSegments();
  const OutsideRule hold = OutsideRule::HoldEndValues();
  struct Row {
    OutsideRule rule;
    double x, expected;
  };
  const std::vector<Row> rows = {
      {fixed, 0.5, 2.0},   {fixed, 0.0, 1.0},   {fixed, 1.0, 3.0},  {fixed, -0.1, 0.0},
      {fixed, 1.1, 0.0},   {extend, 1.5, 4.0},  {extend, -1.0, -1.0}, {hold, 1.5, 3.0},
      {hold, -1.0, 1.0},   {OutsideRule::FixedValue(7.5), 2.0, 7.5},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(interp(xs, ys, row.x, row.rule), row.expected)
        << "x=" << row.x << " tag=" << static_cast<int>(row.rule.tag);
  }
  for (const OutsideRule& rule : {fixed, extend, hold}) {
    EXPECT_TRUE(std::isnan(interp(xs, ys, std::nan(""), rule)));
  }
}

TEST(Interp, DegenerateTables) {
  const OutsideRule fixed = OutsideRule::FixedValue(0.0);
  const std::vector<double> none, one_x = {0.5}, one_y = {3.0};
  EXPECT_EQ(interp(none, none, 0.3, fixed), 0.0);
  EXPECT_EQ(interp(none, one_y, 0.3, OutsideRule::FixedValue(9.0)), 0.0);
  for (const double x : {-10.0, 0.5, 10.0}) EXPECT_EQ(interp(one_x, one_y, x, fixed), 3.0);
  // Extra entries of the longer sequence are ignored.
  const std::vector<double> xs = {0.0, 1.0, 2.0}, ys = {1.0, 3.0};
  EXPECT_EQ(interp(xs, ys, 1.5, fixed), 0.0);
  EXPECT_EQ(interp(xs, ys, 1.5, OutsideRule::ExtendSegments()), 4.0);
  // Equal neighbouring positions (a step): the zero-width segment is never
  // chosen, the step point takes the segment on its left.
  const std::vector<double> step_x = {0.0, 0.5, 0.5, 1.0}, step_y = {1.0, 1.0, 2.0, 2.0};
  EXPECT_EQ(interp(step_x, step_y, 0.5, fixed), 1.0);
  EXPECT_EQ(interp(step_x, step_y, 0.75, fixed), 2.0);
  // Two equal positions only: the one segment has a non-finite slope.
  const std::vector<double> flat_x = {0.5, 0.5}, flat_y = {1.0, 2.0};
  EXPECT_FALSE(std::isfinite(interp(flat_x, flat_y, 0.5, fixed)));
}

TEST(Interp, SamplePointsAndSegments) {
  const std::vector<double> xs = {0.0, 0.1, 0.35, 0.6, 1.0}, ys = {1.0, 0.9, 0.7, 0.55, 0.4};
  const OutsideRule fixed = OutsideRule::FixedValue(0.0);
  for (std::size_t k = 0; k < xs.size(); ++k) {
    EXPECT_NEAR(interp(xs, ys, xs[k], fixed), ys[k], 2e-16) << k;
  }
  // Midpoints fall on the right segment.
  for (std::size_t k = 0; k + 1 < xs.size(); ++k) {
    const double mid = 0.5 * (xs[k] + xs[k + 1]);
    EXPECT_NEAR(interp(xs, ys, mid, fixed), 0.5 * (ys[k] + ys[k + 1]), 1e-15) << k;
  }
}

}  // namespace
