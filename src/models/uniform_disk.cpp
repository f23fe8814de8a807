#include "models/uniform_disk.hpp"

#include <algorithm>
#include <array>

#include "ellip/bulirsch.hpp"

#include "models/flux_map.hpp"
#include "models/source_integral.hpp"
#include "numdiff/central_difference.hpp"

namespace mirlaxon::models {

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

bool DisksAtSeparation::closed_form(double y, ClosedForm& form) const {
  const double radius = rho_ * y;
  const double d = u_ - radius;
  const bool regular = regular_separation_ && radius > 0.0 && std::isfinite(radius);
  if (!regular || std::fabs(d) < UniformDisk::LIMB_BAND * std::fabs(radius)) return false;
  const double r2 = radius * radius;
  const double d2 = d * d;
  const double s = radius + u_;
  const double q = std::sqrt(d2 + 4.0);
  const double nc = (d / s) * (d / s);
  const double mc = nc * ((s * s + 4.0) / (d2 + 4.0));
  const double b1 = (s * q) / (r2 + r2);
  const double b2 = (d * ((u_ * u_ - r2) * 0.5 + 4.0)) / (r2 * q);
  const double b3 = ((r2 + 1.0) * (d2 + d2)) / ((r2 * s) * q);
  // E = cel(kc, 1, 1, kc²), K = cel(kc, 1, 1, 1), Π = cel(kc, 1 − n, 1, 1).
  form.kc = std::sqrt(mc);
  form.p = nc;
  form.a1 = b1 - b2;
  form.b1 = b1 * mc - b2;
  form.a3 = b3;
  return true;
}

double DisksAtSeparation::fallback(double y) const {
  if (y < 0.0) return 0.0;
  const ellip::KernelResult a = UniformDisk(rho_ * y).at(u_);
  return a ? *a : NAN;
}

double DisksAtSeparation::at(double y) const {
  ClosedForm form{};
  if (!closed_form(y, form)) return fallback(y);
  namespace bulirsch = ellip::bulirsch;
  return UniformDisk::from_h(bulirsch::cel(form.kc, 1.0, form.a1, form.b1) +
                bulirsch::cel(form.kc, form.p, form.a3, form.a3));
}

void DisksAtSeparation::at_batch(std::span<const double> y, std::span<double> out) const {
  constexpr std::size_t CHUNK = 64;
  std::array<double, CHUNK> kc, ones, p, a1, b1, a3, first, second;
  std::array<bool, CHUNK> closed;
  ones.fill(1.0);
  for (std::size_t start = 0; start < y.size(); start += CHUNK) {
    const std::size_t count = std::min(CHUNK, y.size() - start);
    for (std::size_t i = 0; i < count; ++i) {
      ClosedForm form{1.0, 1.0, 0.0, 0.0, 0.0};  // a harmless lane where the form is not used
      closed[i] = closed_form(y[start + i], form);
      kc[i] = form.kc;
      p[i] = form.p;
      a1[i] = form.a1;
      b1[i] = form.b1;
      a3[i] = form.a3;
    }
    const auto lanes = [count](auto& values) { return std::span(values).first(count); };
    ellip::bulirsch::cel_batch(lanes(kc), lanes(ones), lanes(a1), lanes(b1), lanes(first));
    ellip::bulirsch::cel_batch(lanes(kc), lanes(p), lanes(a3), lanes(a3), lanes(second));
    for (std::size_t i = 0; i < count; ++i) {
      out[start + i] = closed[i] ? UniformDisk::from_h(first[i] + second[i]) : fallback(y[start + i]);
    }
  }
}

namespace {

// 2πr·(F(r) + (r/2)·F′(r))·B(r) with F′ the central difference, one point at
// a time or a quadrature level at once: the batch gathers F at r and r ± h
// for every point and combines them exactly as central_difference does.
struct DiskIntegrand {
  DisksAtSeparation disks;
  BrightnessProfile profile;

  static double combine(double r, double f, double derivative, double b) {
    return ((r * TWO_PI) * (f + (r * 0.5) * derivative)) * b;
  }

  double operator()(double r) const {
    const auto disk = [this](double y) { return disks.at(y); };
    const double f = disk(r);
    const double derivative = r < 0.0 ? 0.0 : numdiff::central_difference(disk, r);
    return combine(r, f, derivative, profile(r));
  }

  void evaluate_batch(std::span<const double> r, std::span<double> values) const {
    constexpr std::size_t CHUNK = 64;
    std::array<double, 3 * CHUNK> y, f;
    std::array<double, CHUNK> step;
    for (std::size_t start = 0; start < r.size(); start += CHUNK) {
      const std::size_t count = std::min(CHUNK, r.size() - start);
      for (std::size_t i = 0; i < count; ++i) {
        const double x = r[start + i];
        const double h = numdiff::central_difference_step(x);
        step[i] = h;
        y[3 * i] = x;
        y[3 * i + 1] = x + h;
        y[3 * i + 2] = x - h;
      }
      disks.at_batch(std::span(y).first(3 * count), std::span(f).first(3 * count));
      for (std::size_t i = 0; i < count; ++i) {
        const double x = r[start + i];
        const double h = step[i];
        const double derivative = x < 0.0 ? 0.0 : (f[3 * i + 1] - f[3 * i + 2]) / (h + h);
        values[start + i] = combine(x, f[3 * i], derivative, profile(x));
      }
    }
  }
};

}  // namespace

ModelResult<Samples> _integrated_witt_mao_magnification(std::span<const double> l, double re,
                                                        double rstar, BrightnessProfile profile,
                                                        double normalisation,
                                                        std::span<const double> profile_edges) {
  // The whole-source values are not used below, but a separation that the
  // closed form rejects fails the call as it does there.
  const ModelResult<Samples> whole = witt_mao_magnification(l, re, rstar);
  if (!whole) return std::unexpected(whole.error());

  const double rho = rstar / re;
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    // Uniform disks of radius y source radii (ρ·y Einstein radii) about the
    // source centre, seen from the lens at ρ·l.
    const DiskIntegrand integrand{DisksAtSeparation(rho * separation, rho), profile};
    result.push_back(integrate_over_source(integrand, separation, profile_edges) / normalisation);
  }
  return result;
}

ModelResult<Samples> integrated_witt_mao_magnification(std::span<const double> l, double re,
                                                       double rstar) {
  return _integrated_witt_mao_magnification(l, re, rstar, linear_limb_profile,
                                            LINEAR_LIMB_NORMALISATION);
}

ModelResult<Samples> integrated_flux_map_witt_mao_magnification(std::span<const double> l, double re,
                                                                double rstar,
                                                                std::span<const double> bl,
                                                                std::span<const double> bf) {
  return with_flux_map(bl, bf, [&](const FluxMapProfile& profile, double normalisation,
                                   std::span<const double> edges) {
    return _integrated_witt_mao_magnification(l, re, rstar, profile, normalisation, edges);
  });
}

}  // namespace mirlaxon::models
