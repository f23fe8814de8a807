// Magnification of a uniformly bright disk by a point lens, in the closed form
// of Witt & Mao (1994, ApJ 430, 505) with the complete elliptic integrals.
#pragma once

#include <cmath>
#include <span>

#include "ellip/kernel_result.hpp"
#include "ellip/legendre.hpp"
#include "models/model_error.hpp"
#include "models/profiles.hpp"

namespace mirlaxon::models {

// Everything that depends only on the source radius ρ (in Einstein radii),
// rounded once so that every sample of a call uses the same values.
class UniformDisk {
 public:
  explicit UniformDisk(double rho)
      : rho_(rho),
        rho2_(rho * rho),
        a0_(2.0 / rho),
        a4_(rho * 4.0),
        p_plus_(rho2_ + 1.0),
        p_minus_(rho2_ + -1.0),
        t2_(rho2_ + rho2_),
        c1_(p_plus_ / rho2_),
        s0_(p_minus_ / p_plus_),
        limb_band_(LIMB_BAND * std::fabs(rho)) {}

  // Half-width of the band around the limb, in source radii: within it the
  // general form loses its digits to cancellation and the limit at u = ρ is
  // taken instead. The band scales with the source, so it covers the same
  // fraction of every disk.
  static constexpr double LIMB_BAND = 1e-05;

  double rho() const { return rho_; }

  // The magnification at separation u, in Einstein radii.
  ellip::KernelResult at(double u) const {
    const double d = u - rho_;
    if (std::fabs(d) < limb_band_) {
      // lim_{u→ρ} A = [2/ρ + (1+ρ²)/ρ² (π/2 + asin((ρ²−1)/(ρ²+1)))] / π
      return (a0_ + c1_ * (std::asin(s0_) + ellip::HALF_PI)) / ellip::PI;
    }
    const double d2 = d * d;
    const double s = rho_ + u;
    const double q = std::sqrt(d2 + 4.0);
    const double n = (a4_ * u) / (s * s);
    // m = 4n/q², formed through a square root and a square: this order fixes
    // the rounding of every published value.
    const double w = std::sqrt(n * 4.0) / q;
    const double m = w * w;
    MIRLAXON_TRY(e, ellip::legendre::ellipe(m));
    MIRLAXON_TRY(k, ellip::legendre::ellipk(m));
    MIRLAXON_TRY(p, ellip::legendre::ellippi(n, m));
    const double b1 = (s * q) / t2_;
    const double b2 = (d * ((u * u - rho2_) * 0.5 + 4.0)) / (rho2_ * q);
    const double b3 = (p_plus_ * (d2 + d2)) / ((rho2_ * s) * q);
    return from_h((b1 * e - b2 * k) + b3 * p);
  }

  // The magnification h/π from h = b1·E − b2·K + b3·Π, rounded as the sum of
  // two separately rounded quotients; shared with the integrals' disk form.
  static double from_h(double h) { return (h + ellip::PI) / TWO_PI + (h - ellip::PI) / TWO_PI; }

 private:
  static constexpr double TWO_PI = 6.283185307179586;

  double rho_;
  double rho2_;
  double a0_;
  double a4_;
  double p_plus_;
  double p_minus_;
  double t2_;
  double c1_;
  double s0_;
  double limb_band_;
};

// The magnification of uniform disks of many radii about the source centre,
// all at one separation u (Einstein radii), as the disk-family integrals ask
// for them: F(y) for a disk of radius R = ρ·y. The closed form takes
// b1·E − b2·K and b3·Π as two Bulirsch integrals cel(kc, ·, ·, ·) with the
// exact complements 1 − n = (d/s)² and 1 − m = (d/s)²·(s² + 4)/(d² + 4)
// (d = u − R, s = u + R): two means instead of three Legendre kernels, and no
// cancellation next to the limb. It agrees with UniformDisk::at to a few ulps
// of the larger terms (the tests state the bound), and hands the limb band
// and inputs outside R > 0, u ≥ 0 to UniformDisk::at. A failure is NaN; a
// negative radius is an empty disk, 0.
class DisksAtSeparation {
 public:
  DisksAtSeparation(double u, double rho)
      : u_(u), rho_(rho), regular_separation_(u >= 0.0 && std::isfinite(u)) {}
  double at(double y) const;
  // out[i] = at(y[i]) for every i, bit for bit, with the means run side by
  // side.
  void at_batch(std::span<const double> y, std::span<double> out) const;

 private:
  struct ClosedForm {
    double kc, p, a1, b1, a3;  // cel(kc, 1, a1, b1) + cel(kc, p, a3, a3) = h
  };
  bool closed_form(double y, ClosedForm& form) const;
  double fallback(double y) const;

  double u_, rho_;
  bool regular_separation_;  // u ≥ 0 and finite
};

// Uniform-disk magnification at each separation l (in source radii), for a
// source of radius rstar and an Einstein radius re (only rstar/re matters).
// Stops at the first kernel failure and returns its text.
ModelResult<Samples> witt_mao_magnification(std::span<const double> l, double re, double rstar);

// The uniform-disk family weighted by a brightness profile: for each
// separation, ∫₀¹ 2πr·(F(r) + (r/2)·F′(r))·B(r) dr / normalisation, where F(y)
// is the magnification of a uniform disk of radius y source radii about the
// source centre, so that F + (r/2)F′ is the magnification of the ring at r.
// F′ is the central difference. Fails only when witt_mao_magnification of the
// whole vector does; a kernel failure at one node drops that node.
ModelResult<Samples> _integrated_witt_mao_magnification(std::span<const double> l, double re,
                                                        double rstar, BrightnessProfile profile,
                                                        double normalisation,
                                                        std::span<const double> profile_edges = {});

// The same for the built-in linear limb-darkening profile.
ModelResult<Samples> integrated_witt_mao_magnification(std::span<const double> l, double re,
                                                       double rstar);

// The same for a tabulated profile (bl, bf), interpolated linearly and
// normalised at run time. Fails with an assertion when bl and bf differ in
// length, before anything else.
ModelResult<Samples> integrated_flux_map_witt_mao_magnification(std::span<const double> l, double re,
                                                                double rstar,
                                                                std::span<const double> bl,
                                                                std::span<const double> bf);

}  // namespace mirlaxon::models
