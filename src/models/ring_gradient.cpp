// Derivatives of the magnification for gradient fits, and a limb law's
// per-power components.
//
// With u = l·ρ and ρ in Einstein radii, A(u, ρ) = (1/N)∫₀¹ 2πr·B(r)·A_ring(l, r) dr.
// Differentiating under the integral would meet the ring through the lens as
// a pole; moved onto the profile by parts (B′(r) = −r·G(μ)), the derivatives
// take the same rings and their first angular moments C (ring.hpp):
//   ∂A/∂u = (2π/(Nρ))·[B(1)·C(l, 1) + ∫₀¹ r²·G(μ)·C(l, r) dr],
//   ∂A/∂ρ = (2π/(Nρ))·[B(1)·A_ring(l, 1) + ∫₀¹ r³·G(μ)·A_ring(l, r) dr] − 2A/ρ.
// G has μ^(p − 2) at the limb, which the value's rule does not take. Since
// ∫₀¹ r³·G dr = N/π − B(1) exactly, the limb's values can be taken out:
//   ∂A/∂u = (2/ρ)·C(l, 1) + (2π/(Nρ))·∫₀¹ r²·G(μ)·(C(l, r) − r·C(l, 1)) dr,
//   ∂A/∂ρ = (2/ρ)·(A_ring(l, 1) − A) + (2π/(Nρ))·∫₀¹ r³·G(μ)·(A_ring(l, r) − A_ring(l, 1)) dr,
// whose integrands vanish at the limb as fast as the value's: the value's own
// nodes take them (a uniform disk is the first term alone). The product
// rule's weights integrate against G exactly, so there the first form
// serves; the far field differentiates its series. On the limb (l = 1) A_ring
// and C are infinite at r = 1: the derivatives are infinite for a limb
// brightness B(1) ≠ 0, and otherwise the first form's integrals converge.
#include <cmath>
#include <optional>
#include <vector>

#include "constants.hpp"
#include "models/domain.hpp"
#include "models/far_field.hpp"
#include "models/limb_law.hpp"
#include "models/magnifications.hpp"
#include "models/ring.hpp"
#include "models/ring_source_rule.hpp"
#include "quadrature/gauss_legendre.hpp"
#include "quadrature/product_rule.hpp"

namespace mirlaxon::models {

namespace {

namespace product_rule = quadrature::product_rule;
using ProductWeights = std::array<double, product_rule::POINTS>;

// The product rule's weights against r²·G(μ) and r³·G(μ). Power p's term
// w·p·μ^(p − 2)·dr runs in r = 1 − v^k, k = 2⌈2p⌉/p: μ² = v^k·(2 − v^k), so
// it is w·p·k·v^(⌈2p⌉ − 1)·(2 − v^k)^(p/2 − 1)·dv, a whole power of v times a
// factor smooth to order v^k (k ≥ 4), which the largest Gauss rule takes to
// rounding.
struct SlopeWeights {
  ProductWeights for_u, for_rho;
};

SlopeWeights slope_weights(const LimbLaw& law) {
  namespace gl = quadrature::gauss_legendre;
  product_rule::LegendreMoments for_u, for_rho;
  law.for_each_term([&](double p, double w) {
    if (p == 0.0) return;
    const double whole = std::ceil(p + p);
    const double k = (whole + whole) / p;
    for (const gl::Node& node : gl::rule(gl::MAX_POINTS)) {
      const double v = node.abscissa;
      const double vk = std::pow(v, k);
      const double r = 1.0 - vk;
      const double term = ((w * p) * k) * std::pow(v, whole - 1.0) * std::pow(2.0 - vk, 0.5 * p - 1.0);
      const double r2_term = node.weight * ((r * r) * term);
      for_u.add(r, r2_term);
      for_rho.add(r, r2_term * r);
    }
  });
  return {product_rule::weights(for_u), product_rule::weights(for_rho)};
}

// What a call shares between its separations: ρ and η as the value takes
// them (|ρ|: the average depends on ρ² alone), the derivatives' sign (that of
// ρ: u changes sign with it), and scratch space.
struct Source {
  double rho, eta, sign;
  Radius radius;
};

Source source_of(double re, double rstar) {
  const double signed_rho = rstar / re;
  const double rho = std::fabs(signed_rho);
  return {rho, std::fabs(re / rstar), signed_rho < 0.0 ? -1.0 : 1.0, classify_radius(rho)};
}

struct GradientScratch {
  SourceNodes nodes;
  std::vector<double> moments;
};

struct Point {
  double value, d_u, d_rho;
};

// The value, bit for bit as the law's magnification, and its derivatives at
// one separation in the source's reach (l < FAR_FIELD_DISTANCE).
Point near_gradient(const LimbLaw& law, const SlopeWeights* slope, double l, Regime regime, const Source& source,
                    GradientScratch& scratch) {
  SourceNodes& nodes = scratch.nodes;
  const RingsAtSeparation rings(l, source.eta);
  place_source_nodes(law, l, regime, source.eta, nodes, true);
  const std::size_t count = nodes.r.size();
  nodes.ring.resize(count);
  rings.at_batch(nodes.r, nodes.d, nodes.ring);
  const double n = law.normalisation();
  const double value = weighted_sum(nodes.weight, nodes.ring) / n;
  scratch.moments.resize(count);
  rings.moment_batch(nodes.r, nodes.d, scratch.moments);
  const double* const c = scratch.moments.data();
  const double* const a = nodes.ring.data();
  const double scale = TWO_PI / (n * source.rho);
  const double limb = law.limb_brightness();
  if (regime == Regime::product_rule) {
    const double c1 = rings.moment_at(1.0), a1 = rings.at(1.0);
    const double sum_u = weighted_sum(slope->for_u, std::span(c, count));
    const double sum_rho = weighted_sum(slope->for_rho, std::span(a, count));
    return {value, scale * (limb * c1 + sum_u), scale * (limb * a1 + sum_rho) - (value + value) / source.rho};
  }
  if (l == 1.0 && limb != 0.0) {
    const double sign = limb / n > 0.0 ? 1.0 : -1.0;
    return {value, -sign * INFINITY, sign * INFINITY};
  }
  // On the limb the limb's values are infinite: the powers below 1 then go
  // unsubtracted (their integrals converge, the rule takes them less closely).
  const bool subtract = l != 1.0;
  const double c1 = subtract ? rings.moment_at(1.0) : 0.0;
  const double a1 = subtract ? rings.at(1.0) : 0.0;
  double sum_u = 0.0, sum_rho = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double mu = nodes.mu[i];
    if (!(mu > 0.0)) continue;  // on the limb, where the integrands vanish
    const double r = nodes.r[i];
    const double measure = nodes.measure[i] * (r * r);
    const LimbLaw::Slope g = law.slope_of_mu(mu);
    const double regular = measure * g.from_one, singular = measure * g.below_one;
    sum_u = sum_u + (regular * c[i] + singular * (c[i] - r * c1));
    sum_rho = sum_rho + r * (regular * a[i] + singular * (a[i] - a1));
  }
  const double limb_terms = subtract ? limb + law.limb_slope_integral() : 0.0;
  return {value, scale * (limb_terms * c1 + sum_u),
          scale * (limb_terms * a1 + sum_rho) - (value + value) / source.rho};
}

}  // namespace

ModelResult<GradientSamples> integrated_limb_law_heyrovsky_gradient(std::span<const double> l, double re,
                                                                    double rstar, std::span<const double> powers,
                                                                    std::span<const double> weights) {
  return then(LimbLaw::from(powers, weights), [&](const LimbLaw& law) -> ModelResult<GradientSamples> {
    const Source source = source_of(re, rstar);
    GradientScratch scratch;
    std::optional<SlopeWeights> slope;
    GradientSamples result;
    result.value.reserve(l.size());
    result.d_u.reserve(l.size());
    result.d_rho.reserve(l.size());
    for (const double separation : l) {
      const Regime regime = classify_separation(separation);
      Point point{NAN, NAN, NAN};
      if (law.dark() || regime == Regime::outside_domain ||
          (source.radius != Radius::regular && source.radius != Radius::infinite)) {
      } else if (source.radius == Radius::infinite) {
        point = {1.0, 0.0, 0.0};
      } else if (regime == Regime::far_field) {
        const double u = source.rho * separation;
        const FarFieldSlopes slopes = far_field_slopes(u, source.rho, law.moments());
        point = {far_field_mean(u, 1.0 / separation, law.moments()), slopes.d_u, slopes.d_radius};
      } else {
        if (regime == Regime::product_rule && !slope) slope = slope_weights(law);
        point = near_gradient(law, slope ? &*slope : nullptr, separation, regime, source, scratch);
        if (separation == 0.0) point.d_u = 0.0;  // A is even in l
      }
      result.value.push_back(point.value);
      result.d_u.push_back(source.sign * point.d_u);
      result.d_rho.push_back(source.sign * point.d_rho);
    }
    return result;
  });
}

ModelResult<GradientSamples> witt_mao_gradient(std::span<const double> l, double re, double rstar) {
  return then(witt_mao_magnification(l, re, rstar), [&](const Samples& value) -> ModelResult<GradientSamples> {
    const Source source = source_of(re, rstar);
    GradientSamples result{value, {}, {}};
    result.d_u.reserve(l.size());
    result.d_rho.reserve(l.size());
    for (std::size_t i = 0; i < l.size(); ++i) {
      const double separation = l[i];
      double d_u = NAN, d_rho = NAN;
      if (!(separation >= 0.0) || source.radius == Radius::not_a_number || source.radius == Radius::zero) {
      } else if (source.radius == Radius::infinite) {
        d_u = 0.0;
        d_rho = 0.0;
      } else if (classify_separation(separation) == Regime::far_field) {
        const FarFieldSlopes slopes = far_field_slopes(source.rho * separation, source.rho, DISK_MOMENTS);
        d_u = slopes.d_u;
        d_rho = slopes.d_radius;
      } else {
        const RingsAtSeparation rings(separation, source.eta);
        const double two_over_rho = 2.0 / source.rho;
        d_u = separation == 0.0 ? 0.0 : two_over_rho * rings.moment_at(1.0);
        d_rho = two_over_rho * (rings.at(1.0) - value[i]);
      }
      result.d_u.push_back(source.sign * d_u);
      result.d_rho.push_back(source.sign * d_rho);
    }
    return result;
  });
}

// Each power as a law of its own (its normalisation, far-field moments and
// product-rule weights), the rule's nodes those of all the powers together:
// the rings are evaluated once per node for every power.
ModelResult<ComponentSamples> integrated_limb_law_heyrovsky_components(std::span<const double> l, double re,
                                                                       double rstar,
                                                                       std::span<const double> powers) {
  const std::vector<double> ones(powers.size(), 1.0);
  return then(LimbLaw::from(powers, ones), [&](const LimbLaw& all) -> ModelResult<ComponentSamples> {
    std::vector<LimbLaw> laws;
    laws.reserve(powers.size());
    for (std::size_t k = 0; k < powers.size(); ++k) laws.push_back(*LimbLaw::from(powers.subspan(k, 1), std::span(ones).first(1)));
    const Source source = source_of(re, rstar);
    ComponentSamples rows(powers.size());
    for (Samples& row : rows) row.reserve(l.size());
    SourceNodes nodes;
    std::vector<double> weight;
    for (const double separation : l) {
      const Regime regime = classify_separation(separation);
      if (regime == Regime::outside_domain || (source.radius != Radius::regular && source.radius != Radius::infinite)) {
        for (Samples& row : rows) row.push_back(NAN);
      } else if (source.radius == Radius::infinite) {
        for (Samples& row : rows) row.push_back(1.0);
      } else if (regime == Regime::far_field) {
        for (std::size_t k = 0; k < laws.size(); ++k) {
          rows[k].push_back(far_field_mean(source.rho * separation, 1.0 / separation, laws[k].moments()));
        }
      } else {
        const RingsAtSeparation rings(separation, source.eta);
        place_source_nodes(all, separation, regime, source.eta, nodes, true);
        const std::size_t count = nodes.r.size();
        nodes.ring.resize(count);
        rings.at_batch(nodes.r, nodes.d, nodes.ring);
        weight.resize(count);
        for (std::size_t k = 0; k < laws.size(); ++k) {
          const LimbLaw& law = laws[k];
          if (regime == Regime::product_rule) {
            const auto& product = law.product_weights();
            for (std::size_t i = 0; i < count; ++i) weight[i] = product[i] * (TWO_PI * nodes.r[i]);
          } else {
            for (std::size_t i = 0; i < count; ++i) {
              weight[i] = nodes.measure[i] * ((TWO_PI * nodes.r[i]) * law.brightness_of_mu(nodes.mu[i]));
            }
          }
          rows[k].push_back(weighted_sum(weight, nodes.ring) / law.normalisation());
        }
      }
    }
    return rows;
  });
}

}  // namespace mirlaxon::models
