// The uniform-disk family's sources: for each separation,
// ∫₀¹ 2πr·(F(r) + (r/2)·F′(r))·B(r) dr / N, where F(y) is the magnification
// of a uniform disk of radius y source radii about the source centre, so that
// F + (r/2)F′ is the magnification of the ring at r; F′ by a central
// difference (of r²F, see disk_integrand.hpp). Far from the source the
// far-field series with the profile's moments.
#include <array>
#include <cmath>

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
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    if (regular_rho && classify_separation(separation) == Regime::far_field) {
      result.push_back(far_field_mean(rho * separation, 1.0 / separation, profile.moments()));
      continue;
    }
    // Uniform disks of radius y source radii (ρ·y Einstein radii) about the
    // source centre, seen from the lens at ρ·l.
    const DiskIntegrand integrand(DisksAtSeparation(rho * separation, rho), brightness);
    const double integral = quadrature::double_exponential::integrate_unit_in_pieces(
        integrand, stencil_points(separation), profile.breaks(), SOURCE_TARGET_ERROR);
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
