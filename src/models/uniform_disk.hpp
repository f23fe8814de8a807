// Magnification of a uniformly bright disk by a point lens, in the closed form
// of Witt & Mao (1994, ApJ 430, 505) with the complete elliptic integrals.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#include "ellip/bulirsch.hpp"
#include "ellip/kernel_result.hpp"
#include "ellip/legendre.hpp"
#include "models/model_error.hpp"
#include "models/samples.hpp"
#include "models/far_field.hpp"
#include "models/profiles.hpp"
#include "numdiff/central_difference.hpp"

namespace mirlaxon::models {

// The magnification of a uniformly bright disk of radius R at distance u from
// the lens (both in Einstein radii), for R > 0 and u ≥ 0, finite:
//  - far out (u ≥ 10·R) the far-field series, whose excess over 1 keeps its
//    relative precision (the closed form cancels terms of order (u/R)²);
//  - on the limb (u = R) the limit of the closed form, written
//    [2/R + (1 + R²)/R²·2·atan(R)]/π: the textbook asin((R² − 1)/(R² + 1)) +
//    π/2 cancels to nothing for small disks (12.7 % low at R = 1e-8);
//  - elsewhere the closed form as two Bulirsch integrals with the exact
//    complements 1 − n = (d/s)² and 1 − m = (d/s)²·(s² + 4)/(d² + 4)
//    (d = u − R, s = u + R), which keeps its precision next to the limb,
//    where forming 1 − m by subtraction loses (R/d)²·ε.
// Never below 1 far out; a pure function, it cannot fail.
double disk_magnification(double u, double radius);

// The designed evaluation for inputs outside R > 0, u ≥ 0 (negative or
// non-finite values), with everything that depends only on ρ rounded once:
// the closed form with the three Legendre integrals, and the limb value in a
// band of half-width 1e-5·|ρ|. A kernel's failure is its text.
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

  // Half-width of the band around the limb, relative to the radius, where
  // the Legendre form gives way to the limb value.
  static constexpr double LIMB_BAND = 1e-05;

  double rho() const { return rho_; }

  // The magnification at separation u, in Einstein radii.
  ellip::KernelResult at(double u) const {
    if (rho_ > 0.0 && std::isfinite(rho_) && u >= 0.0 && std::isfinite(u)) {
      return disk_magnification(u, rho_);
    }
    const double d = u - rho_;
    if (std::fabs(d) < limb_band_) {
      return (a0_ + c1_ * (std::asin(s0_) + HALF_PI)) / PI;
    }
    const double d2 = d * d;
    const double s = rho_ + u;
    const double q = std::sqrt(d2 + 4.0);
    const double n = (a4_ * u) / (s * s);
    // m = 4n/q², formed through a square root and a square.
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
  // two separately rounded quotients.
  static double from_h(double h) { return (h + PI) / TWO_PI + (h - PI) / TWO_PI; }

 private:
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
// for them: F(y) for a disk of radius R = ρ·y, by disk_magnification (its
// Bulirsch integrals run side by side in the batch). Inputs outside R > 0,
// u ≥ 0 go to UniformDisk::at; a failure there is NaN, and a disk of
// negative or zero radius is empty, 0.
class DisksAtSeparation {
 public:
  DisksAtSeparation(double u, double rho)
      : u_(u), rho_(rho), regular_separation_(u >= 0.0 && std::isfinite(u)) {}
  double at(double y) const;
  // out[i] = at(y[i]) for every i, bit for bit, with the means run side by
  // side.
  void at_batch(std::span<const double> y, std::span<double> out) const;

 private:
  double fallback(double y) const;
  // The closed form's inputs: u ≥ 0 and R > 0, both finite.
  bool regular(double radius) const {
    return regular_separation_ && radius > 0.0 && std::isfinite(radius);
  }

  double u_, rho_;
  bool regular_separation_;  // u ≥ 0 and finite
};

// 2πr·(F(r) + (r/2)·F′(r))·B(r) = π·(r²F)′(r)·B(r), with the derivative of
// G(y) = y²·F(y) taken as the central difference (G(r + h) − G(r − h))/2h.
// Differencing r²F rather than F keeps the difference exact to O(h²) down to
// r = 0: with the lens at the centre F grows as 1/r, which a step of
// h ≈ 6e-6 cannot follow below r ≈ h (it cost 1e-5 of the result), while
// r²F is smooth.
//
// The stencil reaches past both ends of the source, and there G is continued
// by point reflection: G(−y) = −G(y) and G(1 + y) = 2G(1) − G(1 − y). The
// differences then telescope to the exact end values, ∫₀¹ D dr = G(1) − G(0)
// for any G, instead of to the averages of G over the stencil, which differ
// from them by h²G″/6: with the lens just outside the limb, at 1 + δ, G″ is of
// order 1/δ and that cost 7e-7 of the result at δ = 1e-6.
//
// One point at a time or a quadrature level at once: the batch gathers the
// stencil's disks for every point.
struct DiskIntegrand {
  DiskIntegrand(const DisksAtSeparation& disks, BrightnessProfile profile)
      : disks(disks), profile(profile), g_at_limb(disks.at(1.0)) {}

  DisksAtSeparation disks;
  BrightnessProfile profile;
  double g_at_limb;  // G(1) = F(1)

  // The radius inside [0, 1] whose disk gives G(y).
  static double folded(double y) { return y < 0.0 ? -y : (y > 1.0 ? 2.0 - y : y); }

  // G(y) from F at folded(y).
  double g_from_disk(double y, double disk) const {
    const double radius = folded(y);
    const double g = radius > 0.0 ? (radius * radius) * disk : 0.0;
    return y < 0.0 ? -g : (y > 1.0 ? (g_at_limb + g_at_limb) - g : g);
  }

  static double combine(double r, double h, double forward, double backward, double b) {
    if (r < 0.0) return 0.0;
    return (PI * ((forward - backward) / (h + h))) * b;
  }

  double operator()(double r) const {
    const double h = numdiff::central_difference_step(r);
    const double forward = g_from_disk(r + h, disks.at(folded(r + h)));
    const double backward = g_from_disk(r - h, disks.at(folded(r - h)));
    return combine(r, h, forward, backward, profile(r));
  }

  void evaluate_batch(std::span<const double> r, std::span<double> values) const {
    constexpr std::size_t CHUNK = ellip::bulirsch::BATCH_CHUNK;
    std::array<double, 2 * CHUNK> y, f;
    std::array<double, CHUNK> step;
    for (std::size_t start = 0; start < r.size(); start += CHUNK) {
      const std::size_t count = std::min(CHUNK, r.size() - start);
      for (std::size_t i = 0; i < count; ++i) {
        const double x = r[start + i];
        const double h = numdiff::central_difference_step(x);
        step[i] = h;
        y[2 * i] = folded(x + h);
        y[2 * i + 1] = folded(x - h);
      }
      disks.at_batch(std::span(y).first(2 * count), std::span(f).first(2 * count));
      for (std::size_t i = 0; i < count; ++i) {
        const double x = r[start + i];
        const double h = step[i];
        values[start + i] = combine(x, h, g_from_disk(x + h, f[2 * i]),
                                    g_from_disk(x - h, f[2 * i + 1]), profile(x));
      }
    }
  }
};

// Uniform-disk magnification at each separation l (in source radii), for a
// source of radius rstar and an Einstein radius re (only rstar/re matters).
// Stops at the first kernel failure and returns its text.
ModelResult<Samples> witt_mao_magnification(std::span<const double> l, double re, double rstar);

// The uniform-disk family weighted by a brightness profile: for each
// separation, ∫₀¹ 2πr·(F(r) + (r/2)·F′(r))·B(r) dr / normalisation, where F(y)
// is the magnification of a uniform disk of radius y source radii about the
// source centre, so that F + (r/2)F′ is the magnification of the ring at r.
// F′ by a central difference (of r²F, see the integrand). Far from the source
// (l ≥ 10) the far-field series with the profile's moments, which `moments`
// gives on first need. The integral is split at the profile's `breaks`.
// Fails only when witt_mao_magnification of the whole vector does; a kernel
// failure at one node drops that node.
ModelResult<Samples> _integrated_witt_mao_magnification(std::span<const double> l, double re,
                                                        double rstar, BrightnessProfile profile,
                                                        double normalisation,
                                                        const MomentsOf& moments,
                                                        std::span<const double> breaks = {});

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
