// Brightness profiles of the source: relative surface brightness as a
// function of the radius r in source radii (the quadrature asks for 0 < r < 1).
#pragma once

#include "constants.hpp"

#include <cmath>

#include "models/far_field.hpp"

namespace mirlaxon::models {

// A borrowed, type-erased callable r ↦ brightness: a pointer to the caller's
// profile object and its call operation. The integrated cores call it once per
// integrand evaluation and never copy or destroy what it refers to.
class BrightnessProfile {
 public:
  template <class Profile>
  BrightnessProfile(const Profile& profile)  // NOLINT(google-explicit-constructor)
      : data_(&profile), call_(&call_profile<Profile>) {}
  template <class Profile>
  BrightnessProfile(const Profile&& profile) = delete;  // would dangle

  double operator()(double r) const { return call_(data_, r); }

 private:
  template <class Profile>
  static double call_profile(const void* data, double r) {
    return (*static_cast<const Profile*>(data))(r);
  }

  const void* data_;
  double (*call_)(const void*, double);
};

// Linear limb darkening with coefficient 0.6, B(r) = 1 − 0.6·(1 − √(1 − r²)),
// evaluated as written: B(0) = 1, B(1) = 0.4, NaN beyond the limb.
struct LinearLimbProfile {
  double operator()(double r) const { return (1.0 - std::sqrt(1.0 - r * r)) * -0.6 + 1.0; }
};
inline constexpr LinearLimbProfile linear_limb_profile{};

// ∫₀¹ 2πr B(r) dr as the quadrature computes it with target 1e-16; the
// closed form 4π/5 = 2.5132741228718345 differs in the fourteenth digit, and
// this value is the one every limb-darkened result is divided by.
inline constexpr double LINEAR_LIMB_NORMALISATION = 2.5132741228717936;


// A borrowed callable that gives a profile's far-field weights, asked only
// when some separation is far enough to need them (a flux map's cost a pass
// over its samples). It lives no longer than the call it is passed to.
class MomentsOf {
 public:
  template <class Source>
  MomentsOf(const Source& source)  // NOLINT(google-explicit-constructor)
      : data_(&source), call_([](const void* data) { return (*static_cast<const Source*>(data))(); }) {}

  FarFieldMoments operator()() const { return call_(data_); }

 private:
  const void* data_;
  FarFieldMoments (*call_)(const void*);
};

// The far-field value 1 + excess of a source of radius ρ (Einstein radii)
// with the weights `moments` gives, at a separation l ≥ 10 source radii;
// the weights are asked for once, at the first separation that needs them.
class FarFieldSource {
 public:
  FarFieldSource(double rho, const MomentsOf& moments) : rho_(rho), moments_(moments) {}

  double at(double separation) {
    if (!have_weights_) {
      weights_ = moments_();
      have_weights_ = true;
    }
    const double ratio = 1.0 / separation;
    return 1.0 + far_field_excess(rho_ * separation, ratio * ratio, weights_);
  }

 private:
  double rho_;
  const MomentsOf& moments_;
  FarFieldMoments weights_{};
  bool have_weights_ = false;
};

// The far-field weights of the built-in profile B = 0.4 + 0.6·μ, μ = √(1 − r²),
// from the exact moments of μ⁰ and μ¹.
inline FarFieldMoments linear_limb_moments() {
  const auto flat = limb_power_moments(0.0);
  const auto limb = limb_power_moments(1.0);
  std::array<double, FAR_FIELD_TERMS + 1> raw{};
  for (int k = 0; k <= FAR_FIELD_TERMS; ++k) raw[k] = 0.4 * flat[k] + 0.6 * limb[k];
  return normalised_moments(raw);
}

}  // namespace mirlaxon::models
