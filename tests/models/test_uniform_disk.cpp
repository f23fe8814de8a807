// Uniform-disk magnification: documented values, the limb band, the
// point-source limit and failure semantics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ellip/carlson.hpp"
#include "models/profiles.hpp"
#include "models/source_integral.hpp"
#include "models/uniform_disk.hpp"
#include "numdiff/central_difference.hpp"
#include "reference_table.hpp"

namespace {

using mirlaxon::models::witt_mao_magnification;

std::vector<double> magnification(std::vector<double> l, double re, double rstar) {
  auto result = witt_mao_magnification(l, re, rstar);
  EXPECT_TRUE(result.has_value()) << (result ? "" : std::string(result.error().message()));
  return result ? *result : std::vector<double>{};
}

double single(double l, double re, double rstar) { return magnification({l}, re, rstar).at(0); }

TEST(UniformDisk, DocumentedValues) {
  struct Row {
    double l, re, rstar, expected;
  };
  const std::vector<Row> rows = {
      {0.0, 1.0, 0.1, 20.0249843945},  // √(1 + 4/ρ²)
      {0.0, 1.0, 1.0, 2.2360679775},
      {1.0, 1.0, 0.1, 12.7747522446},  // the limb
      {1.0, 1.0, 1.0, 1.63661977237},  // 1 + 2/π
      {0.5, 1.0, 0.1, 18.7138909041},
      {2.0, 1.0, 0.1, 5.25013019589},
      {5.0, 1.0, 0.1, 2.19371740665},
      {100.0, 1.0, 0.1, 1.00019232584},
      {0.5, 1.0, 1.0, 2.13919087496},
      {2.0, 1.0, 1.0, 1.07664803566},
      {1.0, 2.0, 0.2, 12.7747522446},
  };
  for (const Row& row : rows) {
    EXPECT_NEAR(single(row.l, row.re, row.rstar), row.expected, 1e-10 * row.expected)
        << "l=" << row.l << " re=" << row.re << " rstar=" << row.rstar;
  }
  // At the centre the closed form reduces to √(1 + 4/ρ²) up to rounding.
  EXPECT_NEAR(single(0.0, 1.0, 0.1), std::sqrt(1.0 + 4.0 / 0.01), 4e-15 * 20.0);
  EXPECT_NEAR(single(1.0, 1.0, 1.0), 1.0 + 2.0 / 3.141592653589793, 4e-16 * 1.7);
}

TEST(UniformDisk, OnlyTheRatioOfRadiiMatters) {
  const std::vector<double> l = {0.0, 0.3, 1.0, 1.7, 4.0, 50.0};
  EXPECT_EQ(magnification(l, 2.0, 0.2), magnification(l, 1.0, 0.1));
}

TEST(UniformDisk, EmptyInputComputesNothing) {
  for (const double re : {1.0, 0.0, std::nan("")}) {
    auto result = witt_mao_magnification({}, re, 0.1);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->empty());
  }
}

// The limb band is |l − 1| < 1e-5 in source radii, whatever the source size:
// inside it every sample gets the limit value at u = ρ; its edge is strict.
TEST(UniformDisk, LimbBandScalesWithTheSource) {
  for (const double rho : {1.0, 0.1, 1e-3, 1e-6, 10.0}) {
    SCOPED_TRACE(rho);
    const double limb = single(1.0, 1.0, rho);
    EXPECT_EQ(single(1.0 + 9e-6, 1.0, rho), limb);
    EXPECT_EQ(single(1.0 - 9e-6, 1.0, rho), limb);
    EXPECT_NE(single(1.0 + 2e-5, 1.0, rho), limb);
    // The centre and the outer percent of the disk are outside the band.
    EXPECT_NE(single(0.0, 1.0, rho), limb);
    EXPECT_NE(single(0.99, 1.0, rho), limb);
    // Continuity across the band edge: the closed form just outside agrees
    // with the limit to the accuracy the band is there to protect.
    EXPECT_NEAR(single(1.0 + 2e-5, 1.0, rho), limb, 1e-3 * limb);
  }
  // The edge is strict: walking outwards ulp by ulp, the first sample off
  // the limb value is the first with |u − ρ| ≥ 1e-5·ρ.
  for (const double rho : {1.0, 0.1}) {
    const double limb = single(1.0, 1.0, rho);
    double l = 1.0 + 0.99999e-5;
    while (single(l, 1.0, rho) == limb) l = std::nextafter(l, 2.0);
    const double before = std::nextafter(l, 0.0);
    EXPECT_GE(std::fabs(rho * l - rho), 1e-05 * rho);
    EXPECT_LT(std::fabs(rho * before - rho), 1e-05 * rho);
  }
  // A tiny source keeps its structure: the centre is √(1 + 4/ρ²), not the limb.
  EXPECT_NEAR(single(0.0, 1.0, 1e-6), std::sqrt(1.0 + 4.0e12), 1e-9 * 2e6);
  EXPECT_NE(single(0.5, 1.0, 1e-6), single(1.0, 1.0, 1e-6));
}

// Far from the source the disk acts as a point: A → (u² + 2)/(u √(u² + 4)),
// with a finite-source excess of order ρ²/u⁶. The closed form subtracts terms
// of order l² = (u/ρ)² to produce A ≈ 1, so its rounding error grows as ε·l²:
// about 3e-7 relative at l = 1e5 (measured), which bounds the agreement.
TEST(UniformDisk, PointSourceLimit) {
  for (const double rho : {0.01, 0.1, 1.0}) {
    for (const double u : {20.0, 100.0, 1000.0}) {
      const double l = u / rho;
      const double point = (u * u + 2.0) / (u * std::sqrt(u * u + 4.0));
      const double excess = single(l, 1.0, rho) / point - 1.0;
      const double rounding = 2.220446049250313e-16 * l * l;
      EXPECT_GT(excess, -rounding) << rho << " " << u;
      EXPECT_LT(excess, 8.0 * rho * rho / std::pow(u, 6) + rounding) << rho << " " << u;
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

TEST(UniformDisk, ResultsKeepInputOrderAndLength) {
  const std::vector<double> l = {5.0, 0.5, 2.0, 1.0, 0.5};
  const std::vector<double> all = magnification(l, 1.0, 0.1);
  ASSERT_EQ(all.size(), l.size());
  for (std::size_t i = 0; i < l.size(); ++i) EXPECT_EQ(all[i], single(l[i], 1.0, 0.1));
}

}  // namespace

namespace {

using mirlaxon::models::DisksAtSeparation;
using mirlaxon::models::UniformDisk;

double disk_at(double u, double radius) {
  const auto a = UniformDisk(radius).at(u);
  return a ? *a : NAN;
}

bool same_bits_or_both_nan(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Both closed forms against the published formula evaluated in mpmath
// (tools/make_disk_closed_form_reference.py), outside the limb band. The
// formula subtracts terms of order (s/R)² to leave one of order 1, so both
// forms carry a rounding error of about ε·κ with κ = ((u + R)/R)², which is
// large only for disks much smaller than their distance. The integrals' form,
// with its exact complements, stays within that (worst seen 0.7 ε·κ). The
// Legendre form also loses about ε·(R/d)² next to the limb, where it forms
// 1 − m ∝ (d/R)² by subtraction: 1e-6 relative at |d|/R = 2e-5, just outside
// the band.
TEST(DisksAtSeparation, MatchesThePublishedFormula) {
  constexpr double EPSILON = 2.220446049250313e-16;
  const auto rows = mirlaxon::test::read_table("disk_closed_form.tsv");
  ASSERT_GT(rows.size(), 250u);
  double worst = 0.0, worst_legendre = 0.0;
  for (const auto& row : rows) {
    const double u = row.number(0), radius = row.number(1), expected = row.number(2);
    if (std::fabs(u - radius) < UniformDisk::LIMB_BAND * radius) continue;
    const double kappa = ((u + radius) / radius) * ((u + radius) / radius);
    const double limb_loss = (radius / (u - radius)) * (radius / (u - radius));
    const double error = std::fabs(DisksAtSeparation(u, 1.0).at(radius) / expected - 1.0);
    worst = std::fmax(worst, error / (EPSILON * kappa));
    EXPECT_LT(error, 4.0 * EPSILON * kappa) << u << " " << radius;
    const double legendre = std::fabs(disk_at(u, radius) / expected - 1.0);
    worst_legendre = std::fmax(worst_legendre, legendre / (EPSILON * (kappa + limb_loss)));
    EXPECT_LT(legendre, 8.0 * EPSILON * (kappa + limb_loss)) << u << " " << radius;
  }
  std::printf("  integrals' form worst %.2f ε·κ; Legendre form %.2f ε·(κ + (R/d)²)\n", worst,
              worst_legendre);
}

// The same function in the limb band, for empty disks, and for what it
// hands back.
TEST(DisksAtSeparation, FallsBackToTheSingleDisk) {
  for (const double rho : {1e-3, 1.0}) {
    for (const double l : {0.0, 0.3, 1.0, 40.0}) {
      const DisksAtSeparation disks(rho * l, rho);
      for (const double y : {l, l * (1.0 + 3e-6), -0.5, 0.0}) {
        EXPECT_TRUE(same_bits_or_both_nan(disks.at(y), y < 0.0 ? 0.0 : disk_at(rho * l, rho * y)))
            << rho << " " << l << " " << y;
      }
    }
  }
  EXPECT_TRUE(std::isnan(DisksAtSeparation(NAN, 0.1).at(0.5)));
  EXPECT_TRUE(same_bits_or_both_nan(DisksAtSeparation(-0.2, 0.1).at(0.5), disk_at(-0.2, 0.05)));
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

// The integral with every node's disks from UniformDisk::at, as it would be
// without its own form, against the model (which also runs its batch path).
// The central difference turns a change of δ in F into about δ/(2∛ε) in F′,
// and next to the limb the Legendre form's own error is up to ε·(R/d)²: the
// results move by up to 2e-6 inside the source and on the limb (8.8e-7 seen)
// and 1e-9 outside (1.5e-10 seen), inside the disk family's 1.4e-5 and 6e-9
// against the brute-force average, which both routes meet.
TEST(IntegratedDisk, ChangedDiskFormMovesResultsFarLessThanTheirError) {
  using namespace mirlaxon::models;
  double worst = 0.0;
  for (const double eta : {0.05, 1.0, 10.0}) {
    for (const double l : {0.0, 0.3, 0.97, 1.0, 1.03, 2.0, 30.0}) {
      const double rho = 1.0 / eta;
      const auto disk = [&](double y) { return y < 0.0 ? 0.0 : disk_at(rho * l, rho * y); };
      const auto integrand = [&](double r) {
        const double derivative = r < 0.0 ? 0.0 : mirlaxon::numdiff::central_difference(disk, r);
        return ((r * TWO_PI) * (disk(r) + (r * 0.5) * derivative)) * linear_limb_profile(r);
      };
      const double expected = integrate_over_source(integrand, l) / LINEAR_LIMB_NORMALISATION;
      const double got = integrated_witt_mao_magnification(std::vector<double>{l}, eta, 1.0)->at(0);
      // One point at a time with the same disks: exactly the model's bits, so
      // the batch path combines F(r ± h) as central_difference does.
      const DisksAtSeparation disks(rho * l, rho);
      const auto same_disks = [&](double y) { return disks.at(y); };
      const auto one_by_one = [&](double r) {
        const double derivative = r < 0.0 ? 0.0 : mirlaxon::numdiff::central_difference(same_disks, r);
        return ((r * TWO_PI) * (same_disks(r) + (r * 0.5) * derivative)) * linear_limb_profile(r);
      };
      EXPECT_EQ(got, integrate_over_source(one_by_one, l) / LINEAR_LIMB_NORMALISATION) << l << " " << eta;
      worst = std::fmax(worst, std::fabs(got / expected - 1.0));
      EXPECT_LT(std::fabs(got / expected - 1.0), l <= 1.0 ? 2e-6 : 1e-9) << l << " " << eta;
    }
  }
  std::printf("  worst %.2e relative\n", worst);
}

}  // namespace
