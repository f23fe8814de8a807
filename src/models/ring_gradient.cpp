// Derivatives and per-power components of the ring family's limb laws.
#include <cmath>

#include "models/limb_law.hpp"
#include "models/magnifications.hpp"

namespace mirlaxon::models {

ModelResult<GradientSamples> witt_mao_gradient(std::span<const double> l, double re, double rstar) {
  return then(witt_mao_magnification(l, re, rstar), [&](const Samples& value) -> ModelResult<GradientSamples> {
    return GradientSamples{value, Samples(l.size(), NAN), Samples(l.size(), NAN)};
  });
}

ModelResult<GradientSamples> integrated_limb_law_heyrovsky_gradient(std::span<const double> l, double re,
                                                                    double rstar, std::span<const double> powers,
                                                                    std::span<const double> weights) {
  return then(integrated_limb_law_heyrovsky_magnification(l, re, rstar, powers, weights),
              [&](const Samples& value) -> ModelResult<GradientSamples> {
                return GradientSamples{value, Samples(l.size(), NAN), Samples(l.size(), NAN)};
              });
}

ModelResult<ComponentSamples> integrated_limb_law_heyrovsky_components(std::span<const double> l, double re,
                                                                       double rstar,
                                                                       std::span<const double> powers) {
  ComponentSamples rows;
  for (const double power : powers) {
    const double one = 1.0;
    ModelResult<Samples> row = integrated_limb_law_heyrovsky_magnification(l, re, rstar, std::span(&power, 1),
                                                                            std::span(&one, 1));
    if (!row) return std::unexpected(row.error());
    rows.push_back(std::move(*row));
  }
  return rows;
}

}  // namespace mirlaxon::models
