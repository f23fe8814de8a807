#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numdiff/central_difference.hpp"

namespace {

using mirlaxon::numdiff::CBRT_EPS;
using mirlaxon::numdiff::central_difference;

// ∛ε is the double nearest the cube root of 2^-52 (mpmath at 50 digits:
// 6.055454452393339060789893e-06); F is called twice, forward first, at
// x ± (|x| + 1)·∛ε.
TEST(CentralDifference, StepAndConstant) {
  EXPECT_EQ(static_cast<double>(CBRT_EPS), 6.0554544523933395e-06);
  std::vector<double> points;
  const auto record = [&](double y) {
    points.push_back(y);
    return y * y;
  };
  for (const double x : {0.0, 1.0, -1.0, 3.5}) {
    points.clear();
    const double derivative = central_difference(record, x);
    ASSERT_EQ(points.size(), 2u);
    const double h = (std::fabs(x) + 1.0) * 6.0554544523933395e-06;
    EXPECT_EQ(points[0], x + h);
    EXPECT_EQ(points[1], x - h);
    EXPECT_NEAR(derivative, 2.0 * x, 1e-9);
  }
}

// A constant has slope 0; a unit step seen by both points or by one; a NaN
// on one side is not replaced by a one-sided difference.
TEST(CentralDifference, DocumentedCases) {
  const double h = CBRT_EPS;
  const auto step = [](double y) { return y < 0.0 ? 0.0 : 3.0; };
  EXPECT_EQ(central_difference([](double) { return 7.25; }, 0.3), 0.0);
  EXPECT_EQ(central_difference(step, 0.0), 3.0 / (h + h));
  const double h_half = (0.5 * h + 1.0) * CBRT_EPS;  // the step grows with |x|
  EXPECT_EQ(central_difference(step, 0.5 * h), 3.0 / (h_half + h_half));
  EXPECT_EQ(central_difference(step, 2.0 * h), 0.0);
  EXPECT_TRUE(std::isnan(central_difference([](double y) { return y < 1.0 ? NAN : y; }, 1.0)));
}

}  // namespace
