// The ring family against brute-force quadrature (tools/make_ring_reference.py,
// tools/make_regime_reference.py), exact values, and the semantics of the
// integrals and the discrete sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "ellip/carlson.hpp"
#include "ellip/lanes.hpp"
#include "models/far_field.hpp"
#include "models/magnifications.hpp"
#include "models/ring.hpp"
#include "models/thresholds.hpp"
#include "reference_table.hpp"

namespace {

using namespace mirlaxon::models;
using mirlaxon::test::read_table;

double ring(double l, double r, double re, double rstar) {
  const auto value = heyrovsky_magnification(l, r, re, rstar);
  EXPECT_TRUE(value.has_value()) << l << " " << r << ": " << (value ? "" : value.error().message());
  return value ? *value : NAN;
}

double relative_error(double got, double expected) { return std::fabs(got / expected - 1.0); }

double rings_at(double l, double r, double re, double rstar) {
  return RingsAtSeparation(l, re / rstar).at(r);
}

// Against the circumference average by brute-force quadrature (tools/
// make_ring_reference.py and make_regime_reference.py): rings through and
// around the lens, |l − r| down to 1e-12, rings of 1e5 source radii,
// Einstein radii of 0.01 to 1e6 source radii, and the far field to 1e8:
// within 1e-13 everywhere (worst seen 9e-16). The first-order series the
// closed form once gave way to within |l − r| < 1e-6 was off by up to 4·|l − r|.
TEST(Ring, MatchesTheCircumferenceAverageInEveryRegime) {
  double worst = 0.0;
  std::size_t compared = 0;
  for (const char* table : {"ring_reference.tsv", "ring_regimes.tsv"}) {
    for (const auto& row : read_table(table)) {
      const double l = row.number(0), r = row.number(1), eta = row.number(2);
      const double expected = row.number(3);
      const double error = relative_error(ring(l, r, eta, 1.0), expected);
      worst = std::fmax(worst, error);
      EXPECT_LT(error, 1e-13) << table << " " << l << " " << r << " " << eta;
      ++compared;
    }
  }
  EXPECT_GT(compared, 700u);
  std::printf("  worst %.2e relative\n", worst);
}

// The integrals' evaluator takes the closed form where the single ring takes
// the far-field series (one of l, r ten times the other): the two agree to a
// few ulps. One radius at a time or a batch at once give the same bits.
// Other inputs get the designed evaluation, with NaN for its failures.
TEST(Ring, IntegralsEvaluatorMatchesTheSeriesAndItsBatch) {
  for (const double eta : {1e-3, 1.0, 1e3}) {
    for (const double l : {0.0, 1e-4, 0.3, 1.0, 50.0}) {
      for (int i = 1; i <= 60; ++i) {
        const double r = std::pow(10.0, -6.0 + 8.0 * i / 60.0);
        if (std::max(l, r) < FAR_FIELD_DISTANCE * std::min(l, r)) continue;
        const double series = ring(l, r, eta, 1.0);
        EXPECT_NEAR(rings_at(l, r, eta, 1.0), series, 2e-15 * series) << l << " " << r << " " << eta;
      }
    }
  }
  for (const double l : {0.0, 0.4, 1.0, -0.5}) {
    std::vector<double> radii;
    for (int i = 1; i <= 193; ++i) radii.push_back(i * (1.2 / 193.0));
    radii.insert(radii.end(), {l, l + 4e-7, l - 2e-7, 0.04 * l, -0.1, 0.0, NAN});
    std::vector<double> batch(radii.size());
    const RingsAtSeparation rings(l, 0.3);
    rings.at_batch(radii, batch);
    for (std::size_t i = 0; i < radii.size(); ++i) {
      const double one = rings.at(radii[i]);
      EXPECT_TRUE(batch[i] == one || (std::isnan(batch[i]) && std::isnan(one))) << l << " " << radii[i];
    }
  }
  for (const auto& [l, r] : {std::pair{-0.5, 0.2}, std::pair{-0.5, 2.0}, std::pair{0.5, -0.2},
                             std::pair{double{NAN}, 0.2}}) {
    EXPECT_TRUE(std::isnan(rings_at(l, r, 1.0, 1.0))) << l << " " << r;
  }
}

// The ring's first angular moment C = (1/2π)∮ A cos φ dφ against mpmath's
// quadrature of that definition (tools/make_ring_moment_reference.py): from
// a small ring far off to one 1e-6 from the lens, η = 0.01 … 100. The mean
// sums terms of order one to C's (4η²/(π s √q))·O(m): within 1e-14 of C and
// 8ε of that scale. The batch with the rings gives each value's bits as one
// at a time, four lanes or none, through every regime: −∞ through the lens,
// the logarithmic form closer than CLOSED_FORM_LIMIT, and 0 with the lens at
// the centre.
TEST(Ring, FirstMomentMatchesTheAngularAverageAndItsBatch) {
  std::size_t compared = 0;
  for (const auto& row : read_table("ring_moments.tsv")) {
    const double l = row.number(0), r = row.number(1), eta = row.number(2), expected = row.number(3);
    const double s = l + r, q = (l - r) * (l - r) + 4.0 * eta * eta;
    const double scale = 4.0 * eta * eta / (M_PI * s * std::sqrt(q));
    const double got = RingsAtSeparation(l, eta).moment_at(r);
    EXPECT_NEAR(got, expected, 1e-14 * std::fabs(expected) + 8.0 * 0x1p-52 * scale) << l << " " << r << " " << eta;
    ++compared;
  }
  EXPECT_EQ(compared, 27u);
  EXPECT_EQ(RingsAtSeparation(0.5, 1.0).moment_at(0.5), -INFINITY);
  EXPECT_EQ(RingsAtSeparation(0.0, 1.0).moment_at(0.3), 0.0);
  {
    // Either side of CLOSED_FORM_LIMIT, with the distances given exactly: the
    // logarithmic form and the mean agree (C grows as ln(1/d)).
    const double limit = CLOSED_FORM_LIMIT * 2.0;
    const std::vector<double> radii{1.0, 1.0}, distances{0.9 * limit, 1.1 * limit};
    std::vector<double> ring_values(2), moments(2);
    RingsAtSeparation(1.0, 1.0).at_batch_with_moments(radii, distances, ring_values, moments);
    // kc = (d/s)·√((s² + 4η²)/q) = d/√2 here.
    const double expected_ratio = (2.0 - std::log(4.0 * std::sqrt(2.0) / (0.9 * limit))) /
                                  (2.0 - std::log(4.0 * std::sqrt(2.0) / (1.1 * limit)));
    EXPECT_NEAR(moments[0] / moments[1], expected_ratio, 1e-14);
  }
  for (const double l : {0.0, 0.4, 1.0}) {
    std::vector<double> radii, distances;
    for (int i = 1; i <= 97; ++i) radii.push_back(i * (1.2 / 97.0));
    radii.insert(radii.end(), {l, 0.04 * l, 0.0, NAN});
    for (const double r : radii) distances.push_back(l - r);
    distances.back() = NAN;
    distances.push_back(1e-200);  // a node just off the ring, its distance exact
    radii.push_back(l);
    const RingsAtSeparation rings(l, 0.3);
    std::vector<double> lane_rings(radii.size()), lane_moments(radii.size());
    std::vector<double> one_rings(radii.size()), one_moments(radii.size());
    rings.at_batch_with_moments(radii, distances, lane_rings, lane_moments);
    {
      const mirlaxon::ellip::lanes::ScalarOnly one_at_a_time;
      rings.at_batch_with_moments(radii, distances, one_rings, one_moments);
    }
    std::vector<double> alone(radii.size());
    rings.at_batch(radii, distances, alone);
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    for (std::size_t i = 0; i < radii.size(); ++i) {
      EXPECT_TRUE(same(lane_rings[i], alone[i]) && same(one_rings[i], alone[i])) << l << " " << radii[i];
      EXPECT_TRUE(same(lane_moments[i], one_moments[i])) << l << " " << radii[i];
      if (distances[i] == l - radii[i]) {
        EXPECT_TRUE(same(lane_moments[i], rings.moment_at(radii[i]))) << l << " " << radii[i];
      }
    }
  }
}

// Exact values and identities: +∞ on the ring through the lens; only the
// ratio of the radii matters; symmetric in l and r; a ring of radius 0 is a
// point source; no lensing at η = 0 or far away.
TEST(Ring, ExactValuesAndSymmetries) {
  EXPECT_EQ(ring(0.5, 0.5, 1.0, 1.0), INFINITY);
  EXPECT_EQ(ring(0.0, 0.0, 1.0, 1.0), INFINITY);  // a point source on the lens
  EXPECT_EQ(ring(2.0, 0.5, 2.0, 2.0), ring(2.0, 0.5, 1.0, 1.0));
  EXPECT_NEAR(ring(0.5, 2.0, 1.0, 1.0), ring(2.0, 0.5, 1.0, 1.0), 4e-16);
  // Degenerate rings are point sources at distance l (or r).
  for (const auto& [l, r] : {std::pair{0.7, 0.0}, std::pair{0.0, 0.7}, std::pair{0.0, 5e-7}}) {
    const double x = l + r;
    EXPECT_NEAR(ring(l, r, 1.0, 1.0), (x * x + 2.0) / (x * std::sqrt(x * x + 4.0)),
                4e-16 * ring(l, r, 1.0, 1.0));
  }
  EXPECT_NEAR(ring(2.0, 0.5, 0.0, 1.0), 1.0, 4e-16);  // no lensing
  EXPECT_NEAR(ring(1e4, 0.5, 1.0, 1.0), 1.0, 1e-15);  // far away
  // Rings thinner than anything the series band once covered, through the
  // lens at a hundredth of their radius: the closed form, not a series.
  EXPECT_GT(ring(1e-12, 1e-12 * (1.0 + 1e-9), 1.0, 1.0), ring(1e-12, 1e-12 * (1.0 + 1e-6), 1.0, 1.0));
}

TEST(Ring, OppositeSignsFailThroughTheEllipticIntegral) {
  const auto value = heyrovsky_magnification(0.5, -1e-5, 1.0, 1.0);
  ASSERT_FALSE(value.has_value());
  EXPECT_EQ(value.error().message(), mirlaxon::ellip::carlson::messages::RJ_CONVERGE);
}

// Separations in one call or one at a time give the same bits: each is
// computed on its own, by a rule fixed by its geometry. No separations, no
// values.
TEST(IntegratedRing, OneCallGivesTheBitsOfSeparateCalls) {
  std::vector<double> l;
  for (int i = 0; i <= 40; ++i) l.push_back(i * 0.05);
  l.insert(l.end(), {1e-9, 1.0 - 1e-12, 1.0 + 1e-12, 1.4999999, 1.5, 9.999, 10.0, 1e6});
  const std::vector<double> bl = {0.0, 0.3, 0.3, 0.8}, bf = {1.0, 0.7, 0.2, 0.5};
  for (const double eta : {0.01, 1.0, 1e4}) {
    const Samples all = *integrated_heyrovsky_magnification(l, eta, 1.0);
    const Samples mapped = *integrated_flux_map_heyrovsky_magnification(l, eta, 1.0, bl, bf);
    for (std::size_t i = 0; i < l.size(); ++i) {
      const std::vector<double> one = {l[i]};
      EXPECT_EQ(all[i], integrated_heyrovsky_magnification(one, eta, 1.0)->at(0)) << l[i];
      EXPECT_EQ(mapped[i], integrated_flux_map_heyrovsky_magnification(one, eta, 1.0, bl, bf)->at(0)) << l[i];
    }
  }
  EXPECT_TRUE(integrated_heyrovsky_magnification({}, 1.0, 1.0)->empty());
}

// Inputs outside the physical domain, for every profile kind: no
// magnification to give (NaN) for a NaN or negative separation, a source of
// zero or NaN size, or a dark profile; no lensing at all (exactly 1, at every
// valid separation) for re = 0; and for a negative ρ the value for |ρ|, which
// the average depends on through ρ² alone.
TEST(IntegratedRing, OutsideTheDomain) {
  const std::vector<double> l = {NAN, -2.0, -1e-300, 0.0, 0.5, 1.0, 1.2, 2.0, 1e3, INFINITY};
  const std::vector<double> bl = {0.0, 0.3, 0.3, 1.0}, bf = {1.0, 0.7, 0.2, 0.5};
  const std::vector<double> powers = {0.0, 0.5, 1.0}, weights = {0.3, 0.4, 0.3};
  const auto all_three = [&](double re, double rstar) {
    return std::vector<Samples>{*integrated_heyrovsky_magnification(l, re, rstar),
                                *integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf),
                                *integrated_limb_law_heyrovsky_magnification(l, re, rstar, powers, weights)};
  };
  const auto regular = all_three(0.7, 0.3);
  for (const auto& [re, rstar] : std::vector<std::pair<double, double>>{{2.0, 0.0}, {INFINITY, 1.0}, {NAN, 1.0}, {0.0, 0.0}}) {
    for (const Samples& values : all_three(re, rstar)) {
      for (const double value : values) EXPECT_TRUE(std::isnan(value)) << re << " " << rstar;
    }
  }
  for (const auto& [re, rstar] : std::vector<std::pair<double, double>>{{0.0, 1.0}, {-0.0, 0.3}, {0.0, -2.0}}) {
    for (const Samples& values : all_three(re, rstar)) {
      for (std::size_t i = 0; i < l.size(); ++i) {
        if (l[i] >= 0.0) {
          EXPECT_EQ(values[i], 1.0) << re << " " << rstar << " " << l[i];
        } else {
          EXPECT_TRUE(std::isnan(values[i])) << re << " " << rstar << " " << l[i];
        }
      }
    }
  }
  for (const auto& [re, rstar] : std::vector<std::pair<double, double>>{{0.7, -0.3}, {-0.7, 0.3}, {-0.7, -0.3}}) {
    const auto negative = all_three(re, rstar);
    for (std::size_t k = 0; k < regular.size(); ++k) {
      for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_TRUE(negative[k][i] == regular[k][i] || (std::isnan(negative[k][i]) && std::isnan(regular[k][i])))
            << k << " " << re << " " << rstar << " " << l[i];
      }
    }
  }
  for (const Samples& values : {*integrated_flux_map_heyrovsky_magnification(l, 0.0, 1.0, std::vector<double>{},
                                                                             std::vector<double>{}),
                                *integrated_limb_law_heyrovsky_magnification(l, 1.0, 1.0, std::vector<double>{0.0, 2.0},
                                                                             std::vector<double>{-1.0, 2.0})}) {
    for (const double value : values) EXPECT_TRUE(std::isnan(value));
  }
}

// The weighted sum of rings against the same sum of brute-force ring
// averages: every set of rings the reference table has at one separation
// and Einstein radius, with weights of both signs.
TEST(DiscreteRings, MatchTheSumOfRingAverages) {
  std::map<std::pair<double, double>, std::vector<std::pair<double, double>>> groups;
  for (const auto& row : read_table("ring_regimes.tsv")) {
    groups[{row.number(0), row.number(2)}].push_back({row.number(1), row.number(3)});
  }
  std::size_t compared = 0;
  for (const auto& [key, rings] : groups) {
    if (rings.size() < 2) continue;
    std::vector<double> bl, bf;
    double expected = 0.0;
    for (std::size_t j = 0; j < rings.size(); ++j) {
      bl.push_back(rings[j].first);
      bf.push_back(j % 3 == 2 ? -0.25 : 1.0 / (j + 1.0));
      expected += bf.back() * rings[j].second;
    }
    const auto got = discrete_flux_map_heyrovsky_magnification(std::vector<double>{key.first}, key.second,
                                                               1.0, bl, bf);
    ASSERT_TRUE(got.has_value());
    EXPECT_LT(relative_error(got->at(0), expected), 1e-13) << key.first << " " << key.second;
    ++compared;
  }
  EXPECT_GT(compared, 20u);
}

TEST(DiscreteRings, EdgeCases) {
  const std::vector<double> none;
  const std::vector<double> two = {0.5, 1.0}, three = {1.0, 2.0, 3.0};
  // The length check comes first, even with no separations.
  const auto mismatch = discrete_flux_map_heyrovsky_magnification(none, 1.0, 1.0, two, three);
  ASSERT_FALSE(mismatch.has_value());
  EXPECT_EQ(mismatch.error().kind(), ModelError::Kind::assertion);
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

