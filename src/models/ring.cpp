#include "models/ring.hpp"

#include <algorithm>

#include "constants.hpp"

#include "models/domain.hpp"
#include "models/far_field.hpp"
#include "models/magnifications.hpp"
#include "models/reference_forms.hpp"

namespace mirlaxon::models {

ModelResult<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double eta = re / rstar;
  const RingsAtSeparation rings(l, eta);
  if (!rings.regular(r)) {
    const ellip::KernelResult ring = reference::ring(l, r, eta);
    if (!ring) return std::unexpected(ModelError::kernel(ring.error()));
    return *ring;
  }
  // With one of l, r ten times the other the far-field series in
  // (min/max)² (the average is symmetric in l and r) is as exact as the
  // closed form and, far out, a few operations.
  const double near = std::min(l, r), far = std::max(l, r);
  if (in_far_field(far, near)) return far_field_mean(far / eta, near / far, RING_MOMENTS);
  return rings.at(r);
}

RingsAtSeparation::RingsAtSeparation(double l, double eta)
    : l_(l),
      eta_(eta),
      four_eta_squared_((eta * eta) * 4.0),
      two_eta_squared_(eta * eta + eta * eta),
      regular_separation_(l >= 0.0 && std::isfinite(l) && std::isfinite(four_eta_squared_) &&
                          four_eta_squared_ > 0.0) {}

RingsAtSeparation::Regime RingsAtSeparation::regime(double r, double d) const {
  if (!regular(r)) return Regime::irregular;
  if (d == 0.0) return Regime::on_ring;
  if (std::fabs(d) < CLOSED_FORM_LIMIT * (l_ + r)) return Regime::near_ring_series;
  return Regime::closed_form;
}

double RingsAtSeparation::in_regime(double r, double d, Regime regime) const {
  switch (regime) {
    case Regime::on_ring: return INFINITY;
    case Regime::near_ring_series: return reference::near_ring_series(l_, d, eta_);
    case Regime::irregular: {
      const ellip::KernelResult ring = reference::ring(l_, r, eta_);
      return ring ? *ring : NAN;
    }
    case Regime::closed_form: break;
  }
  return closed_form(constants(), l_ + r, d);
}

void RingsAtSeparation::in_regimes(const double* r, const double* d, double* out, std::size_t count) const {
  for (std::size_t k = 0; k < count; ++k) out[k] = in_regime(r[k], d[k], regime(r[k], d[k]));
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

// A group of radii that all take the closed form runs it in lanes from the
// arguments on; any other group goes one radius at a time by its regime.
void RingsAtSeparation::at_batch(std::span<const double> r, std::span<const double> d,
                                 std::span<double> out) const {
  namespace lanes = ellip::lanes;
  const Constants c = constants();
  const bool regular = regular_separation_;
  const double* const radii = r.data();
  const double* const distances = d.data();
  double* const values = out.data();
  lanes::for_each_group(r.size(), [c, regular, radii, distances, values, this](std::size_t i, auto type) {
    using Real = typename decltype(type)::type;
    const Real radius = lanes::load(radii + i, type);
    const Real distance = lanes::load(distances + i, type);
    const Real s = c.l + radius;
    if (regular && lanes::all_of(takes_closed_form(radius, s, distance))) [[likely]] {
      lanes::store(closed_form(c, s, distance), values + i);
      return;
    }
    in_regimes(radii + i, distances + i, values + i, type.width);
  });
}

double RingsAtSeparation::moment_in_regime(double r, double d, Regime regime) const {
  switch (regime) {
    case Regime::on_ring: return -INFINITY;
    case Regime::irregular: return NAN;
    case Regime::near_ring_series: {
      // K(m) − 2 + O(kc²·ln kc) with K = ln(4/kc) to the same order.
      const MeanArguments<double> m = mean_arguments(constants(), l_ + r, d);
      return ((four_eta_squared_ / PI) / m.s_root_q) * (2.0 - std::log(4.0 / m.kc));
    }
    case Regime::closed_form: break;
  }
  return moment_closed_form(constants(), l_ + r, d);
}

void RingsAtSeparation::moments_in_regimes(const double* r, const double* d, double* out, std::size_t count) const {
  for (std::size_t k = 0; k < count; ++k) out[k] = moment_in_regime(r[k], d[k], regime(r[k], d[k]));
}

double RingsAtSeparation::moment_at(double r) const {
  const double d = l_ - r;
  return moment_in_regime(r, d, regime(r, d));
}

void RingsAtSeparation::at_batch_with_moments(std::span<const double> r, std::span<const double> d,
                                              std::span<double> rings, std::span<double> moments) const {
  namespace lanes = ellip::lanes;
  const Constants c = constants();
  const bool regular = regular_separation_;
  const double* const radii = r.data();
  const double* const distances = d.data();
  double* const ring_values = rings.data();
  double* const moment_values = moments.data();
  lanes::for_each_group(r.size(), [=, this](std::size_t i, auto type) {
    using Real = typename decltype(type)::type;
    const Real radius = lanes::load(radii + i, type);
    const Real distance = lanes::load(distances + i, type);
    const Real s = c.l + radius;
    if (regular && lanes::all_of(takes_closed_form(radius, s, distance))) [[likely]] {
      const auto both = closed_form_with_moment(c, s, distance);
      lanes::store(both[0], ring_values + i);
      lanes::store(both[1], moment_values + i);
      return;
    }
    in_regimes(radii + i, distances + i, ring_values + i, type.width);
    moments_in_regimes(radii + i, distances + i, moment_values + i, type.width);
  });
}

}  // namespace mirlaxon::models
