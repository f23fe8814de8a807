// The tanh–sinh rule: its node table against an independent quad-precision
// evaluation, and the behaviours callers rely on.
#include <gtest/gtest.h>

#include <quadmath.h>

#include <cmath>
#include <span>
#include <utility>
#include <vector>

#include "models/profiles.hpp"
#include "quadrature/double_exponential.hpp"

namespace {

namespace de = mirlaxon::quadrature::double_exponential;

// Every stored weight and abscissa is the double nearest to its formula,
// evaluated here in __float128 (113-bit significand).
TEST(DoubleExponential, NodeTableIsCorrectlyRounded) {
  const __float128 half_pi = acosq(0);  // π/2
  std::size_t index = 0;
  for (std::size_t level = 0; level < de::LEVEL_SIZES.size(); ++level) {
    const __float128 step = level == 0 ? 1 : ldexpq(1, -static_cast<int>(level));
    for (std::size_t j = 0; j < de::LEVEL_SIZES[level]; ++j, ++index) {
      const __float128 t = level == 0 ? static_cast<__float128>(j + 1) : (2 * j + 1) * step;
      const __float128 u = half_pi * sinhq(t);
      const __float128 weight = step * half_pi * coshq(t) / (coshq(u) * coshq(u));
      const __float128 abscissa = tanhq(u);
      EXPECT_EQ(de::NODE_LEVELS[index].weight, static_cast<double>(weight)) << level << " " << j;
      EXPECT_EQ(de::NODE_LEVELS[index].abscissa, static_cast<double>(abscissa)) << level << " " << j;
    }
  }
  EXPECT_EQ(index, 192u);
}

struct Recorder {
  std::vector<double>* points;
  double operator()(double x) const {
    points->push_back(x);
    return x;
  }
};

TEST(DoubleExponential, EvaluationOrder) {
  std::vector<double> points;
  de::integrate(Recorder{&points}, -1.0, 1.0, 1.0);
  ASSERT_EQ(points.size(), 25u);
  EXPECT_EQ(points[0], 0.0);
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(points[1 + 2 * i], de::NODE_LEVELS[i].abscissa);   // right point first
    EXPECT_EQ(points[2 + 2 * i], -de::NODE_LEVELS[i].abscissa);  // then the left one
  }
}

TEST(DoubleExponential, DocumentedBehaviours) {
  struct Row {
    const char* what;
    de::IntegrationResult result;
    double integral;
    std::uint32_t evaluations;
  };
  const auto zero = [](double) { return 0.0; };
  const auto nan = [](double) { return std::nan(""); };
  const auto one = [](double) { return 1.0; };
  const auto identity = [](double x) { return x; };
  const auto limb = [](double r) { return (r * mirlaxon::TWO_PI) * mirlaxon::models::linear_limb_profile(r); };
  const std::vector<Row> rows = {
      {"zero", de::integrate(zero, 0.0, 1.0, 1e-16), 0.0, 25},
      {"NaN everywhere", de::integrate(nan, 0.0, 1.0, 1e-16), 0.0, 25},
      {"one", de::integrate(one, 0.0, 1.0, 1e-16), 0.9999999999999669, 385},
      {"one, reversed", de::integrate(one, 1.0, 0.0, 1e-16), -0.9999999999999669, 385},
      {"empty interval", de::integrate(one, 0.5, 0.5, 1e-16), 0.0, 25},
      {"limb normalisation", de::integrate(limb, 0.0, 1.0, 1e-16),
       mirlaxon::models::LINEAR_LIMB_NORMALISATION, 385},
      {"looser target", de::integrate(identity, 0.0, 1.0, 1e-6), 0.5, 49},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.result.num_evaluations, row.evaluations);
    if (row.evaluations == 49) {
      EXPECT_NEAR(row.result.integral, row.integral, 1e-6);
    } else {
      EXPECT_EQ(row.result.integral, row.integral);
    }
  }
  EXPECT_EQ(rows[0].result.error_estimate, 0.0);
  EXPECT_EQ(rows[1].result.error_estimate, 0.0);
  EXPECT_NEAR(rows[2].result.error_estimate, 8.2e-15, 0.1e-15);
  EXPECT_LT(rows[3].result.error_estimate, 0.0);
}

TEST(DoubleExponential, NonFiniteNodesContributeNothing) {
  // A single infinite value, at the centre node, is dropped without poisoning
  // the sum: the centre carries weight π·(1/2)^7 after the seven halvings.
  const auto spike = [](double x) { return x == 0.5 ? INFINITY : 1.0; };
  const de::IntegrationResult with_spike = de::integrate(spike, 0.0, 1.0, 1e-16);
  EXPECT_TRUE(std::isfinite(with_spike.integral));
  EXPECT_NEAR(with_spike.integral, 0.9999999999999669 - 0.5 * 3.141592653589793 / 128.0, 1e-15);
  // Smooth integrands converge to the table's accuracy.
  const auto cosine = [](double x) { return std::cos(x); };
  EXPECT_NEAR(de::integrate(cosine, 0.0, 2.0, 1e-16).integral, std::sin(2.0), 1e-13);
  // An integrable end-point singularity.
  const auto root = [](double x) { return 1.0 / std::sqrt(x); };
  EXPECT_NEAR(de::integrate(root, 0.0, 1.0, 1e-16).integral, 2.0, 1e-6);
}

}  // namespace

// A batch integrand sees each level's points in the scalar order and gives
// the same bits: same integral, error estimate and count.
struct BatchOfOddFunction {
  std::vector<std::size_t>* batch_sizes;
  double operator()(double x) const { return std::exp(-x * x) / std::sqrt(std::fabs(x) + 1e-3); }
  void evaluate_batch(std::span<const double> x, std::span<double> y) const {
    batch_sizes->push_back(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) y[i] = (*this)(x[i]);
  }
};

TEST(DoubleExponential, BatchIntegrandGivesTheScalarBits) {
  static_assert(de::BatchIntegrand<BatchOfOddFunction>);
  static_assert(!de::BatchIntegrand<Recorder>);
  std::vector<std::size_t> sizes;
  const BatchOfOddFunction batch{&sizes};
  const auto scalar = [&batch](double x) { return batch(x); };
  for (const auto& [a, b] : {std::pair{0.0, 1.0}, std::pair{-2.0, 0.3}, std::pair{1e-9, 5.0}}) {
    sizes.clear();
    const de::IntegrationResult batched = de::integrate(batch, a, b, 1e-16);
    const de::IntegrationResult one_by_one = de::integrate(scalar, a, b, 1e-16);
    EXPECT_EQ(batched.integral, one_by_one.integral) << a << " " << b;
    EXPECT_EQ(batched.error_estimate, one_by_one.error_estimate);
    EXPECT_EQ(batched.num_evaluations, one_by_one.num_evaluations);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.front(), 2 * de::LEVEL_SIZES[0]);
  }
}
