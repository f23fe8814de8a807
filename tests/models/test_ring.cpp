// The ring family against brute-force quadrature (tools/make_ring_reference.py),
// documented values, and the semantics of the discrete sum.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ellip/carlson.hpp"
#include "models/ring.hpp"
#include "models/source_integral.hpp"
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

double rings_at(double l, double r, double re, double rstar) {
  return RingsAtSeparation(l, re, rstar).at(r);
}

// Outside the band the closed form matches the circumference average to
// 1e-13 relative (worst seen 5.3e-15 for the Carlson form at rings nearly
// through the lens, 1.2e-15 for the Bulirsch form of the integrals). Inside
// it the series is first order: its error grows as |l − r|, up to about
// 3|d| (1.5e-6 at |d| = 5e-7).
TEST(Ring, MatchesTheCircumferenceAverage) {
  const auto rows = read_table("ring_reference.tsv");
  ASSERT_GT(rows.size(), 150u);
  const struct {
    const char* name;
    double (*evaluate)(double, double, double, double);
  } forms[] = {{"heyrovsky_magnification", ring}, {"RingsAtSeparation", rings_at}};
  for (const auto& form : forms) {
    double worst_closed = 0.0;
    double worst_series = 0.0;
    for (const auto& row : rows) {
      const double l = row.number(0), r = row.number(1), eta = row.number(2);
      const double expected = row.number(3);
      const double error = relative_error(form.evaluate(l, r, eta, 1.0), expected);
      const double d = std::fabs(l - r);
      if (d < RING_BAND) {
        worst_series = std::fmax(worst_series, error / d);
        EXPECT_LT(error, 4.0 * d) << form.name << " " << l << " " << r << " " << eta;
      } else {
        worst_closed = std::fmax(worst_closed, error);
        EXPECT_LT(error, 1e-13) << form.name << " " << l << " " << r << " " << eta;
      }
    }
    std::printf("  %s: closed form worst %.2e relative; series worst %.2f |d|\n", form.name,
                worst_closed, worst_series);
  }
}

// The integrals' ring evaluation is a different closed form of the same
// quantity: across separations, radii and Einstein radii it stays within
// 1e-14 of heyrovsky_magnification (worst seen 6.2e-15, mostly the
// Carlson form's own error), and it is the
// same function in the band and for the inputs it hands back.
TEST(Ring, IntegralsFormAgreesWithTheSingleRing) {
  double worst = 0.0;
  for (const double eta : {1e-3, 0.1, 1.0, 10.0, 1e3}) {
    for (const double l : {0.0, 1e-4, 0.01, 0.3, 0.999, 1.0, 1.7, 50.0}) {
      for (int i = 1; i <= 400; ++i) {
        const double r = std::pow(10.0, -6.0 + 6.0 * i / 400.0);
        const double got = rings_at(l, r, eta, 1.0);
        const double expected = ring(l, r, eta, 1.0);
        if (!std::isfinite(expected)) continue;
        worst = std::fmax(worst, relative_error(got, expected));
        EXPECT_LT(relative_error(got, expected), 1e-14) << l << " " << r << " " << eta;
      }
      for (const double d : {0.0, 3e-7, -9e-7}) {  // the series band
        if (l < 0.01) continue;
        EXPECT_EQ(rings_at(l, l - d, eta, 1.0), ring(l, l - d, eta, 1.0)) << l << " " << d;
      }
    }
  }
  std::printf("  worst %.2e relative\n", worst);
  // The batch gives at()'s bits, the band and the fallbacks included.
  for (const double l : {0.0, 0.4, 1.0, -0.5}) {
    std::vector<double> radii;
    for (int i = 1; i <= 193; ++i) radii.push_back(i * (1.2 / 193.0));
    radii.insert(radii.end(), {l, l + 4e-7, l - 2e-7, -0.1, 0.0, NAN});
    std::vector<double> batch(radii.size());
    const RingsAtSeparation rings(l, 0.3, 1.0);
    rings.at_batch(radii, batch);
    for (std::size_t i = 0; i < radii.size(); ++i) {
      const double one = rings.at(radii[i]);
      EXPECT_TRUE(batch[i] == one || (std::isnan(batch[i]) && std::isnan(one))) << l << " " << radii[i];
    }
  }
  // Inputs outside l ≥ 0, r > 0 go to the single-ring function unchanged.
  for (const double r : {0.2, 2.0}) {
    const double expected = heyrovsky_magnification(-0.5, r, 1.0, 1.0).value_or(NAN);
    const double got = rings_at(-0.5, r, 1.0, 1.0);
    EXPECT_TRUE(got == expected || (std::isnan(got) && std::isnan(expected))) << r;
  }
  EXPECT_TRUE(std::isnan(rings_at(0.5, -0.2, 1.0, 1.0)));
  EXPECT_TRUE(std::isnan(rings_at(NAN, 0.2, 1.0, 1.0)));
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

namespace {

// The limb-darkened integral with every node's ring taken from
// heyrovsky_magnification, as the integral would be without its own form.
double integrated_with_single_rings(double l, double eta) {
  const auto integrand = [&](double r) {
    const double magnification = heyrovsky_magnification(l, r, eta, 1.0).value_or(NAN);
    return ((r * TWO_PI) * magnification) * linear_limb_profile(r);
  };
  return integrate_over_source(integrand, l) / LINEAR_LIMB_NORMALISATION;
}

// Changing the ring form moves the integrals by far less than their own
// quadrature error (1e-10 inside the source): within 1e-13, worst seen 2.2e-16.
TEST(IntegratedRing, ChangedRingFormMovesResultsOnlyInTheLastDigits) {
  double worst = 0.0;
  for (const double eta : {0.01, 1.0, 10.0, 300.0}) {
    for (const double l : {0.0, 0.05, 0.5, 0.98, 1.0, 1.02, 2.0, 30.0}) {
      const double got = integrated_heyrovsky_magnification(std::vector<double>{l}, eta, 1.0).at(0);
      const double expected = integrated_with_single_rings(l, eta);
      worst = std::fmax(worst, relative_error(got, expected));
      EXPECT_LT(relative_error(got, expected), 1e-13) << l << " " << eta;
    }
  }
  std::printf("  worst %.2e relative\n", worst);
}

}  // namespace
