// The tanh–sinh rule: its node table against an independent quad-precision
// evaluation, and the behaviours callers rely on.
#include <gtest/gtest.h>

#include <quadmath.h>

#include <cmath>
#include <span>
#include <utility>
#include <vector>

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

TEST(DoubleExponential, EvaluationOrder) {
  std::vector<double> points;
  de::integrate([&points](double x) { points.push_back(x); return x; }, -1.0, 1.0, 1.0);
  ASSERT_EQ(points.size(), 25u);
  EXPECT_EQ(points[0], 0.0);
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(points[1 + 2 * i], de::NODE_LEVELS[i].abscissa);   // right point first
    EXPECT_EQ(points[2 + 2 * i], -de::NODE_LEVELS[i].abscissa);  // then the left one
  }
}

// The table stops at t = 3, so a constant loses 1 − tanh((π/2)·sinh 3) =
// 4.3e-14 of the interval at both ends together (mpmath); reversing the
// interval negates everything; an integrand that adds nothing after the
// first tested level stops there (1 + 2·(3 + 3 + 6) evaluations); an
// unreachable target uses all 385 points; a looser one stops sooner.
TEST(DoubleExponential, DocumentedBehaviours) {
  const auto one = [](double) { return 1.0; };
  const auto identity = [](double x) { return x; };
  for (const auto& f : {+[](double) { return 0.0; }, +[](double) { return double{NAN}; }}) {
    const de::IntegrationResult r = de::integrate(f, 0.0, 1.0, 1e-16);
    EXPECT_EQ(r.integral, 0.0);
    EXPECT_EQ(r.error_estimate, 0.0);
    EXPECT_EQ(r.num_evaluations, 25u);
  }
  EXPECT_EQ(de::integrate(one, 0.5, 0.5, 1e-16).integral, 0.0);
  EXPECT_EQ(de::integrate(one, 0.5, 0.5, 1e-16).num_evaluations, 25u);

  const de::IntegrationResult forward = de::integrate(one, 0.0, 1.0, 1e-16);
  const de::IntegrationResult reversed = de::integrate(one, 1.0, 0.0, 1e-16);
  EXPECT_NEAR(forward.integral, 1.0, 5e-14);
  EXPECT_EQ(forward.num_evaluations, 385u);
  EXPECT_EQ(reversed.integral, -forward.integral);
  EXPECT_EQ(reversed.error_estimate, -forward.error_estimate);
  EXPECT_EQ(reversed.num_evaluations, 385u);

  const de::IntegrationResult loose = de::integrate(identity, 0.0, 1.0, 1e-6);
  EXPECT_NEAR(loose.integral, 0.5, 1e-6);
  EXPECT_LT(loose.num_evaluations, 385u);
}

TEST(DoubleExponential, NonFiniteNodesContributeNothing) {
  // A single infinite value, at the centre node, is dropped without poisoning
  // the sum: the rule loses that node's weight, (π/2)·h at the final step
  // h = 1/64, times the half-width.
  const auto one = [](double) { return 1.0; };
  const auto spike = [](double x) { return x == 0.5 ? INFINITY : 1.0; };
  EXPECT_NEAR(de::integrate(spike, 0.0, 1.0, 1e-16).integral,
              de::integrate(one, 0.0, 1.0, 1e-16).integral - 0.5 * mirlaxon::PI / 128.0, 1e-15);
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
