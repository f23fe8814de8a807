#include "models/uniform_disk.hpp"

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
    const double u = rho * separation;
    // A uniform disk of radius y source radii (ρ·y Einstein radii) about the
    // source centre; nothing for a negative radius.
    const auto disk = [rho, u](double y) {
      if (y < 0.0) return 0.0;
      const ellip::KernelResult a = UniformDisk(rho * y).at(u);
      return a ? *a : NAN;
    };
    const auto integrand = [&](double r) {
      const double f = disk(r);
      const double derivative = r < 0.0 ? 0.0 : numdiff::central_difference(disk, r);
      const double b = profile(r);
      return ((r * TWO_PI) * (f + (r * 0.5) * derivative)) * b;
    };
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
