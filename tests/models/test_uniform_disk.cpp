// Uniform-disk magnification: exact values, every regime against the
// brute-force average, the limb, the far field and failure semantics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ellip/carlson.hpp"
#include "models/profiles.hpp"
#include "models/source_integral.hpp"
#include "models/uniform_disk.hpp"
#include "numdiff/central_difference.hpp"
#include "quadrature/double_exponential.hpp"
#include "reference_table.hpp"

namespace {

using mirlaxon::models::witt_mao_magnification;

std::vector<double> magnification(std::vector<double> l, double re, double rstar) {
  auto result = witt_mao_magnification(l, re, rstar);
  EXPECT_TRUE(result.has_value()) << (result ? "" : std::string(result.error().message()));
  return result ? *result : std::vector<double>{};
}

double single(double l, double re, double rstar) { return magnification({l}, re, rstar).at(0); }

// Closed-form values: a disk centred on the lens gives √(1 + 4/ρ²), and a
// disk of one Einstein radius with the lens on its limb 1 + 2/π.
TEST(UniformDisk, ExactValues) {
  for (const double rho : {1e-6, 1e-3, 0.1, 1.0, 10.0, 100.0}) {
    const double expected = std::sqrt(1.0 + 4.0 / (rho * rho));
    EXPECT_NEAR(single(0.0, 1.0, rho), expected, 4.5e-16 * expected) << rho;
  }
  EXPECT_NEAR(single(1.0, 1.0, 1.0), 1.0 + 2.0 / 3.141592653589793, 4e-16 * 1.7);
}

// Each separation is computed on its own and kept in its place, and only
// ρ = rstar/re matters; no separations compute nothing, whatever re is.
TEST(UniformDisk, ElementwiseInTheRatioOfRadii) {
  const std::vector<double> l = {5.0, 0.5, 2.0, 1.0, 0.5, 0.0, 1.7, 50.0};
  const std::vector<double> all = magnification(l, 1.0, 0.1);
  ASSERT_EQ(all.size(), l.size());
  EXPECT_EQ(magnification(l, 2.0, 0.2), all);
  for (std::size_t i = 0; i < l.size(); ++i) EXPECT_EQ(all[i], single(l[i], 1.0, 0.1));
  for (const double re : {1.0, 0.0, std::nan("")}) {
    auto result = witt_mao_magnification({}, re, 0.1);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->empty());
  }
}

// Against the brute-force average over the disk (tools/make_regime_reference.py),
// for sources of 1e-6 to 100 Einstein radii and separations from the centre
// through the limb (down to |l − 1| = 1e-12, and l = 1 itself) to 1e8 source
// radii: within 1e-13 everywhere (worst seen 1e-14, just inside the far
// field, where the closed form's ε·l² is largest), and never below 1.
TEST(UniformDisk, MatchesTheDiskAverageInEveryRegime) {
  const auto rows = mirlaxon::test::read_table("uniform_disk_regimes.tsv");
  ASSERT_GT(rows.size(), 250u);
  double worst = 0.0;
  for (const auto& row : rows) {
    const double rho = row.number(0), l = row.number(1), expected = row.number(2);
    const double got = single(l, 1.0, rho);
    worst = std::fmax(worst, std::fabs(got / expected - 1.0));
    EXPECT_LT(std::fabs(got / expected - 1.0), 1e-13) << "rho=" << rho << " l=" << l;
    EXPECT_GE(got, 1.0) << "rho=" << rho << " l=" << l;
  }
  std::printf("  worst %.2e relative\n", worst);
}

// On the limb of a tiny source the magnification is (4/ρ + 4ρ/3 + …)/π,
// beyond the table's smallest ρ (where the textbook asin((ρ² − 1)/(ρ² + 1)) +
// π/2 cancels). The limb value lies between its neighbours: the disk
// magnification falls through the limb.
TEST(UniformDisk, LimbIsTheValueAtTheSourceRadius) {
  for (const double rho : {1e-8, 1e-12}) {
    EXPECT_NEAR(single(1.0, 1.0, rho), 4.0 / (3.141592653589793 * rho), 1e-15 * 4.0 / rho) << rho;
  }
  for (const double rho : {1e-6, 1e-3, 0.1, 1.0, 10.0}) {
    const double limb = single(1.0, 1.0, rho);
    for (const double d : {1e-12, 1e-9}) {
      EXPECT_LT(single(1.0 + d, 1.0, rho), limb) << rho << " " << d;
      EXPECT_GT(single(1.0 - d, 1.0, rho), limb) << rho << " " << d;
    }
  }
}

// Far out the finite source barely matters, and never takes the value below
// the point source's, nor below 1: a sweep far beyond the table's points.
TEST(UniformDisk, FarFieldStaysAboveThePointSource) {
  for (const double rho : {1e-6, 1e-2, 1.0, 100.0}) {
    for (double l = 3.0; l < 1e12; l *= 1.37) {
      const double u = rho * l;
      const double a = single(l, 1.0, rho);
      // A(u) − 1 = 4/(u·√(u² + 4)·(u² + 2 + u·√(u² + 4))), with no cancellation.
      const double root = std::sqrt(u * u + 4.0);
      const double point_excess = 4.0 / (u * root * (u * u + 2.0 + u * root));
      EXPECT_GE(a, 1.0 + point_excess * (1.0 - 1e-15)) << rho << " " << l;
      // The first correction is at most 2/l² of the excess; a itself rounds to ε.
      EXPECT_LE(a - 1.0, point_excess * (1.0 + 4.0 / (l * l)) + 2.3e-16) << rho << " " << l;
    }
  }
}

TEST(UniformDisk, KernelFailureFailsTheWholeCall) {
  // A NaN separation reaches R_J's duplication, which cannot converge.
  auto result = witt_mao_magnification(std::vector<double>{0.5, std::nan(""), 2.0}, 1.0, 0.1);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), mirlaxon::models::ModelError::Kind::kernel);
  EXPECT_EQ(result.error().message(), mirlaxon::ellip::carlson::messages::RJ_CONVERGE);
}

}  // namespace

namespace {

using mirlaxon::models::DisksAtSeparation;

bool same_bits_or_both_nan(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The closed form against the published formula evaluated in mpmath
// (tools/make_disk_closed_form_reference.py). The formula subtracts terms of
// order κ = ((u + R)/R)² to leave one of order 1, so it carries a rounding
// error of about ε·κ, which the far field (u ≥ 10R, κ ≥ 121) leaves to its
// series; the exact complements keep it free of the ε·(R/d)² that forming
// 1 − m by subtraction costs next to the limb (worst seen 0.7 ε·κ).
TEST(DisksAtSeparation, MatchesThePublishedFormula) {
  constexpr double EPSILON = 2.220446049250313e-16;
  const auto rows = mirlaxon::test::read_table("disk_closed_form.tsv");
  ASSERT_GT(rows.size(), 250u);
  double worst = 0.0;
  for (const auto& row : rows) {
    const double u = row.number(0), radius = row.number(1), expected = row.number(2);
    const double kappa = std::fmin(((u + radius) / radius) * ((u + radius) / radius), 121.0);
    const double error = std::fabs(DisksAtSeparation(u, 1.0).at(radius) / expected - 1.0);
    worst = std::fmax(worst, error / (EPSILON * kappa));
    EXPECT_LT(error, 4.0 * EPSILON * kappa) << u << " " << radius;
  }
  std::printf("  worst %.2f ε·κ\n", worst);
}

// Inputs outside R > 0, u ≥ 0 go to the designed evaluation, whose failures
// (a NaN or negative separation) are NaN; empty disks are 0.
TEST(DisksAtSeparation, IrregularInputs) {
  for (const double l : {0.0, 0.3, 40.0}) {
    const DisksAtSeparation disks(0.1 * l, 0.1);
    EXPECT_EQ(disks.at(-0.5), 0.0);
    EXPECT_EQ(disks.at(0.0), 0.0);
  }
  EXPECT_TRUE(std::isnan(DisksAtSeparation(NAN, 0.1).at(0.5)));
  EXPECT_TRUE(std::isnan(DisksAtSeparation(-0.2, 0.1).at(0.5)));
}

// The batch gives at()'s bits, the band and the fallbacks included.
TEST(DisksAtSeparation, BatchGivesTheScalarBits) {
  for (const double l : {0.0, 0.4, 1.0, 7.0}) {
    std::vector<double> radii;
    for (int i = 0; i <= 200; ++i) radii.push_back(-0.05 + i * (1.2 / 200.0));
    radii.insert(radii.end(), {l, l * (1.0 - 2e-6), NAN, 1e-300});
    std::vector<double> batch(radii.size());
    const DisksAtSeparation disks(0.1 * l, 0.1);
    disks.at_batch(radii, batch);
    for (std::size_t i = 0; i < radii.size(); ++i) {
      EXPECT_TRUE(same_bits_or_both_nan(batch[i], disks.at(radii[i]))) << l << " " << radii[i];
    }
  }
}

// The disk-family integrand gives the same bits one point at a time and a
// quadrature level at once, across the lens inside, on and outside the limb.
// The built-in profile's normalisation: 4π/5 in closed form, and the
// constant the models divide by is the tanh–sinh quadrature of it.
TEST(LinearLimbProfile, NormalisationIsTheTanhSinhQuadrature) {
  namespace de = mirlaxon::quadrature::double_exponential;
  const auto limb = [](double r) { return (r * mirlaxon::TWO_PI) * mirlaxon::models::linear_limb_profile(r); };
  const de::IntegrationResult normalisation = de::integrate(limb, 0.0, 1.0, 1e-16);
  EXPECT_NEAR(normalisation.integral, 0.8 * mirlaxon::PI, 1e-13);
  EXPECT_EQ(normalisation.integral, mirlaxon::models::LINEAR_LIMB_NORMALISATION);
}

TEST(IntegratedDisk, BatchIntegrandGivesTheScalarBits) {
  using namespace mirlaxon::models;
  for (const double eta : {0.05, 1.0, 10.0}) {
    for (const double l : {0.0, 0.3, 0.97, 1.0, 1.03, 2.0}) {
      const DiskIntegrand integrand(DisksAtSeparation(l / eta, 1.0 / eta), linear_limb_profile);
      std::vector<double> r;
      for (int i = 0; i <= 150; ++i) r.push_back(i / 150.0);
      r.insert(r.end(), {1e-300, 3e-6, l, l + 2e-6, 1.0 - 1e-7});
      std::vector<double> batch(r.size());
      integrand.evaluate_batch(r, batch);
      for (std::size_t i = 0; i < r.size(); ++i) {
        EXPECT_TRUE(same_bits_or_both_nan(batch[i], integrand(r[i]))) << l << " " << eta << " " << r[i];
      }
    }
  }
}

}  // namespace
