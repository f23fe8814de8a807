// The ring family: magnification of a thin, uniformly bright ring by a point
// lens (Heyrovský & Loeb 1997, ApJ 490, 38), and of whole sources built from
// such rings, by integration over a brightness profile or by a weighted sum.
#pragma once

#include <span>

#include "ellip/kernel_result.hpp"
#include "models/model_error.hpp"
#include "models/profiles.hpp"

namespace mirlaxon::models {

// Half-width of the band |l − r| < 1e-6 (source radii) where the first-order
// near-ring series is used instead of the closed form.
inline constexpr double RING_BAND = 1e-6;

// The series also needs |d| < 1e-3·l: its error grows as |d|/l, and at
// l = 0 (the lens at the centre of the ring) it is not defined at all.
inline constexpr double SERIES_RELATIVE_LIMIT = 1e-3;

// Within |l − r| < s/8 (s = l + r) the closed form takes its elliptic
// integrals from the complementary parameters 1 − n and 1 − m, formed
// exactly; farther out forming them by subtraction costs under 64 ulps of
// 1 − n and nothing visible in the result.
inline constexpr double NEAR_RING = 0.125;

// The point-lens magnification averaged over a ring of radius r centred at
// distance l from the lens (both in source radii), for the Einstein radius re
// and source radius rstar (only re/rstar matters). A failure carries the text
// of the elliptic integral that rejected its arguments.
ellip::KernelResult heyrovsky_magnification(double l, double r, double re, double rstar);

// The ring magnification at one separation for the many radii an integral
// asks for. The per-separation constants are formed once, and the closed form
// takes 2η²K + d²Π as one Bulirsch integral cel(kc, 1 − n, ·, ·), with
// kc² = 1 − m = d²(s² + 4η²)/(s²q) and 1 − n = (d/s)², both exact products:
// one mean instead of two Carlson reductions, and no cancellation anywhere.
// It agrees with heyrovsky_magnification to a few ulps (the tests state the
// bound) and falls back to it in the near-ring band and for inputs outside
// l ≥ 0, r > 0. A failure is NaN, as the integrals want it.
class RingsAtSeparation {
 public:
  RingsAtSeparation(double l, double re, double rstar);
  double at(double r) const;
  // out[i] = at(r[i]) for every i, bit for bit, with the means run side by
  // side.
  void at_batch(std::span<const double> r, std::span<double> out) const;

 private:
  // The closed form's arguments at one radius, or false where at() hands the
  // radius to heyrovsky_magnification.
  struct ClosedForm {
    double scale, kc, p, a, b;
  };
  bool closed_form(double r, ClosedForm& form) const;
  double fallback(double r) const;

  double l_, re_, rstar_;
  double four_eta_squared_;  // (η·η)·4
  bool regular_separation_;  // l ≥ 0, finite, and a finite η > 0
  double two_eta_squared_;   // η·η + η·η
};

// For each separation, ∫₀¹ 2πr·A(r)·B(r) dr / normalisation, A(r) the ring
// magnification at radius r. A failed ring evaluation drops its node. The
// integral is split at `profile_edges`, where the profile may jump.
Samples _integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar,
                                            BrightnessProfile profile, double normalisation,
    std::span<const double> profile_edges = {});

// The same for the built-in linear limb-darkening profile.
Samples integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar);

// The same for a tabulated profile (bl, bf), interpolated linearly and
// normalised at run time. Fails only with an assertion when bl and bf differ
// in length, before anything else.
ModelResult<Samples> integrated_flux_map_heyrovsky_magnification(std::span<const double> l,
                                                                 double re, double rstar,
                                                                 std::span<const double> bl,
                                                                 std::span<const double> bf);

// For each separation, Σ_j A(l, bl[j])·bf[j]: the source as a set of weighted
// rings. The weights are used as given. Fails with an assertion when bl and bf
// differ in length (before anything else), or with the first ring failure.
ModelResult<Samples> discrete_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                               double rstar,
                                                               std::span<const double> bl,
                                                               std::span<const double> bf);

}  // namespace mirlaxon::models
