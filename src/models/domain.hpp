// What a call's inputs are, decided once for both families: the source
// radius ρ = rstar/re in Einstein radii, and the regime of each separation.
// What each family then does with an input outside the physical domain is the
// family's own (the closed forms keep the reference evaluation of
// reference_forms.hpp; the ring family's integrals give NaN or, without
// lensing, 1).
#pragma once

#include <cmath>

#include "models/thresholds.hpp"

namespace mirlaxon::models {

enum class Radius {
  regular,      // 0 < ρ < ∞
  zero,         // a point source (rstar = 0, or re infinite)
  negative,     // −∞ < ρ < 0: the same average as |ρ|, which depends on ρ² alone
  infinite,     // re = 0: no lensing at all
  not_a_number  // 0/0, or a NaN argument
};

inline Radius classify_radius(double rho) {
  if (std::isnan(rho)) return Radius::not_a_number;
  if (std::isinf(rho)) return Radius::infinite;
  if (rho > 0.0) return Radius::regular;
  if (rho < 0.0) return Radius::negative;
  return Radius::zero;
}

// Where a separation l (source radii, the source of unit radius) stands.
enum class Regime {
  outside_domain,  // NaN or negative: no separation
  near_source,     // l < PRODUCT_RULE_FROM: the source rule follows the ring through the lens
  product_rule,    // PRODUCT_RULE_FROM ≤ l < FAR_FIELD_DISTANCE
  far_field,       // l ≥ FAR_FIELD_DISTANCE, +∞ included
};

inline Regime classify_separation(double l) {
  if (!(l >= 0.0)) return Regime::outside_domain;
  if (l >= FAR_FIELD_DISTANCE) return Regime::far_field;
  if (l >= PRODUCT_RULE_FROM) return Regime::product_rule;
  return Regime::near_source;
}

// The ring family's view of a call's radii: |ρ| and |η| (its averages
// depend on ρ² alone), the sign of ρ (u = l·ρ changes sign with it, and so do
// derivatives in u and ρ), and the kind of |ρ|.
struct RingFamilySource {
  double rho, eta, sign;
  Radius radius;
};

inline RingFamilySource ring_family_source(double re, double rstar) {
  const double signed_rho = rstar / re;
  const double rho = std::fabs(signed_rho);
  return {rho, std::fabs(re / rstar), signed_rho < 0.0 ? -1.0 : 1.0, classify_radius(rho)};
}

// What the ring family's average is at a separation: none (a dark profile,
// ρ zero or NaN, a NaN or negative separation: NaN), no lensing (re = 0:
// exactly 1), the far-field series, or the rule over the source.
enum class RingFamilyAverage { none, unlensed, far_field, over_source };

inline RingFamilyAverage ring_family_average(bool dark, Radius radius, Regime regime) {
  if (dark || regime == Regime::outside_domain || (radius != Radius::regular && radius != Radius::infinite)) {
    return RingFamilyAverage::none;
  }
  if (radius == Radius::infinite) return RingFamilyAverage::unlensed;
  if (regime == Regime::far_field) return RingFamilyAverage::far_field;
  return RingFamilyAverage::over_source;
}

// Whether a circle of radius R (R ≥ 0) at distance u from the lens is
// averaged by the far-field series: the larger of the two FAR_FIELD_DISTANCE
// times the smaller or more, and not both zero.
inline bool in_far_field(double distance, double radius) {
  return distance >= FAR_FIELD_DISTANCE * radius && distance > 0.0;
}

}  // namespace mirlaxon::models
