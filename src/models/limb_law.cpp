#include "models/limb_law.hpp"

#include "constants.hpp"
#include "quadrature/gauss_legendre.hpp"

namespace mirlaxon::models {

namespace {
constexpr const char* FINITE_POWER = "must be a finite number >= 0";
constexpr const char* FINITE_WEIGHT = "must be a finite number";
}  // namespace

ModelResult<LimbLaw> LimbLaw::from(std::span<const double> powers, std::span<const double> weights) {
  if (powers.size() != weights.size()) {
    return std::unexpected(ModelError::lengths_differ("powers", "weights", powers.size(), weights.size()));
  }
  for (std::size_t k = 0; k < powers.size(); ++k) {
    if (!(std::isfinite(powers[k]) && powers[k] >= 0.0)) {
      return std::unexpected(ModelError::bad_item("powers", k, powers[k], FINITE_POWER));
    }
  }
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (!std::isfinite(weights[k])) return std::unexpected(ModelError::bad_item("weights", k, weights[k], FINITE_WEIGHT));
  }
  return LimbLaw(powers, weights);
}

const LimbLaw& LimbLaw::built_in() {
  static constexpr std::array<double, 2> POWERS = {0.0, 1.0};
  static constexpr std::array<double, 2> WEIGHTS = {1.0 - BUILT_IN_LIMB_COEFFICIENT, BUILT_IN_LIMB_COEFFICIENT};
  static const LimbLaw law = [] {
    LimbLaw built_in_law(POWERS, WEIGHTS);
    built_in_law.product_weights();
    return built_in_law;
  }();
  return law;
}

double LimbLaw::brightness_of_mu(double mu) const {
  double sum = flat_ + mu * (linear_ + mu * quadratic_);
  if (has_root_) {
    const double root = std::sqrt(mu);
    sum = sum + root * (half_ + mu * three_halves_);
  }
  for (std::size_t k = 0; k < other_powers_.size(); ++k) {
    sum = sum + other_weights_[k] * std::pow(mu, other_powers_[k]);
  }
  return sum;
}

LimbLaw::Slope LimbLaw::slope_of_mu(double mu) const {
  Slope slope{0.0, quadratic_ + quadratic_};
  if (linear_ != 0.0) slope.from_one = slope.from_one + linear_ / mu;
  if (has_root_) {
    const double root = std::sqrt(mu);
    slope.below_one = (0.5 * half_) / (mu * root);
    slope.from_one = slope.from_one + (1.5 * three_halves_) * root / mu;
  }
  for (std::size_t k = 0; k < other_powers_.size(); ++k) {
    const double term = (other_weights_[k] * other_powers_[k]) * std::pow(mu, other_powers_[k] - 2.0);
    if (other_powers_[k] < 1.0) {
      slope.below_one = slope.below_one + term;
    } else {
      slope.from_one = slope.from_one + term;
    }
  }
  return slope;
}

LimbLaw::LimbLaw(std::span<const double> powers, std::span<const double> weights) {
  for (std::size_t term = 0; term < powers.size(); ++term) {
    const double p = powers[term], w = weights[term];
    if (p == 0.0) {
      flat_ = flat_ + w;
    } else if (p == 0.5) {
      half_ = half_ + w;
      has_root_ = true;
    } else if (p == 1.0) {
      linear_ = linear_ + w;
    } else if (p == 1.5) {
      three_halves_ = three_halves_ + w;
      has_root_ = true;
    } else if (p == 2.0) {
      quadratic_ = quadratic_ + w;
    } else {
      other_powers_.push_back(p);
      other_weights_.push_back(w);
    }
    fractional_powers_ = fractional_powers_ || (w != 0.0 && p != std::floor(p));
  }
  std::array<double, FAR_FIELD_TERMS + 1> raw{};
  for (std::size_t term = 0; term < powers.size(); ++term) {
    const double p = powers[term], w = weights[term];
    normalisation_ = normalisation_ + w * (2.0 * PI / (p + 2.0));
    if (p > 0.0 && p < 1.0) limb_slope_integral_ = limb_slope_integral_ + (w + w) / (p + 2.0);
    const auto power_moments = limb_power_moments(p);
    for (int k = 0; k <= FAR_FIELD_TERMS; ++k) raw[k] = raw[k] + w * power_moments[k];
  }
  moments_ = normalised_moments(raw);
}

const std::array<double, quadrature::product_rule::POINTS>& LimbLaw::product_weights() const {
  if (product_weights_) return *product_weights_;
  // M_k = ∫₀¹ P̃_k(r)·B(r) dr with r = 1 − u⁴: dr = −4u³·du and
  // μ = √(1 − r²) = u²·√(2 − u⁴), so μ^p·dr = 4u^(2p+3)·(2 − u⁴)^(p/2)·du,
  // a polynomial times a smooth factor when 2p is a whole number (the
  // standard laws), and for any other power at least three times
  // differentiable at u = 0, which the largest rule still takes closely.
  namespace gl = quadrature::gauss_legendre;
  quadrature::product_rule::LegendreMoments legendre;
  for (const gl::Node& node : gl::rule(gl::MAX_POINTS)) {
    const double u = node.abscissa;
    const double u2 = u * u, u4 = u2 * u2;
    const double mu = std::sqrt(u4 * (2.0 - u4));  // √((1 − r)(1 + r))
    legendre.add(1.0 - u4, node.weight * (4.0 * (u2 * u)) * brightness_of_mu(mu));
  }
  product_weights_ = quadrature::product_rule::weights(legendre);
  return *product_weights_;
}

}  // namespace mirlaxon::models
