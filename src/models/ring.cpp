#include "models/ring.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "ellip/bulirsch.hpp"
#include "ellip/legendre.hpp"
#include "models/flux_map.hpp"
#include "models/source_integral.hpp"

namespace mirlaxon::models {

ellip::KernelResult heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double eta = re / rstar;  // the Einstein radius in source radii
  const double d = l - r;

  // The series expands about a ring through the lens in |d|/l: for rings of
  // radius below about 1e-3 source radii it is taken only where |d| ≪ l
  // (and at d = 0 itself); elsewhere the closed form is accurate.
  if (std::fabs(d) < RING_BAND && (std::fabs(d) < SERIES_RELATIVE_LIMIT * std::fabs(l) || d == 0.0)) {
    // First-order expansion about the ring through the lens: a logarithmic
    // singularity in |d| plus the smooth remainder. It is +∞ at d = 0.
    const double c1 = (1.0 - d / (l + l)) * ((eta + eta) / l);
    const double g = std::log((8.0 * eta * l) / (std::fabs(d) * std::sqrt(l * l + eta * eta)));
    const double c2 = eta * (2.0 * (l * l) + eta * eta) / ((l * l) * (l * l + eta * eta));
    return (d * c2 + (c1 * g + 4.0 * std::atan(l / eta))) / TWO_PI;
  }

  // (1/2π)∮ A = (4 / (2π s √q)) · (2η² K(m) + d² Π(n, m)), with
  // n = 4lr/s² and m = n·4η²/q.
  const double s = l + r;
  const double q = d * d + (eta * eta) * 4.0;
  const double n = ((4.0 * l) * r) / (s * s);
  double big_k = 0.0;
  double big_pi = 0.0;
  if (l > 0.0 && r > 0.0 && std::fabs(d) < NEAR_RING * s) {
    // Near the ring n and m approach 1, and the kernels would see 1 − n and
    // 1 − m through cancellation, losing s²/d² of relative precision (1e-4 of
    // the result at |d| = 2e-6). Their exact forms have no cancellation:
    // 1 − n = (d/s)² and 1 − m = (d² + 4η²(1 − n))/q.
    const double nc = (d / s) * (d / s);
    const double mc = (d * d + (eta * eta) * 4.0 * nc) / q;
    MIRLAXON_TRY(k_value, ellip::legendre::ellipk_from_complement(mc));
    MIRLAXON_TRY(pi_value, ellip::legendre::ellippi_from_complements(n, nc, mc));
    big_k = k_value;
    big_pi = pi_value;
  } else {
    const double k = ((4.0 * eta) / s) * std::sqrt((l * r) / q);
    const double m = k * k;
    MIRLAXON_TRY(k_value, ellip::legendre::ellipk(m));
    MIRLAXON_TRY(pi_value, ellip::legendre::ellippi(n, m));
    big_k = k_value;
    big_pi = pi_value;
  }
  return ((4.0 / (s * std::sqrt(q))) * ((eta * eta + eta * eta) * big_k + (d * d) * big_pi)) /
         TWO_PI;
}

RingsAtSeparation::RingsAtSeparation(double l, double re, double rstar)
    : l_(l), re_(re), rstar_(rstar) {
  const double eta = re / rstar;
  four_eta_squared_ = (eta * eta) * 4.0;
  two_eta_squared_ = eta * eta + eta * eta;
  regular_separation_ = l >= 0.0 && std::isfinite(l) && std::isfinite(four_eta_squared_) &&
                        four_eta_squared_ > 0.0;
}

bool RingsAtSeparation::closed_form(double r, ClosedForm& form) const {
  const double d = l_ - r;
  const bool regular = regular_separation_ && r > 0.0 && std::isfinite(r);
  const bool in_series_band =
      std::fabs(d) < RING_BAND && (std::fabs(d) < SERIES_RELATIVE_LIMIT * std::fabs(l_) || d == 0.0);
  if (!regular || in_series_band) return false;
  const double s = l_ + r;
  const double q = d * d + four_eta_squared_;
  const double nc = (d / s) * (d / s);
  form.scale = 4.0 / (s * std::sqrt(q));
  form.kc = (std::fabs(d) / s) * std::sqrt((s * s + four_eta_squared_) / q);
  form.p = nc;
  form.a = two_eta_squared_ + d * d;
  form.b = two_eta_squared_ * nc + d * d;
  return true;
}

double RingsAtSeparation::fallback(double r) const {
  const ellip::KernelResult ring = heyrovsky_magnification(l_, r, re_, rstar_);
  return ring ? *ring : NAN;
}

double RingsAtSeparation::at(double r) const {
  ClosedForm form{};
  if (!closed_form(r, form)) return fallback(r);
  return (form.scale * ellip::bulirsch::cel(form.kc, form.p, form.a, form.b)) / TWO_PI;
}

void RingsAtSeparation::at_batch(std::span<const double> r, std::span<double> out) const {
  constexpr std::size_t CHUNK = 64;
  std::array<double, CHUNK> scale, kc, p, a, b, combined;
  std::array<bool, CHUNK> closed;
  for (std::size_t start = 0; start < r.size(); start += CHUNK) {
    const std::size_t count = std::min(CHUNK, r.size() - start);
    for (std::size_t i = 0; i < count; ++i) {
      ClosedForm form{1.0, 1.0, 1.0, 0.0, 0.0};  // a harmless lane where the form is not used
      closed[i] = closed_form(r[start + i], form);
      scale[i] = form.scale;
      kc[i] = form.kc;
      p[i] = form.p;
      a[i] = form.a;
      b[i] = form.b;
    }
    ellip::bulirsch::cel_batch(std::span(kc).first(count), std::span(p).first(count),
                               std::span(a).first(count), std::span(b).first(count),
                               std::span(combined).first(count));
    for (std::size_t i = 0; i < count; ++i) {
      out[start + i] = closed[i] ? (scale[i] * combined[i]) / TWO_PI : fallback(r[start + i]);
    }
  }
}

namespace {

// 2πr·A(r)·B(r), one point at a time or a quadrature level at once.
struct RingIntegrand {
  RingsAtSeparation rings;
  BrightnessProfile profile;

  double operator()(double r) const { return ((r * TWO_PI) * rings.at(r)) * profile(r); }

  void evaluate_batch(std::span<const double> r, std::span<double> values) const {
    rings.at_batch(r, values);
    for (std::size_t i = 0; i < r.size(); ++i) {
      values[i] = ((r[i] * TWO_PI) * values[i]) * profile(r[i]);
    }
  }
};

}  // namespace

Samples _integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar,
                                            BrightnessProfile profile, double normalisation,
    std::span<const double> profile_edges) {
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    // 2πr·A(r)·B(r): one ring evaluation and one profile call per node; a
    // failed ring evaluation gives NaN, which the rule drops.
    const RingIntegrand integrand{RingsAtSeparation(separation, re, rstar), profile};
    result.push_back(integrate_over_source(integrand, separation, profile_edges) / normalisation);
  }
  return result;
}

Samples integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar) {
  return _integrated_heyrovsky_magnification(l, re, rstar, linear_limb_profile,
                                             LINEAR_LIMB_NORMALISATION);
}

ModelResult<Samples> integrated_flux_map_heyrovsky_magnification(std::span<const double> l,
                                                                 double re, double rstar,
                                                                 std::span<const double> bl,
                                                                 std::span<const double> bf) {
  return with_flux_map(bl, bf, [&](const FluxMapProfile& profile, double normalisation,
                                   std::span<const double> edges) -> ModelResult<Samples> {
    return _integrated_heyrovsky_magnification(l, re, rstar, profile, normalisation, edges);
  });
}

ModelResult<Samples> discrete_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                               double rstar,
                                                               std::span<const double> bl,
                                                               std::span<const double> bf) {
  if (bl.size() != bf.size()) return std::unexpected(equality_assertion_failure(bl.size(), bf.size()));
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    double sum = 0.0;
    for (std::size_t j = 0; j < bl.size(); ++j) {
      const ellip::KernelResult ring = heyrovsky_magnification(separation, bl[j], re, rstar);
      if (!ring) return std::unexpected(ModelError::kernel(ring.error()));
      sum = sum + *ring * bf[j];
    }
    result.push_back(sum);
  }
  return result;
}

}  // namespace mirlaxon::models
