// Derivatives and per-power components against mpmath at 34 digits
// (tools/make_gradient_reference.py, checked there against differences of
// the brute-force 2-D average): eleven laws and single powers, l = 0 through
// the limb (1e-6 off it, and on it) to 1e8, ρ = 1e-4 … 100.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "constants.hpp"
#include "models/magnifications.hpp"
#include "reference_table.hpp"

namespace {

using namespace mirlaxon::models;
using mirlaxon::test::read_table;
using mirlaxon::test::split_numbers;

struct Law {
  std::vector<double> powers, weights;
};

// The laws are named in the table's comment lines: "# law NAME\tpowers P\tweights W".
std::map<std::string, Law> gradient_laws() {
  std::map<std::string, Law> laws;
  std::ifstream in(std::string(MIRLAXON_TEST_DATA_DIR) + "/limb_law_gradients.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# law ", 0) != 0 || line.find("\tpowers ") == std::string::npos) continue;
    std::istringstream fields(line.substr(6));
    std::string name, powers, weights;
    std::getline(fields, name, '\t');
    std::getline(fields, powers, '\t');
    std::getline(fields, weights, '\t');
    laws[name] = {split_numbers(powers.substr(7)), split_numbers(weights.substr(8))};
  }
  return laws;
}

struct Expected {
  std::string law;
  double l, eta, value, d_u, d_rho;
};

std::vector<Expected> gradient_rows() {
  std::vector<Expected> rows;
  for (const auto& row : read_table("limb_law_gradients.tsv")) {
    rows.push_back({row.fields.at(0), row.number(1), row.number(2), row.number(3), row.number(5), row.number(6)});
  }
  return rows;
}

// Within 1e-10 relative, or 1e-14·A/ρ where the derivative is a small
// difference; an infinite derivative exactly.
bool derivative_close(double got, double expected, double value, double rho) {
  if (std::isinf(expected)) return got == expected;
  return std::fabs(got - expected) <= std::fmax(1e-10 * std::fabs(expected), 1e-14 * value / rho);
}

TEST(Gradients, MatchTheReferenceForEveryLawAndRegime) {
  const auto laws = gradient_laws();
  ASSERT_EQ(laws.size(), 11u);
  std::size_t compared = 0;
  for (const Expected& row : gradient_rows()) {
    const Law& law = laws.at(row.law);
    const std::vector<double> l{row.l};
    const double rho = 1.0 / row.eta;
    const auto got = integrated_limb_law_heyrovsky_gradient(l, row.eta, 1.0, law.powers, law.weights);
    const auto value = integrated_limb_law_heyrovsky_magnification(l, row.eta, 1.0, law.powers, law.weights);
    ASSERT_TRUE(got.has_value() && value.has_value());
    EXPECT_EQ(got->value.at(0), value->at(0)) << row.law << " l=" << row.l << " eta=" << row.eta;
    const std::string where = row.law + " l=" + std::to_string(row.l) + " eta=" + std::to_string(row.eta);
    EXPECT_PRED4(derivative_close, got->d_u.at(0), row.d_u, row.value, rho) << where;
    EXPECT_PRED4(derivative_close, got->d_rho.at(0), row.d_rho, row.value, rho) << where;
    if (row.law == "uniform") {
      const auto disk = witt_mao_gradient(l, row.eta, 1.0);
      ASSERT_TRUE(disk.has_value());
      EXPECT_EQ(disk->value.at(0), witt_mao_magnification(l, row.eta, 1.0)->at(0)) << "disk " << where;
      EXPECT_PRED4(derivative_close, disk->d_u.at(0), row.d_u, row.value, rho) << "disk " << where;
      EXPECT_PRED4(derivative_close, disk->d_rho.at(0), row.d_rho, row.value, rho) << "disk " << where;
    }
    ++compared;
  }
  EXPECT_EQ(compared, 352u);
}

// Every power's component against the pure law μ^p (the table's uniform
// and single-power rows) within 1e-12, from one call with all of them; and
// each law recombined from its powers' components, Σ w_k·N_k·A_k / Σ w_k·N_k
// with N_k = 2π/(p_k + 2), within 5e-15 of the law's own magnification.
TEST(Components, MatchEachPowerAndRecombineIntoTheLaw) {
  const auto laws = gradient_laws();
  const std::vector<double> powers{0.0, 0.5, 0.6, 1.0, 1.5, 2.0};
  const std::map<std::string, std::size_t> single{{"uniform", 0},   {"power_0.5", 1}, {"power_0.6", 2},
                                                  {"power_1.0", 3}, {"power_1.5", 4}, {"power_2.0", 5}};
  std::size_t singles = 0, recombined = 0;
  for (const Expected& row : gradient_rows()) {
    const std::vector<double> l{row.l};
    const std::string where = row.law + " l=" + std::to_string(row.l) + " eta=" + std::to_string(row.eta);
    if (const auto power = single.find(row.law); power != single.end()) {
      const auto rows = integrated_limb_law_heyrovsky_components(l, row.eta, 1.0, powers);
      ASSERT_TRUE(rows.has_value());
      ASSERT_EQ(rows->size(), powers.size());
      EXPECT_NEAR(rows->at(power->second).at(0) / row.value, 1.0, 1e-12) << where;
      ++singles;
      continue;
    }
    const Law& law = laws.at(row.law);
    const auto rows = integrated_limb_law_heyrovsky_components(l, row.eta, 1.0, law.powers);
    const auto value = integrated_limb_law_heyrovsky_magnification(l, row.eta, 1.0, law.powers, law.weights);
    ASSERT_TRUE(rows.has_value() && value.has_value());
    double sum = 0.0, norm = 0.0;
    for (std::size_t k = 0; k < law.powers.size(); ++k) {
      const double n_k = law.weights[k] * (mirlaxon::TWO_PI / (law.powers[k] + 2.0));
      sum = sum + n_k * rows->at(k).at(0);
      norm = norm + n_k;
    }
    EXPECT_NEAR(sum / norm / value->at(0), 1.0, 5e-15) << where;
    ++recombined;
  }
  EXPECT_EQ(singles, 192u);
  EXPECT_EQ(recombined, 160u);
}

// Outside the regular inputs the derivatives follow the value's rules: for
// a limb law no lensing (re = 0) is A = 1 with zero derivatives, ρ = 0 and a
// NaN or negative separation NaN, and ρ < 0 the average at |ρ| with both
// derivatives signed as ρ (u = l·ρ changes sign with it); the disk's value
// keeps its reference formula there, its derivatives NaN; a bad law fails as
// the value does; an empty list of powers has no components.
TEST(Gradients, FollowTheValuesRulesOutsideTheDomain) {
  const std::vector<double> powers{0.0, 1.0}, weights{0.4, 0.6};
  const auto law = [&](std::vector<double> l, double re, double rstar) {
    return *integrated_limb_law_heyrovsky_gradient(l, re, rstar, powers, weights);
  };
  const std::vector<double> l{0.0, 0.5, 1.0, 3.0, 20.0, INFINITY};
  const GradientSamples none = law(l, 0.0, 1.0), point = law(l, 1.0, 0.0);
  EXPECT_EQ(none.value, std::vector<double>(l.size(), 1.0));
  EXPECT_EQ(none.d_u, std::vector<double>(l.size(), 0.0));
  EXPECT_EQ(none.d_rho, std::vector<double>(l.size(), 0.0));
  for (std::size_t i = 0; i < l.size(); ++i) EXPECT_TRUE(std::isnan(point.d_u[i]) && std::isnan(point.d_rho[i]));
  const GradientSamples positive = law(l, 2.0, 1.0), negative = law(l, 2.0, -1.0);
  EXPECT_EQ(negative.value, positive.value);
  for (std::size_t i = 0; i + 1 < l.size(); ++i) {
    EXPECT_EQ(negative.d_u[i], -positive.d_u[i]) << l[i];
    EXPECT_EQ(negative.d_rho[i], -positive.d_rho[i]) << l[i];
  }
  const std::vector<double> finite(l.begin(), l.end() - 1);
  const auto disk = *witt_mao_gradient(finite, -2.0, 1.0);
  EXPECT_EQ(disk.value, *witt_mao_magnification(finite, -2.0, 1.0));
  for (std::size_t i = 0; i < finite.size(); ++i) EXPECT_TRUE(std::isnan(disk.d_u[i]) && std::isnan(disk.d_rho[i]));
  EXPECT_EQ(witt_mao_gradient(l, 1.0, 0.0).has_value(), witt_mao_magnification(l, 1.0, 0.0).has_value());
  const GradientSamples outside = law({NAN, -1.0}, 2.0, 1.0);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(std::isnan(outside.value[i]) && std::isnan(outside.d_u[i]) && std::isnan(outside.d_rho[i]));
  }
  const GradientSamples far = law({INFINITY}, 2.0, 1.0);
  EXPECT_EQ(far.value[0], 1.0);
  EXPECT_EQ(far.d_u[0], 0.0);
  EXPECT_EQ(far.d_rho[0], 0.0);
  const std::vector<double> bad_powers{0.0, -1.0};
  const auto value_error = integrated_limb_law_heyrovsky_magnification(l, 1.0, 1.0, bad_powers, weights);
  const auto gradient_error = integrated_limb_law_heyrovsky_gradient(l, 1.0, 1.0, bad_powers, weights);
  const auto components_error = integrated_limb_law_heyrovsky_components(l, 1.0, 1.0, bad_powers);
  ASSERT_FALSE(value_error || gradient_error || components_error);
  EXPECT_EQ(gradient_error.error().message(), value_error.error().message());
  EXPECT_EQ(components_error.error().message(), value_error.error().message());
  EXPECT_TRUE(integrated_limb_law_heyrovsky_components(l, 1.0, 1.0, std::vector<double>{})->empty());
  const auto rows = *integrated_limb_law_heyrovsky_components(std::vector<double>{20.0, 0.5}, 0.0, 1.0, powers);
  EXPECT_EQ(rows.at(1), (std::vector<double>{1.0, 1.0}));
}

}  // namespace
