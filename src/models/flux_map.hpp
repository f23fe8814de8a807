// A brightness profile tabulated by the caller (a flux map): the
// piecewise-linear function through (bl[k], bf[k]), zero outside the sampled
// radii, with its normalisation ∫₀¹ 2πr B(r) dr computed at run time.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <source_location>
#include <span>

#include "interp/interp.hpp"
#include "models/model_error.hpp"
#include "models/profiles.hpp"
#include "models/source_integral.hpp"

namespace mirlaxon::models {

inline constexpr interp::OutsideRule OUTSIDE_FLUX_MAP = interp::OutsideRule::FixedValue(0.0);

struct FluxMapProfile {
  FluxMapProfile(std::span<const double> radii, std::span<const double> brightness)
      : bl(radii), bf(brightness) {
    // Only the samples that interp uses count; with fewer than two the
    // profile is constant and has no edge.
    const std::size_t samples = std::min(bl.size(), bf.size());
    if (samples >= 2) {
      edge_storage_ = {bl.front(), bl[samples - 1]};
      edge_count_ = 2;
    }
  }

  double operator()(double r) const { return interp::interp(bl, bf, r, OUTSIDE_FLUX_MAP); }

  // Where the profile jumps to zero: the ends of the sampled range.
  std::span<const double> edges() const { return std::span(edge_storage_).first(edge_count_); }

  std::span<const double> bl;
  std::span<const double> bf;

 private:
  std::array<double, 2> edge_storage_{};
  std::size_t edge_count_ = 0;
};

// ∫₀¹ 2πr B(r) dr, split at the jumps of the profile like every integral
// over the source.
inline double flux_map_normalisation(const FluxMapProfile& profile) {
  const auto weighted = [&profile](double r) { return (r * TWO_PI) * profile(r); };
  return integrate_over_source(weighted, 0.0, profile.edges());
}

// The common start of the flux-map functions: the length assertion first,
// then the profile and its normalisation, handed to `core` with the profile's
// edges.
template <class Core>
ModelResult<Samples> with_flux_map(std::span<const double> bl, std::span<const double> bf,
                                   const Core& core,
                                   std::source_location where = std::source_location::current()) {
  if (bl.size() != bf.size()) {
    return std::unexpected(equality_assertion_failure(bl.size(), bf.size(), where));
  }
  const FluxMapProfile profile(bl, bf);
  return core(profile, flux_map_normalisation(profile), profile.edges());
}

}  // namespace mirlaxon::models
