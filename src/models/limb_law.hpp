// A limb-darkening law written as a sum of powers of μ = √(1 − r²):
// B(r) = Σ_k weights[k]·μ^powers[k]. The standard laws are of this form:
// linear (powers 0, 1), quadratic (0, 1, 2), square-root (0, ½, 1), power-2
// (0, α), four-parameter (0, ½, 1, 3/2, 2). Everything a law costs beyond its
// brightness at a node is formed once, when it is made: its exact
// normalisation, its far-field moments and its product-rule weights.
#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "models/built_in_profile.hpp"
#include "models/far_field.hpp"
#include "models/model_error.hpp"
#include "quadrature/product_rule.hpp"

namespace mirlaxon::models {

class LimbLaw {
 public:
  // The law of these powers and weights: a value error when they differ in
  // length, a power is negative or not finite, or a weight is not finite.
  static ModelResult<LimbLaw> from(std::span<const double> powers, std::span<const double> weights);

  // The built-in profile as a law, μ⁰ and μ¹ weighted 1 − c and c, made once.
  static const LimbLaw& built_in();

  // ∫₀¹ 2πr·B(r) dr = Σ_k weights[k]·2π/(powers[k] + 2), exact.
  double normalisation() const { return normalisation_; }
  // A dark source (N = 0, an empty law among them) has no magnification.
  bool dark() const { return normalisation_ == 0.0; }
  const FarFieldMoments& moments() const { return moments_; }
  // The product rule's weights, formed on first need (a law made for a few
  // far separations would spend more on them than on its values). The
  // built-in law has them from the start: it is shared between threads.
  const std::array<double, quadrature::product_rule::POINTS>& product_weights() const;

  // B at μ: the powers 0, ½, 1, 3/2 and 2 of the standard laws from one
  // square root, any other by pow.
  double brightness_of_mu(double mu) const;
  // B at r, NaN beyond the limb.
  double brightness(double r) const { return brightness_of_mu(std::sqrt((1.0 - r) * (1.0 + r))); }

  // G(μ) = −B′(r)/r = Σ_k weights[k]·powers[k]·μ^(powers[k] − 2), the slope
  // a derivative of the magnification moves onto the rings, split into the
  // powers below 1 (μ^(p − 2)·dr infinite at the limb, integrably: a rule over
  // the source takes them only against an integrand that vanishes there) and
  // the rest; the powers of the standard laws from one square root.
  struct Slope {
    double below_one, from_one;
  };
  Slope slope_of_mu(double mu) const;
  // ∫₀¹ r³·G(μ) dr over the powers below 1: Σ 2·weights[k]/(powers[k] + 2).
  double limb_slope_integral() const { return limb_slope_integral_; }
  // The brightness on the limb, μ = 0: the weight of μ⁰.
  double limb_brightness() const { return flat_; }
  // f(power, weight) for every power with its weight, equal powers of the
  // standard laws merged.
  template <class F>
  void for_each_term(const F& f) const {
    const std::array<double, 5> standard_weights = {flat_, half_, linear_, three_halves_, quadratic_};
    for (std::size_t k = 0; k < standard_weights.size(); ++k) {
      if (standard_weights[k] != 0.0) f(0.5 * static_cast<double>(k), standard_weights[k]);
    }
    for (std::size_t k = 0; k < other_powers_.size(); ++k) f(other_powers_[k], other_weights_[k]);
  }

  // Whether B is a polynomial in μ of degree 2 at most, and its coefficients.
  bool polynomial() const { return !has_root_ && other_powers_.empty(); }
  double flat() const { return flat_; }
  double linear() const { return linear_; }
  double quadratic() const { return quadratic_; }
  // Whether some power with a nonzero weight is not a whole number: a
  // fractional power of 1 − t at the limb, which only a rule graded toward it
  // takes.
  bool fractional_powers() const { return fractional_powers_; }

 private:
  LimbLaw(std::span<const double> powers, std::span<const double> weights);

  // The weights of μ⁰, μ^½, μ, μ^3/2, μ², and of any other powers.
  double flat_ = 0.0, half_ = 0.0, linear_ = 0.0, three_halves_ = 0.0, quadratic_ = 0.0;
  bool has_root_ = false;
  bool fractional_powers_ = false;
  std::vector<double> other_powers_, other_weights_;
  double normalisation_ = 0.0;
  double limb_slope_integral_ = 0.0;
  FarFieldMoments moments_{};
  mutable std::optional<std::array<double, quadrature::product_rule::POINTS>> product_weights_;
};

}  // namespace mirlaxon::models
