#include "models/uniform_disk.hpp"

#include <algorithm>
#include <array>

#include "ellip/bulirsch.hpp"

#include "models/flux_map.hpp"
#include "models/source_integral.hpp"
#include "numdiff/central_difference.hpp"

namespace mirlaxon::models {

namespace {

// Closer to the limb than |d| < 1e-150·s the complement (d/s)² would leave
// the normal doubles; the limb value is then exact to far below rounding.
constexpr double LIMB_RESOLUTION = 1e-150;

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
  if (u >= FAR_FIELD_DISTANCE * radius) return DiskRegime::far_field;
  if (std::fabs(u - radius) < LIMB_RESOLUTION * (u + radius)) return DiskRegime::limb;
  return DiskRegime::closed_form;
}

double disk_far_field(double u, double radius) {
  const double ratio = radius / u;
  return 1.0 + far_field_excess(u, ratio * ratio, DISK_MOMENTS);
}

}  // namespace

double disk_magnification(double u, double radius) {
  switch (disk_regime(u, radius)) {
    case DiskRegime::far_field: return disk_far_field(u, radius);
    case DiskRegime::limb: return limb_value(radius);
    case DiskRegime::closed_form: break;
  }
  const DiskClosedForm form = disk_closed_form(u, radius);
  namespace bulirsch = ellip::bulirsch;
  return UniformDisk::from_h(bulirsch::cel(form.kc, 1.0, form.a1, form.b1) +
                             bulirsch::cel(form.kc, form.p, form.a3, form.a3));
}

ModelResult<Samples> witt_mao_magnification(std::span<const double> l, double re, double rstar) {
  Samples result;
  if (l.empty()) return result;
  const UniformDisk disk(rstar / re);
  result.reserve(l.size());
  for (const double separation : l) {
    const ellip::KernelResult a = disk.at(disk.rho() * separation);
    if (!a) return std::unexpected(ModelError::kernel(a.error()));
    result.push_back(*a);
  }
  return result;
}

double DisksAtSeparation::fallback(double y) const {
  if (std::isnan(y)) return NAN;
  if (y <= 0.0) return 0.0;  // an empty disk
  const ellip::KernelResult a = UniformDisk(rho_ * y).at(u_);
  return a ? *a : NAN;
}

double DisksAtSeparation::at(double y) const {
  const double radius = rho_ * y;
  if (!regular(radius)) return fallback(y);
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
      [](std::size_t, const std::array<double, 2>& values) {
        return UniformDisk::from_h(values[0] + values[1]);
      },
      [&](std::size_t i) { return at(y[i]); });
}

namespace {

// The disk term is singular at the ring through the lens, y = l, and so the
// difference quotient at r is wherever r + h(r) or r − h(r) reaches l: at
// r = (l − c)/(1 + c) and (l + c)/(1 − c), c = ∛ε. With the lens on or just
// outside the limb, split there too, or the rule meets that kink a few steps
// from the end of the last piece (5e-9 of the result on the limb). Inside the
// source the two extra pieces would buy 1e-8 for half again the time.
std::array<double, 3> stencil_points(double separation) {
  if (separation < 1.0) return {separation, separation, separation};
  const double c = numdiff::CBRT_EPS;
  return {(separation - c) / (1.0 + c), separation, (separation + c) / (1.0 - c)};
}

}  // namespace

ModelResult<Samples> _integrated_witt_mao_magnification(std::span<const double> l, double re,
                                                        double rstar, BrightnessProfile profile,
                                                        double normalisation,
                                                        const MomentsOf& moments,
                                                        std::span<const double> breaks) {
  // A separation that the closed form rejects fails the call as it does
  // there.
  const ModelResult<Samples> whole = witt_mao_magnification(l, re, rstar);
  if (!whole) return std::unexpected(whole.error());

  const double rho = rstar / re;
  const bool regular_rho = rho > 0.0 && std::isfinite(rho);
  FarFieldSource far_field(rho, moments);
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    if (regular_rho && separation >= FAR_FIELD_DISTANCE) {
      result.push_back(far_field.at(separation));
      continue;
    }
    // Uniform disks of radius y source radii (ρ·y Einstein radii) about the
    // source centre, seen from the lens at ρ·l.
    const DiskIntegrand integrand(DisksAtSeparation(rho * separation, rho), profile);
    result.push_back(integrate_over_source(integrand, stencil_points(separation), breaks) /
                     normalisation);
  }
  return result;
}

ModelResult<Samples> integrated_witt_mao_magnification(std::span<const double> l, double re,
                                                       double rstar) {
  return _integrated_witt_mao_magnification(l, re, rstar, linear_limb_profile,
                                            LINEAR_LIMB_NORMALISATION,
                                            [] { return linear_limb_moments(); });
}

ModelResult<Samples> integrated_flux_map_witt_mao_magnification(std::span<const double> l, double re,
                                                                double rstar,
                                                                std::span<const double> bl,
                                                                std::span<const double> bf) {
  return with_flux_map(bl, bf, [&](const FluxMapProfile& profile) {
    return _integrated_witt_mao_magnification(l, re, rstar, profile, profile.normalisation(),
                                              [&profile] { return profile.moments(); },
                                              profile.breaks());
  });
}

}  // namespace mirlaxon::models
