// A brightness profile tabulated by the caller (a flux map): the
// piecewise-linear function through (bl[k], bf[k]), zero outside the sampled
// radii, with its normalisation ∫₀¹ 2πr B(r) dr computed at run time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <source_location>
#include <span>
#include <vector>

#include "interp/interp.hpp"
#include "models/far_field.hpp"
#include "models/model_error.hpp"
#include "models/samples.hpp"
#include "models/profiles.hpp"
#include "models/source_integral.hpp"

namespace mirlaxon::models {

inline constexpr interp::OutsideRule OUTSIDE_FLUX_MAP = interp::OutsideRule::FixedValue(0.0);

// A segment of a flux map's part inside [0, 1]: the profile is linear from
// fa at radius a to fb at b.
struct LinearPiece {
  double a, b, fa, fb;
};

// The segments of the piecewise-linear profile through (bl[k], bf[k])
// within [0, 1], clipped to it; one sample is the constant bf[0] over the
// whole source, none is no piece at all. Segments of zero width (a jump)
// are left out.
std::vector<LinearPiece> flux_map_pieces(std::span<const double> bl, std::span<const double> bf);

// The far-field weights of a profile made of linear pieces, exact per piece.
FarFieldMoments linear_pieces_moments(std::span<const LinearPiece> pieces);

class FluxMapProfile {
 public:
  FluxMapProfile(std::span<const double> radii, std::span<const double> brightness);

  double operator()(double r) const { return interp::interp(bl_, bf_, r, OUTSIDE_FLUX_MAP); }

  // Where the profile bends or jumps inside (0, 1): its sample radii, in
  // increasing order, each once. A single sample is a constant profile.
  std::span<const double> breaks() const { return breaks_; }

  // ∫₀¹ 2πr B(r) dr, by the quadrature over the pieces between the breaks.
  double normalisation() const;

  // The far-field weights ∫2πr B r^2k dr / ∫2πr B dr, exact per linear piece.
  FarFieldMoments moments() const;

 private:
  std::span<const double> bl_;
  std::span<const double> bf_;
  std::vector<double> breaks_;
};

// Every flux-map function's first check: a brightness for every radius.
inline std::expected<void, ModelError> same_lengths(
    std::span<const double> bl, std::span<const double> bf,
    std::source_location where = std::source_location::current()) {
  if (bl.size() != bf.size()) {
    return std::unexpected(equality_assertion_failure(bl.size(), bf.size(), where));
  }
  return {};
}

// The common start of the flux-map functions: the length assertion first,
// then the profile, handed to `core`.
template <class Core>
ModelResult<Samples> with_flux_map(std::span<const double> bl, std::span<const double> bf,
                                   const Core& core,
                                   std::source_location where = std::source_location::current()) {
  if (auto lengths = same_lengths(bl, bf, where); !lengths) return std::unexpected(lengths.error());
  const FluxMapProfile profile(bl, bf);
  return core(profile);
}

}  // namespace mirlaxon::models
