// A thin, uniformly bright ring lensed by a point lens (Heyrovský & Loeb
// 1997, ApJ 490, 38): the point-lens magnification averaged over the ring's
// circumference, at one separation for the many radii a source integral asks
// for.
#pragma once

#include <cmath>
#include <span>

#include "ellip/bulirsch.hpp"
#include "ellip/lanes.hpp"
#include "models/thresholds.hpp"

namespace mirlaxon::models {

// The rings of radius r about a centre at separation l from the lens (both in
// source radii) for η = re/rstar, with the per-separation constants formed
// once. For l, r ≥ 0 and 4η² finite and positive:
//  - a ring through the lens (l = r) is +∞;
//  - elsewhere the closed form (4/(2π s √q))·(2η²K + d²Π) as one Bulirsch
//    integral cel(kc, 1 − n, ·, ·), with kc² = 1 − m = d²(s² + 4η²)/(s²q)
//    and √(1 − n) = |d|/s formed as exact products: no cancellation however
//    close the ring passes to the lens (the first-order series there was
//    off by up to 4·|l − r|), down to |l − r| = CLOSED_FORM_LIMIT·s, below
//    which that series is exact to rounding and takes over.
// Other inputs take the reference formula (reference_forms.hpp), and its
// failures are NaN, as the integrals want them.
class RingsAtSeparation {
 public:
  RingsAtSeparation(double l, double eta);
  // Whether r, with this separation, is an input of the regular evaluation.
  bool regular(double r) const { return regular_separation_ && r >= 0.0 && std::isfinite(r); }
  double at(double r) const;
  // out[i] = at(r[i]) for every i, bit for bit.
  void at_batch(std::span<const double> r, std::span<double> out) const;
  // The same with d[i] = l − r[i] given, formed by the caller from an exact
  // offset to the ring through the lens: a radius that rounds onto the
  // separation is then still a finite distance from it.
  void at_batch(std::span<const double> r, std::span<const double> d, std::span<double> out) const;

  // The ring's first angular moment C(l, r) = (1/2π)∮ A cos φ dφ, φ at the
  // source centre and 0 away from the lens: what moving the source's centre
  // asks of a ring. With the ring's own modulus,
  //   C = −(4η²/(π s √q))·((2 − m)K(m) − 2E(m))/m = (4η²/(π s √q))·cel(kc, 1, 1, −1),
  // one Bulirsch mean from the same kc; −∞ through the lens (it lies at
  // φ = π), and (4η²/(π s √q))·(2 − ln(4/kc)) closer than CLOSED_FORM_LIMIT,
  // exact there to rounding. The mean sums terms of order one to a result of
  // order m: a ring far from the lens (m small) keeps ε/m of C, and its weight
  // in an integral over the source is then of order m too. NaN off the
  // regular inputs.
  double moment_at(double r) const;
  // Rings and moments for d[i] = l − r[i], as at_batch takes them, from pairs
  // of means that share their steps.
  void at_batch_with_moments(std::span<const double> r, std::span<const double> d, std::span<double> rings,
                             std::span<double> moments) const;

 private:
  enum class Regime { irregular, on_ring, near_ring_series, closed_form };
  Regime regime(double r, double d) const;
  double in_regime(double r, double d, Regime regime) const;
  // The same for a group that does not all take the closed form, out of the
  // batch's way (the lanes' constants stay in registers around the rare call).
  [[gnu::noinline, gnu::cold]] void in_regimes(const double* r, const double* d, double* out,
                                                std::size_t count) const;

  // The per-separation constants a closed form takes, by value (a batch's
  // stores of results cannot then be taken for changes to them).
  struct Constants {
    double l, four_eta_squared, two_eta_squared;
  };
  Constants constants() const { return {l_, four_eta_squared_, two_eta_squared_}; }

  // The closed form from the Bulirsch mean started from √p = |d|/s and
  // b/√p = 2η²·|d|/s + |d|·s (cel(kc, p, a, b) with p = (d/s)²,
  // a = 2η² + d², b = 2η²·p + d²), without a square root or a quotient of
  // their own; and (4/(2π s √q))·(π/2) = 1/(s√q) leaves
  // A = numerator/(denominator·s·√q). One formula for a radius and for four.
  // s = l + r, formed once by the caller for this and takes_closed_form (the
  // first division waits for it).
  template <class Real>
  struct MeanArguments {
    Real kc, root_p, a, b_over_root_p, s_root_q;
  };
  template <class Real>
  static MeanArguments<Real> mean_arguments(const Constants& c, Real s, Real d) {
    namespace lanes = ellip::lanes;
    const Real q = d * d + c.four_eta_squared;
    const Real abs_d = lanes::abs(d);
    const Real ratio = abs_d / s;
    const Real kc = ratio * lanes::sqrt((s * s + c.four_eta_squared) / q);
    const Real a = c.two_eta_squared + d * d;
    const Real b = c.two_eta_squared * ratio + abs_d * s;
    return {kc, ratio, a, b, s * lanes::sqrt(q)};
  }
  template <class Real>
  static Real closed_form(const Constants& c, Real s, Real d) {
    const MeanArguments<Real> m = mean_arguments(c, s, d);
    const auto mean = ellip::bulirsch::cel_mean(m.kc, m.root_p, m.a, m.b_over_root_p);
    return mean.numerator / (mean.denominator * m.s_root_q);
  }

  // The moment's closed form: (4η²/(π s √q))·(π/2)·numerator/denominator
  // from the same kc, cel(kc, 1, 1, −1) started from √p = 1.
  template <class Real>
  static Real moment_closed_form(const Constants& c, Real s, Real d) {
    const MeanArguments<Real> m = mean_arguments(c, s, d);
    const auto mean = ellip::bulirsch::cel_mean(m.kc, Real(1.0), Real(1.0), Real(-1.0));
    return (c.two_eta_squared * mean.numerator) / (mean.denominator * m.s_root_q);
  }
  // The ring and its moment from one pair of means, each with the operations
  // of closed_form and moment_closed_form.
  template <class Real>
  static std::array<Real, 2> closed_form_with_moment(const Constants& c, Real s, Real d) {
    const MeanArguments<Real> m = mean_arguments(c, s, d);
    const auto means = ellip::bulirsch::cel_mean_pair(m.kc, m.root_p, m.a, m.b_over_root_p, Real(1.0), Real(1.0),
                                                      Real(-1.0));
    return {means[0].numerator / (means[0].denominator * m.s_root_q),
            (c.two_eta_squared * means[1].numerator) / (means[1].denominator * m.s_root_q)};
  }
  double moment_in_regime(double r, double d, Regime regime) const;
  [[gnu::noinline, gnu::cold]] void moments_in_regimes(const double* r, const double* d, double* out,
                                                        std::size_t count) const;

  // Whether radius r at distance d takes the closed form, for r ≥ 0 with a
  // regular separation: r finite, 0 ≠ |d| ≥ CLOSED_FORM_LIMIT·(l + r).
  template <class Real>
  static auto takes_closed_form(Real r, Real s, Real d) {
    namespace lanes = ellip::lanes;
    return lanes::both(lanes::both(r >= 0.0, r < INFINITY),
                       lanes::both(d != 0.0, lanes::abs(d) >= CLOSED_FORM_LIMIT * s));
  }

  double l_, eta_;
  double four_eta_squared_;  // (η·η)·4
  double two_eta_squared_;   // η·η + η·η
  bool regular_separation_;  // l ≥ 0, finite, and 4η² finite and positive
};

}  // namespace mirlaxon::models
