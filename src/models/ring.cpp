#include "models/ring.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "ellip/bulirsch.hpp"
#include "ellip/legendre.hpp"
#include "models/flux_map.hpp"
#include "models/source_integral.hpp"
#include "models/source_rule.hpp"

namespace mirlaxon::models {

namespace {

// Closer to the ring than |l − r| < 1e-150·s the complement (d/s)² would
// leave the normal doubles; the first-order series is then exact to far
// below rounding.
constexpr double RING_RESOLUTION = 1e-150;

// First-order expansion about a ring through the lens, d = l − r: a
// logarithmic singularity in |d| plus the smooth remainder; +∞ at d = 0.
double near_ring_series(double l, double d, double eta) {
  const double c1 = (1.0 - d / (l + l)) * ((eta + eta) / l);
  const double g = std::log((8.0 * eta * l) / (std::fabs(d) * std::sqrt(l * l + eta * eta)));
  const double c2 = eta * (2.0 * (l * l) + eta * eta) / ((l * l) * (l * l + eta * eta));
  return (d * c2 + (c1 * g + 4.0 * std::atan(l / eta))) / TWO_PI;
}

// The designed evaluation: the near-ring series in its band, else the closed
// form with the Legendre integrals (from the complements near the ring).
ellip::KernelResult designed_ring(double l, double r, double re, double rstar) {
  const double eta = re / rstar;
  const double d = l - r;
  if (std::fabs(d) < RING_BAND && (std::fabs(d) < SERIES_RELATIVE_LIMIT * std::fabs(l) || d == 0.0)) {
    return near_ring_series(l, d, eta);
  }
  // (1/2π)∮ A = (4 / (2π s √q)) · (2η² K(m) + d² Π(n, m)), with
  // n = 4lr/s² and m = n·4η²/q.
  const double s = l + r;
  const double q = d * d + (eta * eta) * 4.0;
  const double n = ((4.0 * l) * r) / (s * s);
  double big_k = 0.0;
  double big_pi = 0.0;
  if (l > 0.0 && r > 0.0 && std::fabs(d) < NEAR_RING * s) {
    // 1 − n = (d/s)² and 1 − m = (d² + 4η²(1 − n))/q, without cancellation.
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

}  // namespace

ellip::KernelResult heyrovsky_magnification(double l, double r, double re, double rstar) {
  const RingsAtSeparation rings(l, re, rstar);
  if (!rings.regular(r)) return designed_ring(l, r, re, rstar);
  // With one of l, r ten times the other the far-field series in
  // (min/max)² (the average is symmetric in l and r) is as exact as the
  // closed form and, far out, a few operations.
  const double near = std::min(l, r), far = std::max(l, r);
  if (far >= FAR_FIELD_DISTANCE * near && far > 0.0) {
    const double ratio = near / far;
    return 1.0 + far_field_excess(far / rings.eta(), ratio * ratio, RING_MOMENTS);
  }
  return rings.at(r);
}

RingsAtSeparation::RingsAtSeparation(double l, double re, double rstar)
    : l_(l), re_(re), rstar_(rstar) {
  eta_ = re / rstar;
  four_eta_squared_ = (eta_ * eta_) * 4.0;
  two_eta_squared_ = eta_ * eta_ + eta_ * eta_;
  regular_separation_ = l >= 0.0 && std::isfinite(l) && std::isfinite(four_eta_squared_) &&
                        four_eta_squared_ > 0.0;
}

RingsAtSeparation::Regime RingsAtSeparation::regime(double r, double d) const {
  if (!regular(r)) return Regime::irregular;
  if (d == 0.0) return Regime::on_ring;
  if (std::fabs(d) < RING_RESOLUTION * (l_ + r)) return Regime::near_ring_series;
  return Regime::closed_form;
}

// cel(kc, p, a, b) with p = (d/s)², a = 2η² + d², b = 2η²·p + d² is
// (π/2)·numerator/denominator of the mean started from √p = |d|/s and
// b/√p = 2η²·|d|/s + |d|·s, both without a square root or a quotient of
// their own; and (4/(2π s √q))·(π/2) = 1/(s√q).
RingsAtSeparation::ClosedForm RingsAtSeparation::closed_form(double r, double d) const {
  const double s = l_ + r;
  const double q = d * d + four_eta_squared_;
  const double abs_d = std::fabs(d);
  const double ratio = abs_d / s;
  ClosedForm form{};
  form.kc = ratio * std::sqrt((s * s + four_eta_squared_) / q);
  form.root_p = ratio;
  form.a = two_eta_squared_ + d * d;
  form.b = two_eta_squared_ * ratio + abs_d * s;
  form.s_root_q = s * std::sqrt(q);
  return form;
}

double RingsAtSeparation::in_regime(double r, double d, Regime regime) const {
  switch (regime) {
    case Regime::on_ring: return INFINITY;
    case Regime::near_ring_series: return near_ring_series(l_, d, eta_);
    case Regime::irregular: {
      const ellip::KernelResult ring = designed_ring(l_, r, re_, rstar_);
      return ring ? *ring : NAN;
    }
    case Regime::closed_form: break;
  }
  const ClosedForm form = closed_form(r, d);
  const ellip::bulirsch::Mean mean = ellip::bulirsch::cel_mean(form.kc, form.root_p, form.a, form.b);
  return mean.numerator / (mean.denominator * form.s_root_q);
}

double RingsAtSeparation::at(double r) const {
  const double d = l_ - r;
  return in_regime(r, d, regime(r, d));
}

void RingsAtSeparation::at_batch(std::span<const double> r, std::span<double> out) const {
  constexpr std::size_t CHUNK = ellip::bulirsch::BATCH_CHUNK;
  std::array<double, CHUNK> d;
  for (std::size_t start = 0; start < r.size(); start += CHUNK) {
    const std::size_t count = std::min(CHUNK, r.size() - start);
    for (std::size_t i = 0; i < count; ++i) d[i] = l_ - r[start + i];
    at_batch(r.subspan(start, count), std::span(d).first(count), out.subspan(start, count));
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// Four closed forms side by side: the arguments of closed_form() and the
// result numerator/(denominator·s·√q), with the same correctly rounded
// operations in the same order in every lane. Only when all four radii take
// the closed form (r ≥ 0 and finite, 0 ≠ |d| ≥ RING_RESOLUTION·s, which
// regime() asks in scalar form): false, and nothing written, otherwise.
__attribute__((target("avx2"))) bool closed_forms_four(const double* r_in, const double* d_in,
                                                       double l, double four_eta_squared,
                                                       double two_eta_squared, double* out) {
  const __m256d r = _mm256_loadu_pd(r_in);
  const __m256d d = _mm256_loadu_pd(d_in);
  const __m256d s = _mm256_add_pd(_mm256_set1_pd(l), r);
  const __m256d abs_d = _mm256_andnot_pd(_mm256_set1_pd(-0.0), d);
  const __m256d zero = _mm256_setzero_pd();
  const __m256d closed = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(r, zero, _CMP_GE_OQ), _mm256_cmp_pd(r, _mm256_set1_pd(INFINITY), _CMP_LT_OQ)),
      _mm256_and_pd(_mm256_cmp_pd(d, zero, _CMP_NEQ_OQ),
                    _mm256_cmp_pd(abs_d, _mm256_mul_pd(_mm256_set1_pd(RING_RESOLUTION), s), _CMP_GE_OQ)));
  if (_mm256_movemask_pd(closed) != 0xF) return false;
  const __m256d four_eta2 = _mm256_set1_pd(four_eta_squared);
  const __m256d two_eta2 = _mm256_set1_pd(two_eta_squared);
  const __m256d d2 = _mm256_mul_pd(d, d);
  const __m256d q = _mm256_add_pd(d2, four_eta2);
  const __m256d ratio = _mm256_div_pd(abs_d, s);
  const __m256d kc =
      _mm256_mul_pd(ratio, _mm256_sqrt_pd(_mm256_div_pd(_mm256_add_pd(_mm256_mul_pd(s, s), four_eta2), q)));
  const __m256d a = _mm256_add_pd(two_eta2, d2);
  const __m256d b = _mm256_add_pd(_mm256_mul_pd(two_eta2, ratio), _mm256_mul_pd(abs_d, s));
  const __m256d s_root_q = _mm256_mul_pd(s, _mm256_sqrt_pd(q));
  __m256d numerator, denominator;
  ellip::bulirsch::detail::cel_mean_four(kc, ratio, a, b, numerator, denominator);
  _mm256_storeu_pd(out, _mm256_div_pd(numerator, _mm256_mul_pd(denominator, s_root_q)));
  return true;
}

}  // namespace
#endif

void RingsAtSeparation::at_batch(std::span<const double> r, std::span<const double> d,
                                 std::span<double> out) const {
  std::size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  // Groups of four radii that all take the closed form run it in vector
  // lanes from the arguments on; any other group goes the scalar way.
  if (regular_separation_ && ellip::bulirsch::detail::has_avx2()) {
    for (; i + 4 <= r.size(); i += 4) {
      if (closed_forms_four(&r[i], &d[i], l_, four_eta_squared_, two_eta_squared_, &out[i])) continue;
      for (std::size_t k = i; k < i + 4; ++k) out[k] = in_regime(r[k], d[k], regime(r[k], d[k]));
    }
  }
#endif
  for (; i < r.size(); ++i) out[i] = in_regime(r[i], d[i], regime(r[i], d[i]));
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
                                            const MomentsOf& moments,
                                            std::span<const double> breaks) {
  const double rho = rstar / re;
  const bool no_source = rho == 0.0 || !std::isfinite(rho);
  FarFieldSource far_field(rho, moments);
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    if (no_source || !(separation >= 0.0)) {
      result.push_back(NAN);
      continue;
    }
    if (rho > 0.0 && separation >= FAR_FIELD_DISTANCE) {
      result.push_back(far_field.at(separation));
      continue;
    }
    // 2πr·A(r)·B(r): one ring evaluation and one profile call per node; a
    // failed ring evaluation gives NaN, which the rule drops.
    const RingIntegrand integrand{RingsAtSeparation(separation, re, rstar), profile};
    result.push_back(integrate_over_source(integrand, separation, breaks) / normalisation);
  }
  return result;
}

Samples ring_source_averages(std::span<const double> l, double re, double rstar,
                             const SourceProfile& profile) {
  const double rho = rstar / re;
  const bool no_source = rho == 0.0 || !std::isfinite(rho);
  SourceNodes nodes;
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    if (no_source || !(separation >= 0.0)) {
      result.push_back(NAN);
    } else if (separation >= FAR_FIELD_DISTANCE) {
      const double ratio = 1.0 / separation;
      result.push_back(1.0 + far_field_excess(rho * separation, ratio * ratio, profile.moments()));
    } else {
      const RingsAtSeparation rings(separation, re, rstar);
      result.push_back(profile.integrate(separation, rings, nodes) / profile.normalisation());
    }
  }
  return result;
}

const SourceProfile& linear_limb_source() {
  static const SourceProfile profile = [] {
    constexpr std::array<double, 2> powers = {0.0, 1.0};
    constexpr std::array<double, 2> weights = {0.4, 0.6};
    return SourceProfile::limb_law(powers, weights);
  }();
  return profile;
}

Samples integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar) {
  if (rstar / re < 0.0) {
    return _integrated_heyrovsky_magnification(l, re, rstar, linear_limb_profile,
                                               LINEAR_LIMB_NORMALISATION,
                                               [] { return linear_limb_moments(); });
  }
  return ring_source_averages(l, re, rstar, linear_limb_source());
}

ModelResult<Samples> integrated_flux_map_heyrovsky_magnification(std::span<const double> l,
                                                                 double re, double rstar,
                                                                 std::span<const double> bl,
                                                                 std::span<const double> bf) {
  return with_flux_map(bl, bf, [&](const FluxMapProfile& profile) -> ModelResult<Samples> {
    if (rstar / re < 0.0) {
      return _integrated_heyrovsky_magnification(l, re, rstar, profile, profile.normalisation(),
                                                 [&profile] { return profile.moments(); },
                                                 profile.breaks());
    }
    return ring_source_averages(l, re, rstar, SourceProfile::flux_map(bl, bf, l));
  });
}

namespace {

// A double as the host writes it (repr): the shortest digits that read back
// to it, positional from 1e-4 to below 1e16, else with an exponent of at least
// two digits, and always with a point or an exponent.
std::string host_repr(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0.0 ? "-inf" : "inf";
  std::array<char, 400> buffer{};  // the longest fixed form has about 330 digits
  const auto written = [&](std::chars_format format) {
    return std::string(buffer.data(),
                       std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format).ptr);
  };
  const std::string scientific = written(std::chars_format::scientific);
  const int exponent = std::stoi(scientific.substr(scientific.find('e') + 1));
  if (exponent < -4 || exponent >= 16) return scientific;
  std::string fixed = written(std::chars_format::fixed);
  if (fixed.find('.') == std::string::npos) fixed += ".0";
  return fixed;
}

}  // namespace

ModelResult<Samples> integrated_limb_law_heyrovsky_magnification(std::span<const double> l, double re,
                                                                 double rstar,
                                                                 std::span<const double> powers,
                                                                 std::span<const double> weights) {
  if (powers.size() != weights.size()) {
    return std::unexpected(ModelError::value("powers and weights differ in length (" +
                                             std::to_string(powers.size()) + " and " +
                                             std::to_string(weights.size()) + ")"));
  }
  for (std::size_t k = 0; k < powers.size(); ++k) {
    if (!(std::isfinite(powers[k]) && powers[k] >= 0.0)) {
      return std::unexpected(ModelError::value("powers[" + std::to_string(k) +
                                               "] must be a finite number >= 0, not " +
                                               host_repr(powers[k])));
    }
  }
  for (std::size_t k = 0; k < weights.size(); ++k) {
    if (!std::isfinite(weights[k])) {
      return std::unexpected(ModelError::value("weights[" + std::to_string(k) +
                                               "] must be a finite number, not " + host_repr(weights[k])));
    }
  }
  const SourceProfile law = SourceProfile::limb_law(powers, weights);
  // A dark source has no magnification (as for a flux map without samples).
  if (law.normalisation() == 0.0) return Samples(l.size(), NAN);
  if (rstar / re < 0.0) {
    const auto brightness = [&law](double r) { return law.limb_law_brightness(r); };
    return _integrated_heyrovsky_magnification(l, re, rstar, brightness, law.normalisation(),
                                               [&law] { return law.moments(); });
  }
  return ring_source_averages(l, re, rstar, law);
}

ModelResult<Samples> discrete_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                               double rstar,
                                                               std::span<const double> bl,
                                                               std::span<const double> bf) {
  if (auto lengths = same_lengths(bl, bf); !lengths) return std::unexpected(lengths.error());
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
