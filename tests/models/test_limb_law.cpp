// The ring family with a limb-darkening law: the standard laws against the
// 2-D brute-force average (tools/make_regime_reference.py --limb-laws), the
// functions it generalises, and its value errors.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ellip/lanes.hpp"
#include "models/limb_law.hpp"
#include "models/magnifications.hpp"
#include "models/ring_source_rule.hpp"
#include "reference_table.hpp"

namespace {

using namespace mirlaxon::models;
using mirlaxon::test::read_table;

using mirlaxon::test::split_numbers;

double relative_error(double got, double expected) { return std::fabs(got / expected - 1.0); }

// Linear (u = 0 … 1), quadratic, square-root, power-2 (α = 0.5, 2.5) and
// four-parameter laws, η = 0.01 … 1e4, l from the centre through the limb
// (within 1e-9 of it) to the far field, and 1e-6 and 1e-4 off the limb for
// η = 1 … 1e4: within 1e-12 (worst seen 7e-13).
TEST(LimbLaw, MatchesTheSourceAverageForEveryStandardLaw) {
  struct Law {
    std::vector<double> powers, weights;
  };
  std::map<std::string, Law> laws;
  for (const auto& row : read_table("limb_laws.tsv")) {
    laws[row.fields.at(0)] = {split_numbers(row.fields.at(1)), split_numbers(row.fields.at(2))};
  }
  ASSERT_GE(laws.size(), 10u);
  std::map<std::string, double> worst;
  std::size_t compared = 0;
  for (const auto& row : read_table("limb_law_regimes.tsv")) {
    const Law& law = laws.at(row.fields.at(0));
    const double l = row.number(1), eta = row.number(2), expected = row.number(3);
    const auto got = integrated_limb_law_heyrovsky_magnification(std::vector<double>{l}, eta, 1.0,
                                                                 law.powers, law.weights);
    ASSERT_TRUE(got.has_value());
    const double error = relative_error(got->at(0), expected);
    worst[row.fields.at(0)] = std::fmax(worst[row.fields.at(0)], error);
    EXPECT_LT(error, 1e-12) << row.fields.at(0) << " l=" << l << " eta=" << eta;
    ++compared;
  }
  EXPECT_GT(compared, 250u);
  for (const auto& [name, error] : worst) std::printf("  %-22s %.1e\n", name.c_str(), error);
}

// The built-in profile is the linear law with u = 0.6 (the same rule, up to
// the rounding of 0.4 + 0.6·μ against 1 − 0.6·(1 − μ)), the constant law the
// uniform disk, and the weights' scale cancels against the normalisation.
TEST(LimbLaw, AgreesWithTheFunctionsItGeneralises) {
  std::vector<double> l;
  for (int i = 0; i <= 60; ++i) l.push_back(i * 0.05);
  l.insert(l.end(), {1.0 - 1e-9, 1.0 + 1e-9, 40.0, 1e6});
  const std::vector<double> linear = {0.0, 1.0}, built_in = {0.4, 0.6};
  const std::vector<double> flat = {0.0}, one = {1.0};
  const std::vector<double> four = {0.0, 0.5, 1.0, 1.5, 2.0}, four_weights = {0.3, 0.5, 0.2, 0.3, -0.3};
  std::vector<double> scaled;
  for (const double w : four_weights) scaled.push_back(w * 7.25);
  for (const double eta : {0.01, 1.0, 1e4}) {
    const Samples expected = *integrated_heyrovsky_magnification(l, eta, 1.0);
    const Samples got = *integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, linear, built_in);
    const Samples uniform = *integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, flat, one);
    const Samples disk = *witt_mao_magnification(l, eta, 1.0);
    const Samples law = *integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, four, four_weights);
    const Samples law_scaled = *integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, four, scaled);
    for (std::size_t i = 0; i < l.size(); ++i) {
      EXPECT_LT(relative_error(got[i], expected[i]), 1e-13) << l[i] << " " << eta;
      EXPECT_LT(relative_error(uniform[i], disk[i]), 1e-12) << l[i] << " " << eta;
      EXPECT_LT(relative_error(law_scaled[i], law[i]), 1e-14) << l[i] << " " << eta;
    }
  }
}

// A value error carries the item and its value; the front writes the value
// as its host does (here "V").
TEST(LimbLaw, InconsistentLawsAreValueErrors) {
  const std::vector<double> l = {2.0};
  const struct {
    std::vector<double> powers, weights;
    const char* message;
    double value;
  } cases[] = {
      {{0.0, 1.0, 2.0}, {1.0, 0.5}, "powers and weights differ in length (3 and 2)", NAN},
      {{0.0, -0.5}, {1.0, 1.0}, "powers[1] must be a finite number >= 0, not V", -0.5},
      {{NAN}, {1.0}, "powers[0] must be a finite number >= 0, not V", NAN},
      {{-1e-300, 1.0}, {1.0, 1.0}, "powers[0] must be a finite number >= 0, not V", -1e-300},
      {{0.0, 1.0}, {1.0, -INFINITY}, "weights[1] must be a finite number, not V", -INFINITY},
  };
  for (const auto& test : cases) {
    const auto result = integrated_limb_law_heyrovsky_magnification(l, 1.0, 1.0, test.powers, test.weights);
    ASSERT_FALSE(result.has_value()) << test.message;
    EXPECT_EQ(result.error().kind(), ModelError::Kind::value);
    EXPECT_EQ(result.error().message("V"), test.message);
    EXPECT_EQ(result.error().has_value(), !std::isnan(test.value) || test.powers.size() == test.weights.size());
    if (result.error().has_value() && !std::isnan(test.value)) {
      EXPECT_EQ(result.error().value(), test.value);
    }
  }
  // A negative zero power is zero, and any finite power is taken.
  EXPECT_TRUE(integrated_limb_law_heyrovsky_magnification(l, 1.0, 1.0, std::vector<double>{-0.0, 1e300},
                                                          std::vector<double>{1.0, 1.0})
                  .has_value());
}

// The limb nodes' vector pass gives the scalar pass's bits in every lane and
// leaves a tail shorter than four to it: laws that take the polynomial
// brightness in the lanes (powers 0, 1, 2) and laws that leave it to the
// scalar pass (a square root, a general power), node counts 0 to 13, with t
// from the centre to the limb and both signs of the distance.
TEST(LimbLaw, VectorNodePassGivesTheScalarBits) {
  struct Law {
    std::vector<double> powers, weights;
  };
  const Law laws[] = {{{0.0, 1.0}, {0.4, 0.6}},
                      {{0.0, 1.0, 2.0}, {0.3, 0.5, 0.2}},
                      {{0.0, 0.5, 1.0, 1.5, 2.0}, {0.2, 0.5, 0.2, 0.3, -0.2}},
                      {{0.0, 0.7}, {0.4, 0.6}}};
  for (const Law& law : laws) {
    const LimbLaw profile = *LimbLaw::from(law.powers, law.weights);
    for (std::size_t count = 0; count <= 13; ++count) {
      SourceNodes lanes, scalar;
      for (std::size_t i = 0; i < count; ++i) {
        const double t = i == 0 ? 0.0 : i == 1 ? 1.0 : std::fmod(0.37 * i + 0.011 * i * i, 1.0);
        lanes.add(t, (i % 2 == 0 ? -1.0 : 1.0) * (0.1 + t * 0.3), 1e-3 * (i + 1));
      }
      scalar = lanes;
      finish_limb_nodes(profile, lanes);
      {
        const mirlaxon::ellip::lanes::ScalarOnly one_at_a_time;
        finish_limb_nodes(profile, scalar);
      }
      ASSERT_EQ(lanes.r.size(), count);
      for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(lanes.r[i], scalar.r[i]) << count << " " << i;
        EXPECT_EQ(lanes.d[i], scalar.d[i]) << count << " " << i;
        EXPECT_EQ(lanes.weight[i], scalar.weight[i]) << count << " " << i;
      }
    }
  }
}

}  // namespace
