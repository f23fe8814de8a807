// Uniform-disk magnification: documented values, the limb band, the
// point-source limit and failure semantics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ellip/carlson.hpp"
#include "models/uniform_disk.hpp"

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
