// The ring family against brute-force quadrature (tools/make_ring_reference.py),
// documented values, and the semantics of the discrete sum.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ellip/carlson.hpp"
#include "models/ring.hpp"
#include "reference_table.hpp"

namespace {

using namespace mirlaxon::models;
using mirlaxon::test::read_table;

double ring(double l, double r, double re, double rstar) {
  const auto value = heyrovsky_magnification(l, r, re, rstar);
  EXPECT_TRUE(value.has_value()) << l << " " << r << ": " << (value ? "" : value.error());
  return value ? *value : NAN;
}

double relative_error(double got, double expected) { return std::fabs(got / expected - 1.0); }

// Outside the band the closed form matches the circumference average to
// 1e-13 relative (worst seen 5.3e-15, at rings nearly through the lens).
// Inside it the series is first order: its error grows as |l − r|, up to
// about 3|d| (1.5e-6 at |d| = 5e-7).
TEST(Ring, MatchesTheCircumferenceAverage) {
  const auto rows = read_table("ring_reference.tsv");
  ASSERT_GT(rows.size(), 150u);
  double worst_closed = 0.0;
  double worst_series = 0.0;
  for (const auto& row : rows) {
    const double l = row.number(0), r = row.number(1), eta = row.number(2);
    const double expected = row.number(3);
    const double error = relative_error(ring(l, r, eta, 1.0), expected);
    const double d = std::fabs(l - r);
    if (d < RING_BAND) {
      worst_series = std::fmax(worst_series, error / d);
      EXPECT_LT(error, 4.0 * d) << l << " " << r << " " << eta;
    } else {
      worst_closed = std::fmax(worst_closed, error);
      EXPECT_LT(error, 1e-13) << l << " " << r << " " << eta;
    }
  }
  std::printf("  closed form worst %.2e relative; series worst %.2f |d|\n", worst_closed, worst_series);
}

TEST(Ring, DocumentedValues) {
  EXPECT_NEAR(ring(2.0, 0.5, 1.0, 1.0), 1.06794006184, 1e-11);
  EXPECT_NEAR(ring(0.3, 1.0, 1.0, 1.0), 1.36869453367, 1e-11);
  EXPECT_NEAR(ring(0.5000005, 0.5, 1.0, 1.0), 10.3431653, 1e-7);
  EXPECT_NEAR(ring(0.4999995, 0.5, 1.0, 1.0), 10.3431932, 1e-7);
  EXPECT_EQ(ring(0.5, 0.5, 1.0, 1.0), INFINITY);
  EXPECT_EQ(ring(2.0, 0.5, 2.0, 2.0), ring(2.0, 0.5, 1.0, 1.0));
  EXPECT_NEAR(ring(0.5, 2.0, 1.0, 1.0), ring(2.0, 0.5, 1.0, 1.0), 4e-16);
  // Degenerate rings are point sources at distance l (or r).
  for (const auto& [l, r] : {std::pair{0.7, 0.0}, std::pair{0.0, 0.7}}) {
    const double x = l + r;
    EXPECT_NEAR(ring(l, r, 1.0, 1.0), (x * x + 2.0) / (x * std::sqrt(x * x + 4.0)), 4e-16 * 3);
  }
  // The lens at the centre of a ring thinner than the band: every point of the
  // ring is at distance r, so the value is A(r) (the series is not defined there).
  const double tiny = 5e-7;
  EXPECT_NEAR(ring(0.0, tiny, 1.0, 1.0), (tiny * tiny + 2.0) / (tiny * std::sqrt(tiny * tiny + 4.0)),
              1e-15 * 1e6);
  EXPECT_TRUE(std::isnan(ring(0.0, 0.0, 1.0, 1.0)));
  EXPECT_NEAR(ring(2.0, 0.5, 0.0, 1.0), 1.0, 4e-16);  // no lensing
  EXPECT_NEAR(ring(1e4, 0.5, 1.0, 1.0), 1.0, 1e-15);  // far away
}

// |l − r| exactly 1e-6 takes the closed form; anything closer the series.
TEST(Ring, BandEdgeIsStrict) {
  const double r = 0.5;
  double l = r + 0.999999e-6;
  while (std::fabs(l - r) < RING_BAND) l = std::nextafter(l, 1.0);
  const double outside = ring(l, r, 1.0, 1.0);
  const double inside = ring(std::nextafter(l, 0.0), r, 1.0, 1.0);
  // The two branches meet to within the series' first-order error.
  EXPECT_NEAR(outside / inside, 1.0, 2e-6);
  EXPECT_NE(outside, inside);
}

TEST(Ring, OppositeSignsFailThroughTheEllipticIntegral) {
  const auto value = heyrovsky_magnification(0.5, -1e-5, 1.0, 1.0);
  ASSERT_FALSE(value.has_value());
  EXPECT_STREQ(value.error(), mirlaxon::ellip::carlson::messages::RJ_CONVERGE);
}

// The limb-darkened source: 2πr A(r) B(r) integrated over the radius against
// the 2-D brute-force average over the disk. Outside the source the rule
// meets the reference to 1e-13 (worst seen 2.2e-14); inside (0 ≤ l < 1) the
// split at r = l keeps the logarithmic singularity at the ends, and the
// agreement is 1e-10 (worst seen 2.2e-11).
TEST(IntegratedRing, MatchesTheDiskAverage) {
  const auto rows = read_table("disk_reference.tsv");
  ASSERT_GT(rows.size(), 50u);
  double worst_inside = 0.0, worst_outside = 0.0;
  for (const auto& row : rows) {
    if (row.fields.at(0) != "linear_limb") continue;
    const double l = row.number(1), eta = row.number(2), expected = row.number(3);
    const double got = integrated_heyrovsky_magnification(std::vector<double>{l}, eta, 1.0).at(0);
    const double error = relative_error(got, expected);
    const bool inside = l < 1.0;
    (inside ? worst_inside : worst_outside) = std::fmax(inside ? worst_inside : worst_outside, error);
    EXPECT_LT(error, inside ? 1e-10 : 1e-13) << "l=" << l << " eta=" << eta;
  }
  std::printf("  inside worst %.2e, outside worst %.2e relative\n", worst_inside, worst_outside);
}

TEST(IntegratedRing, DocumentedValues) {
  const Samples values = integrated_heyrovsky_magnification(std::vector<double>{2.0, 3.0, 2.0}, 1.0, 1.0);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_NEAR(values[0], 1.0749139411, 1e-10);
  EXPECT_NEAR(values[1], 1.0193416042, 1e-10);
  EXPECT_EQ(values[2], values[0]);
  EXPECT_TRUE(integrated_heyrovsky_magnification({}, 1.0, 1.0).empty());
  // No lensing: the profile-weighted average of 1, to the rule's accuracy.
  EXPECT_NEAR(integrated_heyrovsky_magnification(std::vector<double>{3.0}, 0.0, 1.0).at(0), 1.0, 1e-9);
  EXPECT_NEAR(integrated_heyrovsky_magnification(std::vector<double>{1e4}, 1.0, 1.0).at(0), 1.0, 1e-12);
}

TEST(IntegratedRing, ProfileIsUsedAsGiven) {
  // A constant profile turns the integral into the uniform-disk magnification.
  struct Constant {
    double value;
    double operator()(double) const { return value; }
  };
  const Constant flat{3.0};
  const std::vector<double> l = {2.0};
  const double uniform = _integrated_heyrovsky_magnification(l, 1.0, 1.0, flat, 3.0 * 3.141592653589793).at(0);
  EXPECT_NEAR(uniform, 1.0766480357, 1e-9);
}

TEST(DiscreteRings, WeightedSumOfSingleRings) {
  const std::vector<double> l = {0.3, 2.0, 0.7};
  const std::vector<double> bl = {1.0, 0.0, 0.4};
  const std::vector<double> bf = {2.0, 0.5, -1.0};
  const auto result = discrete_flux_map_heyrovsky_magnification(l, 1.0, 1.0, bl, bf);
  ASSERT_TRUE(result.has_value());
  for (std::size_t i = 0; i < l.size(); ++i) {
    double sum = 0.0;
    for (std::size_t j = 0; j < bl.size(); ++j) sum = sum + ring(l[i], bl[j], 1.0, 1.0) * bf[j];
    EXPECT_EQ(result->at(i), sum);
  }
  EXPECT_NEAR(discrete_flux_map_heyrovsky_magnification(std::vector<double>{0.3}, 1.0, 1.0,
                                                        std::vector<double>{1.0},
                                                        std::vector<double>{2.0})->at(0),
              2.73738906734, 1e-10);
}

TEST(DiscreteRings, EdgeCases) {
  const std::vector<double> none;
  const std::vector<double> two = {0.5, 1.0}, three = {1.0, 2.0, 3.0};
  // The length check comes first, even with no separations.
  const auto mismatch = discrete_flux_map_heyrovsky_magnification(none, 1.0, 1.0, two, three);
  ASSERT_FALSE(mismatch.has_value());
  EXPECT_EQ(mismatch.error().kind(), ModelError::Kind::panic);
  EXPECT_EQ(mismatch.error().message(), "assertion `left == right` failed\n  left: 2\n right: 3");
  // No rings: zeros, one per separation.
  EXPECT_EQ(*discrete_flux_map_heyrovsky_magnification(two, 1.0, 1.0, none, none), (Samples{0.0, 0.0}));
  // A separation on a ring radius: +∞ for a positive weight, NaN for zero.
  EXPECT_EQ(discrete_flux_map_heyrovsky_magnification(std::vector<double>{0.5}, 1.0, 1.0, two, two)->at(0), INFINITY);
  // A negative radius fails the call with the kernel's text.
  const auto failed = discrete_flux_map_heyrovsky_magnification(std::vector<double>{2.0}, 1.0, 1.0,
                                                                std::vector<double>{-0.5},
                                                                std::vector<double>{1.0});
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error().message(), "elliprj: Fail to converge");
}

}  // namespace
