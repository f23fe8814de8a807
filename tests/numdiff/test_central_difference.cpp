#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "numdiff/central_difference.hpp"

namespace {

using mirlaxon::numdiff::CBRT_EPS;
using mirlaxon::numdiff::central_difference;

TEST(CentralDifference, StepAndConstant) {
  EXPECT_EQ(static_cast<double>(CBRT_EPS), 6.0554544523933395e-06);
  EXPECT_EQ(static_cast<double>(CBRT_EPS), std::cbrt(2.220446049250313e-16));

  std::vector<double> points;
  const auto record = [&](double y) {
    points.push_back(y);
    return y * y;
  };
  for (const double x : {0.0, 1.0, -1.0, 3.5}) {
    points.clear();
    const double derivative = central_difference(record, x);
    ASSERT_EQ(points.size(), 2u);
    const double h = (std::fabs(x) + 1.0) * CBRT_EPS;
    EXPECT_EQ(points[0], x + h);  // forward first
    EXPECT_EQ(points[1], x - h);
    EXPECT_NEAR(derivative, 2.0 * x, 1e-9);
  }
}

TEST(CentralDifference, DocumentedCases) {
  const auto constant = [](double) { return 7.25; };
  EXPECT_EQ(central_difference(constant, 0.3), 0.0);
  const double h = CBRT_EPS;
  const auto step = [](double y) { return y < 0.0 ? 0.0 : 3.0; };
  EXPECT_EQ(central_difference(step, 0.0), 3.0 / (h + h));
  const double h_half = (0.5 * h + 1.0) * CBRT_EPS;  // the step grows with |x|
  EXPECT_EQ(central_difference(step, 0.5 * h), 3.0 / (h_half + h_half));
  EXPECT_EQ(central_difference(step, 2.0 * h), 0.0);
  const auto nan_left = [](double y) { return y < 1.0 ? std::nan("") : y; };
  EXPECT_TRUE(std::isnan(central_difference(nan_left, 1.0)));
}

TEST(CentralDifference, ConstantIsTheSameOnEveryThread) {
  std::vector<double> seen(4);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = CBRT_EPS; });
  }
  for (std::thread& thread : threads) thread.join();
  for (const double value : seen) EXPECT_EQ(value, 6.0554544523933395e-06);
}

}  // namespace
