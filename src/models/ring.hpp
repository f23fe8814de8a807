// The ring family: magnification of a thin, uniformly bright ring by a point
// lens (Heyrovský & Loeb 1997, ApJ 490, 38), and of whole sources built from
// such rings, by integration over a brightness profile or by a weighted sum.
#pragma once

#include <span>

#include "ellip/kernel_result.hpp"
#include "models/model_error.hpp"
#include "models/samples.hpp"
#include "models/profiles.hpp"

namespace mirlaxon::models {

// Half-width of the band |l − r| < 1e-6 (source radii) where the designed
// evaluation for inputs outside l, r ≥ 0 uses the first-order near-ring
// series instead of the closed form.
inline constexpr double RING_BAND = 1e-6;

// That series also needs |d| < 1e-3·l: its error grows as |d|/l, and at
// l = 0 (the lens at the centre of the ring) it is not defined at all.
inline constexpr double SERIES_RELATIVE_LIMIT = 1e-3;

// Within |l − r| < s/8 (s = l + r) the designed closed form takes its
// elliptic integrals from the complementary parameters 1 − n and 1 − m.
inline constexpr double NEAR_RING = 0.125;

// The point-lens magnification averaged over a ring of radius r centred at
// distance l from the lens (both in source radii), for the Einstein radius re
// and source radius rstar (only re/rstar matters). For l, r ≥ 0 and a finite
// η = re/rstar > 0 it cannot fail: with one of l, r ten times the other the
// far-field series, elsewhere the closed form of RingsAtSeparation; for other inputs
// the designed evaluation runs, and a failure carries the text of the
// elliptic integral that rejected its arguments.
ellip::KernelResult heyrovsky_magnification(double l, double r, double re, double rstar);

// The ring magnification at one separation for the many radii an integral
// asks for, with the per-separation constants formed once. For l, r ≥ 0 and a
// finite η > 0:
//  - a ring through the lens (l = r) is +∞;
//  - elsewhere the closed form (4/(2π s √q))·(2η²K + d²Π) as one Bulirsch
//    integral cel(kc, 1 − n, ·, ·), with kc² = 1 − m = d²(s² + 4η²)/(s²q)
//    and √(1 − n) = |d|/s formed as exact products: no cancellation however
//    close the ring passes to the lens (the first-order series there was
//    off by up to 4·|l − r|), down to |l − r| = 1e-150·s, below which that
//    series is exact to rounding and takes over.
// Other inputs go to the designed evaluation, and its failures are NaN, as
// the integrals want them.
class RingsAtSeparation {
 public:
  RingsAtSeparation(double l, double re, double rstar);
  // Whether r, with this separation, is an input of the regular evaluation.
  bool regular(double r) const { return regular_separation_ && r >= 0.0 && std::isfinite(r); }
  double eta() const { return eta_; }
  double at(double r) const;
  // out[i] = at(r[i]) for every i, bit for bit, with the means run side by
  // side.
  void at_batch(std::span<const double> r, std::span<double> out) const;
  // The same with d[i] = l − r[i] given, formed by the caller from an exact
  // offset to the ring through the lens: a radius that rounds onto the
  // separation is then still a finite distance from it.
  void at_batch(std::span<const double> r, std::span<const double> d, std::span<double> out) const;

 private:
  // The closed form's arguments at one radius: the Bulirsch mean's start
  // (kc, √p, a, b/√p) and s·√q, which with the mean's π/2 and the 4/(2π)
  // of the average leaves A = numerator/(denominator·s·√q).
  struct ClosedForm {
    double kc, root_p, a, b, s_root_q;
  };
  enum class Regime { irregular, on_ring, near_ring_series, closed_form };
  Regime regime(double r, double d) const;
  ClosedForm closed_form(double r, double d) const;
  // The ring of radius r, d = l − r, evaluated the way its regime takes.
  double in_regime(double r, double d, Regime regime) const;

  double l_, re_, rstar_;
  double eta_;
  double four_eta_squared_;  // (η·η)·4
  double two_eta_squared_;   // η·η + η·η
  bool regular_separation_;  // l ≥ 0, finite, and a finite η > 0
};

// For each separation, ∫₀¹ 2πr·A(r)·B(r) dr / normalisation, A(r) the ring
// magnification at radius r; far from the source (l ≥ 10) the far-field series
// with the profile's moments, which `moments` gives on first need. A failed
// ring evaluation drops its node. The integral is split at the profile's
// `breaks`. NaN for a NaN or negative separation, and for ρ = rstar/re zero
// or not finite: there is no magnification to give.
Samples _integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar,
                                            BrightnessProfile profile, double normalisation,
                                            const MomentsOf& moments,
                                            std::span<const double> breaks = {});

class SourceProfile;

// For each separation, ∫₀¹ 2πr·A(r)·B(r) dr / N by the ring family's fixed
// rule (source_rule.hpp), N the profile's exact normalisation, and the
// far-field series from l = 10 on. NaN as above. ρ must not be negative.
Samples ring_source_averages(std::span<const double> l, double re, double rstar,
                             const SourceProfile& profile);

// The built-in profile as the ring family's rule takes it, formed once.
const SourceProfile& linear_limb_source();

// The same for the built-in linear limb-darkening profile (by the fixed rule;
// for a negative ρ = rstar/re by the tanh–sinh rule, as designed).
Samples integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar);

// The same for a tabulated profile (bl, bf), interpolated linearly and
// normalised at run time. Fails only with an assertion when bl and bf differ
// in length, before anything else.
ModelResult<Samples> integrated_flux_map_heyrovsky_magnification(std::span<const double> l,
                                                                 double re, double rstar,
                                                                 std::span<const double> bl,
                                                                 std::span<const double> bf);

// The ring family for a limb-darkening law B(r) = Σ_k weights[k]·μ^powers[k],
// μ = √(1 − r²): linear (powers 0, 1), quadratic (0, 1, 2), square-root
// (0, ½, 1), power-2 (0, α), four-parameter (0, ½, 1, 3/2, 2) and any other
// sum of powers. Normalised exactly by N = Σ_k weights[k]·2π/(powers[k] + 2).
// Fails with a value error when powers and weights differ in length, when a
// power is negative or not finite, or when a weight is not finite; an empty
// law or N = 0 gives NaN for every separation.
ModelResult<Samples> integrated_limb_law_heyrovsky_magnification(std::span<const double> l, double re,
                                                                 double rstar,
                                                                 std::span<const double> powers,
                                                                 std::span<const double> weights);

// For each separation, Σ_j A(l, bl[j])·bf[j]: the source as a set of weighted
// rings. The weights are used as given. Fails with an assertion when bl and bf
// differ in length (before anything else), or with the first ring failure.
ModelResult<Samples> discrete_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                               double rstar,
                                                               std::span<const double> bl,
                                                               std::span<const double> bf);

}  // namespace mirlaxon::models
