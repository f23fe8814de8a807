// Gauss–Legendre with the node count set by the distance to a singular
// point: the count meets its tolerance on integrands whose nearest
// singularity lies at that distance, and no smaller count would.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "quadrature/clearance.hpp"

namespace {

namespace gl = mirlaxon::quadrature::gauss_legendre;

// ∫₀¹ of a pole and of a logarithm (the kinds of singularity of the disk
// family's integrand) t beyond the end x = 1, against their closed forms: the
// count's rule, with the tolerance τ, errs by at most about τ relative; one
// node fewer would not have met τ by the rule's own measure.
TEST(GaussLegendreClearance, CountMeetsItsToleranceAndIsTheFewest) {
  struct Case {
    const char* name;
    double (*f)(double x, double s);
    double (*exact)(double s);
  };
  const Case cases[] = {
      {"pole", [](double x, double s) { return 1.0 / (s - x); }, [](double s) { return std::log(s / (s - 1.0)); }},
      {"logarithm", [](double x, double s) { return std::log(s - x); },
       [](double s) { return s * std::log(s) - (s - 1.0) * std::log(s - 1.0) - 1.0; }},
  };
  for (const double tolerance : {1e-8, 1e-12}) {
    for (const double t : {0.02, 0.1, 0.5, 1.0, 3.0, 8.0, 50.0, 1e3}) {
      const std::size_t n = gl::points_for_clearance(t, tolerance);
      ASSERT_GE(n, gl::MIN_POINTS) << t;
      ASSERT_LE(n, gl::MAX_POINTS) << t;
      const double rho = 1.0 + 2.0 * t + 2.0 * std::sqrt(t * (1.0 + t));
      EXPECT_LE(std::pow(rho, -2.0 * n), tolerance * (1.0 + 1e-12)) << t;
      if (n > gl::MIN_POINTS) {
        EXPECT_GT(std::pow(rho, -2.0 * (n - 1)), tolerance * (1.0 - 1e-12)) << t;
      }
      for (const Case& c : cases) {
        const double s = 1.0 + t;
        const double value = gl::integrate([&](double x) { return c.f(x, s); }, 0.0, 1.0, n);
        EXPECT_LT(std::fabs(value / c.exact(s) - 1.0), 10.0 * tolerance) << c.name << " t=" << t;
      }
    }
  }
  // No clearance, or too little for MAX_POINTS: 0, the caller's other rule.
  EXPECT_EQ(gl::points_for_clearance(0.0, 1e-12), 0u);
  EXPECT_EQ(gl::points_for_clearance(NAN, 1e-12), 0u);
  EXPECT_EQ(gl::points_for_clearance(1e-3, 1e-12), 0u);
}

// A batch integrand sees the nodes once, in increasing order, and gives the
// scalar call's sum.
TEST(GaussLegendreClearance, BatchGivesTheScalarSum) {
  struct Batch {
    mutable std::vector<double> seen;
    double operator()(double x) const { return std::exp(x); }
    void evaluate_batch(std::span<const double> x, std::span<double> y) const {
      for (std::size_t i = 0; i < x.size(); ++i) {
        seen.push_back(x[i]);
        y[i] = std::exp(x[i]);
      }
    }
  };
  const Batch batch;
  const double scalar = gl::integrate([](double x) { return std::exp(x); }, 0.2, 0.7, 7);
  EXPECT_EQ(gl::integrate(batch, 0.2, 0.7, 7), scalar);
  ASSERT_EQ(batch.seen.size(), 7u);
  for (std::size_t i = 1; i < batch.seen.size(); ++i) EXPECT_LT(batch.seen[i - 1], batch.seen[i]);
  EXPECT_NEAR(scalar, std::exp(0.7) - std::exp(0.2), 1e-15);
}

}  // namespace
