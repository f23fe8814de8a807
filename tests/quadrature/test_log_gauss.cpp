// The generalised Gauss rules for a logarithmic end point against the exact
// moments ∫₀¹ x^k dx = 1/(k + 1) and ∫₀¹ x^k·log x dx = −1/(k + 1)², and on
// integrands that are not in their span, against closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "quadrature/log_gauss_nodes.hpp"

namespace {

namespace lg = mirlaxon::quadrature::log_gauss;

double apply(std::size_t rule, const std::function<double(double)>& f) {
  double sum = 0.0;
  for (std::size_t j = 0; j < lg::SIZES[rule]; ++j) {
    const auto& node = lg::NODES[lg::RULE_OFFSETS[rule] + j];
    sum += node.weight * f(node.abscissa);
  }
  return sum;
}

// Nodes inside (0, 1) and increasing, weights positive, the rules packed one
// after the other.
TEST(LogGauss, RulesAreWellFormed) {
  std::size_t next = 0;
  for (std::size_t rule = 0; rule < lg::SIZES.size(); ++rule) {
    EXPECT_EQ(lg::RULE_OFFSETS[rule], next);
    double previous = 0.0;
    for (std::size_t j = 0; j < lg::SIZES[rule]; ++j) {
      const auto& node = lg::NODES[lg::RULE_OFFSETS[rule] + j];
      EXPECT_GT(node.abscissa, previous) << lg::SIZES[rule] << " " << j;
      EXPECT_LT(node.abscissa, 1.0);
      EXPECT_GT(node.weight, 0.0);
      previous = node.abscissa;
    }
    next += lg::SIZES[rule];
  }
  EXPECT_EQ(next, lg::NODES.size());
}

// Exact, to rounding, for x^k and x^k·log x with k < n.
TEST(LogGauss, ExactForPolynomialsAndPolynomialsTimesLog) {
  for (std::size_t rule = 0; rule < lg::SIZES.size(); ++rule) {
    for (std::size_t k = 0; k < lg::SIZES[rule]; ++k) {
      const double power = static_cast<double>(k);
      const double plain = apply(rule, [&](double x) { return std::pow(x, power); });
      const double logarithmic = apply(rule, [&](double x) { return std::pow(x, power) * std::log(x); });
      EXPECT_NEAR(plain, 1.0 / (power + 1.0), 4e-16) << lg::SIZES[rule] << " " << k;
      EXPECT_NEAR(logarithmic, -1.0 / ((power + 1.0) * (power + 1.0)), 4e-16) << lg::SIZES[rule] << " " << k;
    }
  }
}

// Analytic f and g beyond the interval, as at a ring's side:
// ∫₀¹ cos(x)·log x dx = −Si(1) and ∫₀¹ e^x·(1 + log x) dx = e − 1 − (Ei(1) − γ),
// and a complex singularity a side length away, ∫₀¹ log x/(1 + x²) dx =
// −G (Catalan's constant); each to 1e-15 with 14 nodes or more. The
// constants are mpmath's si(1), ei(1), euler and catalan.
TEST(LogGauss, IntegratesLogarithmicEndPoints) {
  struct Case {
    const char* name;
    std::function<double(double)> f;
    double exact;
  };
  const double si_1 = 0.94608307036718301494;
  const double ei_1 = 1.8951178163559367555;
  const double euler_gamma = 0.57721566490153286061;
  const double catalan = 0.91596559417721901505;
  const Case cases[] = {
      {"cos log", [](double x) { return std::cos(x) * std::log(x); }, -si_1},
      {"exp (1 + log)", [](double x) { return std::exp(x) * (1.0 + std::log(x)); },
       std::exp(1.0) - 1.0 - (ei_1 - euler_gamma)},
      {"log / (1 + x²)", [](double x) { return std::log(x) / (1.0 + x * x); }, -catalan},
  };
  for (const Case& c : cases) {
    for (std::size_t rule = 0; rule < lg::SIZES.size(); ++rule) {
      if (lg::SIZES[rule] < 14) continue;
      EXPECT_NEAR(apply(rule, c.f), c.exact, 1e-15) << c.name << " " << lg::SIZES[rule];
    }
  }
}

}  // namespace
