// Magnification of a uniformly bright disk by a point lens, in the closed form
// of Witt & Mao (1994, ApJ 430, 505).
#pragma once

#include <cmath>
#include <span>

namespace mirlaxon::models {

// The magnification of a uniformly bright disk of radius R at distance u from
// the lens (both in Einstein radii), for R > 0 and u ≥ 0, finite:
//  - far out (u ≥ FAR_FIELD_DISTANCE·R) the far-field series, whose excess
//    over 1 keeps its relative precision (the closed form cancels terms of
//    order (u/R)²);
//  - on the limb (|u − R| < CLOSED_FORM_LIMIT·(u + R)) the limit of the
//    closed form, written [2/R + (1 + R²)/R²·2·atan(R)]/π: the textbook
//    asin((R² − 1)/(R² + 1)) + π/2 cancels to nothing for small disks
//    (12.7 % low at R = 1e-8);
//  - elsewhere the closed form as two Bulirsch integrals with the exact
//    complements 1 − n = (d/s)² and 1 − m = (d/s)²·(s² + 4)/(d² + 4)
//    (d = u − R, s = u + R), which keeps its precision next to the limb,
//    where forming 1 − m by subtraction loses (R/d)²·ε.
// Never below 1 far out; a pure function, it cannot fail.
double disk_magnification(double u, double radius);

// The magnification F(y) of uniform disks of radius y source radii (ρ·y
// Einstein radii) about the source centre, all seen from one separation u
// (Einstein radii), as the disk family's integrals ask for them: by
// disk_magnification, with its Bulirsch integrals side by side in a batch.
// A disk of radius y ≤ 0 is empty, 0; other inputs outside R > 0, u ≥ 0 take
// the Legendre form, and its failures are NaN.
class DisksAtSeparation {
 public:
  DisksAtSeparation(double u, double rho) : u_(u), rho_(rho), regular_separation_(u >= 0.0 && std::isfinite(u)) {}
  double at(double y) const;
  // out[i] = at(y[i]) for every i, bit for bit.
  void at_batch(std::span<const double> y, std::span<double> out) const;

 private:
  double outside_domain(double y) const;
  // The closed form's inputs: u ≥ 0 and R > 0, both finite.
  bool regular(double radius) const { return regular_separation_ && radius > 0.0 && std::isfinite(radius); }

  double u_, rho_;
  bool regular_separation_;  // u ≥ 0 and finite
};

}  // namespace mirlaxon::models
