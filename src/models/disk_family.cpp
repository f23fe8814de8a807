// The uniform-disk family's sources: for each separation,
// ∫₀¹ 2πr·(F(r) + (r/2)·F′(r))·B(r) dr / N, where F(y) is the magnification
// of a uniform disk of radius y source radii about the source centre, so that
// F + (r/2)F′ is the magnification of the ring at r; F′ by a central
// difference (of r²F, see disk_integrand.hpp). Far from the source the
// far-field series with the profile's moments.
#include <array>
#include <cmath>
#include <type_traits>

#include "models/built_in_profile.hpp"
#include "models/disk_integrand.hpp"
#include "models/domain.hpp"
#include "models/far_field.hpp"
#include "models/flux_map.hpp"
#include "models/limb_law.hpp"
#include "models/magnifications.hpp"
#include "quadrature/piecewise.hpp"

namespace mirlaxon::models {

namespace {

// The tanh–sinh rule's target on each piece: below rounding, so that it
// runs all of its levels.
constexpr double SOURCE_TARGET_ERROR = 1e-16;

// The difference quotient at r is singular where r ± h(r) = l, h(r) =
// (r + 1)·c: at most c·(1 + l)/(1 − c) from the ring, whether or not the
// pieces are split there.
double stencil_reach(double separation) {
  const double c = numdiff::CBRT_EPS;
  return (c * (1.0 + separation)) / (1.0 - c);
}

// Where the stencil starts to reach past an end of the source and the
// reflections of DiskIntegrand take over: r − h(r) = 0 and r + h(r) = 1. G is
// smooth on either side of an end, but its reflection only matches G and G′
// there, not G″ (which is of order 1/δ with the ring δ from the limb), so the
// difference quotient bends within h of each end. The tanh–sinh rule crowds
// its nodes there and never noticed; a Gauss–Legendre piece across such a
// seam was off by up to 1e-8 of the result (101 samples, the lens 5e-4
// outside the limb, η ≥ 1) and by 3e-10 with the lens 0.02 from the centre.
std::array<double, 2> reflection_seams() {
  const double c = numdiff::CBRT_EPS;
  return {c / (1.0 - c), (1.0 - c) / (1.0 + c)};
}

// ρ^-2n for a Gauss–Legendre piece of a flux map. Against the same
// integrand integrated in 16 tanh–sinh pieces per piece, split at every
// stencil point (11- and 101-sample maps, η = 0.01 … 1e4, the lens from the
// centre to twice the source radius), the worst relative error outside the
// source was 1.5e-9 at a tolerance of 1e-7, 2.6e-10 at 1e-8, 3.4e-11 at 1e-9,
// 1.6e-11 at 1e-10, and from 1e-11 on 6e-12 to 1e-11, the rounding of the
// difference quotient; inside the source 9e-9 throughout, where the kinks of
// the stencil inside the ring's pieces dominate, as with the tanh–sinh rule
// alone. Two decades below where the rule begins to show:
constexpr double FLUX_MAP_PIECE_TOLERANCE = 1e-12;

// The built-in profile the disk family's way, with its normalisation.
struct BuiltInDiskProfile {
  double brightness(double r) const { return built_in_brightness(r); }
  double normalisation() const { return LINEAR_LIMB_NORMALISATION; }
  const FarFieldMoments& moments() const { return LimbLaw::built_in().moments(); }
  std::span<const double> breaks() const { return {}; }
};

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

template <class Profile>
ModelResult<Samples> disk_source_averages(std::span<const double> l, double re, double rstar,
                                          const Profile& profile) {
  // A separation that the closed form rejects fails the call as it does
  // there.
  const ModelResult<Samples> whole = witt_mao_magnification(l, re, rstar);
  if (!whole) return std::unexpected(whole.error());

  const double rho = rstar / re;
  const bool regular_rho = classify_radius(rho) == Radius::regular;
  const auto brightness = [&profile](double r) { return profile.brightness(r); };
  const std::array<double, 2> seams = reflection_seams();
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    if (regular_rho && classify_separation(separation) == Regime::far_field) {
      result.push_back(far_field_mean(rho * separation, 1.0 / separation, profile.moments()));
      continue;
    }
    // Uniform disks of radius y source radii (ρ·y Einstein radii) about the
    // source centre, seen from the lens at ρ·l.
    namespace de = quadrature::double_exponential;
    const DiskIntegrand integrand(DisksAtSeparation(rho * separation, rho), brightness);
    const std::array<double, 3> singular = stencil_points(separation);
    double integral = 0.0;
    // A flux map is linear between its samples: its pieces clear of the ring
    // take Gauss–Legendre. The built-in profile keeps tanh–sinh throughout.
    if constexpr (std::is_same_v<Profile, FluxMap>) {
      const de::GaussWhereClear rule{stencil_reach(separation), FLUX_MAP_PIECE_TOLERANCE, seams};
      integral = de::integrate_unit_in_pieces(integrand, singular, profile.breaks(), SOURCE_TARGET_ERROR, rule);
    } else {
      integral = de::integrate_unit_in_pieces(integrand, singular, profile.breaks(), SOURCE_TARGET_ERROR);
    }
    result.push_back(integral / profile.normalisation());
  }
  return result;
}

}  // namespace

ModelResult<Samples> integrated_witt_mao_magnification(std::span<const double> l, double re, double rstar) {
  return disk_source_averages(l, re, rstar, BuiltInDiskProfile{});
}

ModelResult<Samples> integrated_flux_map_witt_mao_magnification(std::span<const double> l, double re,
                                                                double rstar, std::span<const double> bl,
                                                                std::span<const double> bf) {
  return then(FluxMap::from(bl, bf), [&](const FluxMap& map) { return disk_source_averages(l, re, rstar, map); });
}

}  // namespace mirlaxon::models
