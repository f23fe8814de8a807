#include "models/disk.hpp"

#include <array>

#include "constants.hpp"
#include "ellip/bulirsch.hpp"
#include "models/domain.hpp"
#include "models/far_field.hpp"
#include "models/magnifications.hpp"
#include "models/reference_forms.hpp"

namespace mirlaxon::models {

namespace {

// [2/R + (1 + R²)/R²·2·atan(R)]/π, arranged so that neither R² nor 1/R²
// overflows.
double limb_value(double radius) {
  return (2.0 / radius + ((std::atan(radius) + std::atan(radius)) / radius) *
                             (1.0 / radius + radius)) /
         PI;
}

// The closed form h = b1·E − b2·K + b3·Π as cel(kc, 1, a1, b1) +
// cel(kc, p, a3, a3), with E = cel(kc, 1, 1, kc²), K = cel(kc, 1, 1, 1) and
// Π = cel(kc, 1 − n, 1, 1).
struct DiskClosedForm {
  double kc, p, a1, b1, a3;
};

DiskClosedForm disk_closed_form(double u, double radius) {
  const double r2 = radius * radius;
  const double d = u - radius;
  const double d2 = d * d;
  const double s = radius + u;
  const double q = std::sqrt(d2 + 4.0);
  const double nc = (d / s) * (d / s);
  const double mc = nc * ((s * s + 4.0) / (d2 + 4.0));
  const double b1 = (s * q) / (r2 + r2);
  const double b2 = (d * ((u * u - r2) * 0.5 + 4.0)) / (r2 * q);
  const double b3 = ((r2 + 1.0) * (d2 + d2)) / ((r2 * s) * q);
  return {std::sqrt(mc), nc, b1 - b2, b1 * mc - b2, b3};
}

enum class DiskRegime { far_field, limb, closed_form };

DiskRegime disk_regime(double u, double radius) {
  if (in_far_field(u, radius)) return DiskRegime::far_field;
  if (std::fabs(u - radius) < CLOSED_FORM_LIMIT * (u + radius)) return DiskRegime::limb;
  return DiskRegime::closed_form;
}

double disk_far_field(double u, double radius) { return far_field_mean(u, radius / u, DISK_MOMENTS); }

}  // namespace

double disk_magnification(double u, double radius) {
  switch (disk_regime(u, radius)) {
    case DiskRegime::far_field: return disk_far_field(u, radius);
    case DiskRegime::limb: return limb_value(radius);
    case DiskRegime::closed_form: break;
  }
  const DiskClosedForm form = disk_closed_form(u, radius);
  namespace bulirsch = ellip::bulirsch;
  return reference::disk_from_h(bulirsch::cel(form.kc, 1.0, form.a1, form.b1) +
                                bulirsch::cel(form.kc, form.p, form.a3, form.a3));
}

ModelResult<Samples> witt_mao_magnification(std::span<const double> l, double re, double rstar) {
  Samples result;
  if (l.empty()) return result;
  const double rho = rstar / re;
  const bool regular_rho = classify_radius(rho) == Radius::regular;
  const reference::LegendreDisk disk(rho);
  result.reserve(l.size());
  for (const double separation : l) {
    const double u = rho * separation;
    if (regular_rho && u >= 0.0 && std::isfinite(u)) {
      result.push_back(disk_magnification(u, rho));
      continue;
    }
    const ellip::KernelResult a = disk.at(u);
    if (!a) return std::unexpected(ModelError::kernel(a.error()));
    result.push_back(*a);
  }
  return result;
}

double DisksAtSeparation::outside_domain(double y) const {
  if (std::isnan(y)) return NAN;
  if (y <= 0.0) return 0.0;  // an empty disk
  const ellip::KernelResult a = reference::LegendreDisk(rho_ * y).at(u_);
  return a ? *a : NAN;
}

double DisksAtSeparation::at(double y) const {
  const double radius = rho_ * y;
  if (!regular(radius)) return outside_domain(y);
  return disk_magnification(u_, radius);
}

void DisksAtSeparation::at_batch(std::span<const double> y, std::span<double> out) const {
  namespace bulirsch = ellip::bulirsch;
  bulirsch::closed_forms_batch<2>(
      out.first(y.size()),
      [&](std::size_t i, std::array<bulirsch::CelArguments, 2>& forms) {
        const double radius = rho_ * y[i];
        if (!regular(radius) || disk_regime(u_, radius) != DiskRegime::closed_form) return false;
        const DiskClosedForm form = disk_closed_form(u_, radius);
        forms[0] = {form.kc, 1.0, form.a1, form.b1};
        forms[1] = {form.kc, form.p, form.a3, form.a3};
        return true;
      },
      [](std::size_t, const std::array<double, 2>& values) { return reference::disk_from_h(values[0] + values[1]); },
      [&](std::size_t i) { return at(y[i]); });
}

}  // namespace mirlaxon::models
