// The ring family's sources: a profile integrated over rings by the rule of
// ring_source_rule.hpp, or a weighted sum of rings.
#include <cmath>

#include "ellip/kernel_result.hpp"
#include "models/domain.hpp"
#include "models/far_field.hpp"
#include "models/flux_map.hpp"
#include "models/limb_law.hpp"
#include "models/magnifications.hpp"
#include "models/reference_forms.hpp"
#include "models/ring.hpp"
#include "models/ring_source_rule.hpp"

namespace mirlaxon::models {

namespace {

// For each separation, ∫₀¹ 2πr·A_ring(l, r)·B(r) dr / N into out[i], and
// the far-field series from FAR_FIELD_DISTANCE on. The average depends on ρ²
// alone, so a negative ρ gives the value for |ρ|; re = 0 (ρ infinite) is no
// lensing, 1 at every separation; a dark profile, ρ zero or NaN, and a NaN or
// negative separation have no magnification to give: NaN. Nothing here can
// fail once the profile is valid, so the values go straight to the caller's
// memory: no result of its own to allocate and copy.
template <class Profile>
void source_averages(std::span<const double> l, double re, double rstar, const Profile& profile,
                     std::span<double> out) {
  const RingFamilySource source = ring_family_source(re, rstar);
  SourceNodes nodes;
  for (std::size_t i = 0; i < l.size(); ++i) {
    const double separation = l[i];
    const Regime regime = classify_separation(separation);
    switch (ring_family_average(profile.dark(), source.radius, regime)) {
      case RingFamilyAverage::none: out[i] = NAN; break;
      case RingFamilyAverage::unlensed: out[i] = 1.0; break;
      case RingFamilyAverage::far_field:
        out[i] = far_field_mean(source.rho * separation, 1.0 / separation, profile.moments());
        break;
      case RingFamilyAverage::over_source: {
        const RingsAtSeparation rings(separation, source.eta);
        const auto ring_values = [&rings](std::span<const double> r, std::span<const double> d,
                                          std::span<double> values) { rings.at_batch(r, d, values); };
        out[i] = source_integral(profile, separation, regime, source.eta, ring_values, nodes) /
                 profile.normalisation();
        break;
      }
    }
  }
}

}  // namespace

ModelResult<void> integrated_heyrovsky_magnification_into(std::span<const double> l, double re, double rstar,
                                                          std::span<double> out) {
  source_averages(l, re, rstar, LimbLaw::built_in(), out);
  return {};
}

ModelResult<void> integrated_flux_map_heyrovsky_magnification_into(std::span<const double> l, double re,
                                                                   double rstar, std::span<const double> bl,
                                                                   std::span<const double> bf,
                                                                   std::span<double> out) {
  const ModelResult<FluxMap> map = FluxMap::from(bl, bf);
  if (!map) return std::unexpected(map.error());
  source_averages(l, re, rstar, *map, out);
  return {};
}

ModelResult<void> integrated_limb_law_heyrovsky_magnification_into(std::span<const double> l, double re,
                                                                   double rstar, std::span<const double> powers,
                                                                   std::span<const double> weights,
                                                                   std::span<double> out) {
  const ModelResult<LimbLaw> law = LimbLaw::from(powers, weights);
  if (!law) return std::unexpected(law.error());
  source_averages(l, re, rstar, *law, out);
  return {};
}

ModelResult<Samples> integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar) {
  Samples result(l.size());
  source_averages(l, re, rstar, LimbLaw::built_in(), std::span<double>(result));
  return result;
}

ModelResult<Samples> integrated_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                                 double rstar, std::span<const double> bl,
                                                                 std::span<const double> bf) {
  Samples result(l.size());
  const ModelResult<void> written = integrated_flux_map_heyrovsky_magnification_into(l, re, rstar, bl, bf, result);
  if (!written) return std::unexpected(written.error());
  return result;
}

ModelResult<Samples> integrated_limb_law_heyrovsky_magnification(std::span<const double> l, double re,
                                                                 double rstar, std::span<const double> powers,
                                                                 std::span<const double> weights) {
  Samples result(l.size());
  const ModelResult<void> written =
      integrated_limb_law_heyrovsky_magnification_into(l, re, rstar, powers, weights, result);
  if (!written) return std::unexpected(written.error());
  return result;
}

ModelResult<Samples> discrete_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                               double rstar, std::span<const double> bl,
                                                               std::span<const double> bf) {
  if (bl.size() != bf.size()) return std::unexpected(ModelError::equality_assertion(bl.size(), bf.size()));
  Samples result;
  result.reserve(l.size());
  for (const double separation : l) {
    double sum = 0.0;
    for (std::size_t j = 0; j < bl.size(); ++j) {
      const ModelResult<double> ring = heyrovsky_magnification(separation, bl[j], re, rstar);
      if (!ring) return std::unexpected(ring.error());
      sum = sum + *ring * bf[j];
    }
    result.push_back(sum);
  }
  return result;
}

}  // namespace mirlaxon::models
