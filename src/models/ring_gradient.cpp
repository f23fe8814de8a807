// Derivatives of the magnification for gradient fits, and a limb law's
// per-power components.
//
// With u = l·ρ and ρ in Einstein radii, A(u, ρ) = (1/N)∫₀¹ 2πr·B(r)·A_ring(l, r) dr.
// Differentiating under the integral would meet the ring through the lens as
// a pole; moved onto the profile by parts (B′(r) = −r·G(μ)), the derivatives
// take the same rings and their first angular moments C (ring.hpp):
//   ∂A/∂u = (2π/(Nρ))·[B(1)·C(l, 1) + ∫₀¹ r²·G(μ)·C(l, r) dr],
//   ∂A/∂ρ = (2π/(Nρ))·[B(1)·A_ring(l, 1) + ∫₀¹ r³·G(μ)·A_ring(l, r) dr] − 2A/ρ.
// G has μ^(p − 2) at the limb: for the powers p ≥ 1 that is μ^(p − 1) in the
// rule's variable t (dr = 2μ·dt/(1 + t²)), which the value's nodes take; for
// p < 1 it is infinite there. Since ∫₀¹ r³·μ^(p − 2) dr = 2/(p(p + 2))
// exactly, the limb's values are taken out of those powers' integrands,
//   ∫₀¹ r²·G_p·C dr = C(l, 1)·2w/(p + 2) + ∫₀¹ r²·G_p·(C(l, r) − r·C(l, 1)) dr,
// and the same with A_ring(l, r) − A_ring(l, 1) for ∂A/∂ρ: what is left
// vanishes at the limb as fast as the value's integrand, and the value's own
// nodes take it. (Subtracting for every power would cancel: next to the limb
// C(l, 1) is large where the derivative of a law dark at the limb is small.)
// ∂A/∂ρ is a small difference of terms of order 2A/ρ far from the ring
// through the lens: its constant part cancels exactly (∫₀¹ r³·G dr + B(1) =
// N/π), so it is summed over the rings' excesses A_ring − 1 and A − 1, not
// over the averages themselves. The product rule's weights integrate against
// G exactly, so there the first form serves; the far field differentiates
// its series. On the limb (l = 1) A_ring and C are infinite at r = 1: the
// derivatives are infinite for a limb brightness B(1) ≠ 0, and otherwise the
// unsubtracted integrals converge.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "constants.hpp"
#include "ellip/lanes.hpp"
#include "models/disk.hpp"
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

struct GradientScratch {
  SourceNodes nodes;
  std::vector<double> moments;
};

struct Point {
  double value, d_u, d_rho;
};

// The value, bit for bit as the law's magnification, and its derivatives at
// one separation in the source's reach (l < FAR_FIELD_DISTANCE).
Point near_gradient(const LimbLaw& law, const SlopeWeights* slope, double l, Regime regime,
                    const RingFamilySource& source, GradientScratch& scratch) {
  SourceNodes& nodes = scratch.nodes;
  const RingsAtSeparation rings(l, source.eta);
  place_source_nodes(law, l, regime, source.eta, nodes, true);
  const std::size_t count = nodes.r.size();
  nodes.ring.resize(count);
  scratch.moments.resize(count);
  rings.at_batch_with_moments(nodes.r, nodes.d, nodes.ring, scratch.moments);
  const double n = law.normalisation();
  const double value = weighted_sum(nodes.weight, nodes.ring) / n;
  const double* const c = scratch.moments.data();
  const double* const a = nodes.ring.data();
  const double scale = TWO_PI / (n * source.rho);
  const double limb = law.limb_brightness();
  if (regime == Regime::product_rule) {
    const double c1 = rings.moment_at(1.0), a1 = rings.at(1.0);
    const double sum_u = weighted_sum(slope->for_u, std::span(c, count));
    double sum_rho = 0.0;
    for (std::size_t j = 0; j < count; ++j) sum_rho = sum_rho + slope->for_rho[j] * (a[j] - 1.0);
    const double excess = value - 1.0;
    return {value, scale * (limb * c1 + sum_u),
            scale * (limb * (a1 - 1.0) + sum_rho) - (excess + excess) / source.rho};
  }
  if (l == 1.0 && limb != 0.0) {
    const double sign = limb / n > 0.0 ? 1.0 : -1.0;
    return {value, -sign * INFINITY, sign * INFINITY};
  }
  // On the limb the limb's values are infinite: the powers below 1 then go
  // unsubtracted: their integrals converge, with μ^(p − 1) at the limb, which
  // μ from the node's exact offset and the limb piece's steep grading take.
  const bool subtract = l != 1.0;
  const double c1 = subtract ? rings.moment_at(1.0) : 0.0;
  const double a1 = subtract ? rings.at(1.0) : 1.0;  // unsubtracted: the excess over 1 as for the others
  double sum_u = 0.0, sum_rho = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double r = nodes.r[i];
    // With the lens on the limb, l − r = 1 − r comes exact from the node's
    // offset (t rounds to 1 within 1e-16 of the limb, where μ^(p − 1) still
    // counts): μ = √((1 − r)(1 + r)).
    const double mu = subtract ? nodes.mu[i] : std::sqrt(nodes.d[i] * (1.0 + r));
    if (!(mu > 0.0)) continue;  // on the limb, where the integrands vanish
    const double measure = (nodes.measure_over_mu[i] * mu) * (r * r);
    const LimbLaw::Slope g = law.slope_of_mu(mu);
    const double regular = measure * g.from_one, singular = measure * g.below_one;
    sum_u = sum_u + (regular * c[i] + singular * (c[i] - r * c1));
    sum_rho = sum_rho + r * (regular * (a[i] - 1.0) + singular * (a[i] - a1));
  }
  const double limb_terms = subtract ? limb + law.limb_slope_integral() : 0.0;
  const double excess = value - 1.0;
  return {value, scale * (limb_terms * c1 + sum_u),
          scale * (limb_terms * (a1 - 1.0) + sum_rho) - (excess + excess) / source.rho};
}

}  // namespace

ModelResult<GradientSamples> integrated_limb_law_heyrovsky_gradient(std::span<const double> l, double re,
                                                                    double rstar, std::span<const double> powers,
                                                                    std::span<const double> weights) {
  return then(LimbLaw::from(powers, weights), [&](const LimbLaw& law) -> ModelResult<GradientSamples> {
    const RingFamilySource source = ring_family_source(re, rstar);
    GradientScratch scratch;
    std::optional<SlopeWeights> slope;
    GradientSamples result;
    result.value.reserve(l.size());
    result.d_u.reserve(l.size());
    result.d_rho.reserve(l.size());
    for (const double separation : l) {
      const Regime regime = classify_separation(separation);
      Point point{NAN, NAN, NAN};
      switch (ring_family_average(law.dark(), source.radius, regime)) {
        case RingFamilyAverage::none: break;
        case RingFamilyAverage::unlensed: point = {1.0, 0.0, 0.0}; break;
        case RingFamilyAverage::far_field: {
          const FarFieldGradient far = far_field_gradient(source.rho * separation, 1.0 / separation, law.moments());
          point = {far.mean, far.d_u, far.d_radius};
          break;
        }
        case RingFamilyAverage::over_source:
          if (regime == Regime::product_rule && !slope) slope = slope_weights(law);
          point = near_gradient(law, slope ? &*slope : nullptr, separation, regime, source, scratch);
          if (separation == 0.0) point.d_u = 0.0;  // A is even in l
          break;
      }
      result.value.push_back(point.value);
      result.d_u.push_back(source.sign * point.d_u);
      result.d_rho.push_back(source.sign * point.d_rho);
    }
    return result;
  });
}

// For a regular ρ and separations all in the domain the value comes with its
// derivatives (the far field's from one pass over the series, the same bits
// as witt_mao_magnification). Otherwise the values are
// witt_mao_magnification's, which keeps the reference formula outside the
// domain (not an average: −A at a negative ρ, mostly), and the derivatives
// are given where the disk is one: ρ > 0 and l ≥ 0, finite; NaN elsewhere.
ModelResult<GradientSamples> witt_mao_gradient(std::span<const double> l, double re, double rstar) {
  const double rho = rstar / re;
  const bool regular_rho = classify_radius(rho) == Radius::regular;
  const auto in_domain = [&](double separation) {
    const double u = rho * separation;
    return regular_rho && u >= 0.0 && std::isfinite(u);
  };
  std::optional<Samples> reference;
  if (!std::all_of(l.begin(), l.end(), in_domain)) {
    ModelResult<Samples> values = witt_mao_magnification(l, re, rstar);
    if (!values) return std::unexpected(values.error());
    reference = std::move(*values);
  }
  const double eta = re / rstar;
  GradientSamples result;
  result.value.reserve(l.size());
  result.d_u.reserve(l.size());
  result.d_rho.reserve(l.size());
  for (std::size_t i = 0; i < l.size(); ++i) {
    const double separation = l[i];
    const double u = rho * separation;
    Point point{reference ? (*reference)[i] : NAN, NAN, NAN};
    if (!in_domain(separation)) {
    } else if (in_far_field(u, rho)) {
      const FarFieldGradient far = far_field_gradient(u, rho / u, DISK_MOMENTS);
      point = {reference ? point.value : far.mean, far.d_u, far.d_radius};
    } else {
      if (!reference) point.value = disk_magnification(u, rho);
      const RingsAtSeparation rings(separation, eta);
      const double two_over_rho = 2.0 / rho;
      point.d_u = separation == 0.0 ? 0.0 : two_over_rho * rings.moment_at(1.0);
      point.d_rho = two_over_rho * (rings.at(1.0) - point.value);
    }
    result.value.push_back(point.value);
    result.d_u.push_back(point.d_u);
    result.d_rho.push_back(point.d_rho);
  }
  return result;
}

// μ^p at a node (or four), the standard powers from one square root.
struct PowerOfMu {
  double p;
  int half_steps;  // 2p for 0, ½, 1, 3/2 and 2, else −1
  template <class Real>
  Real at(Real mu, Real root) const {
    namespace lanes = ellip::lanes;
    switch (half_steps) {
      case 0: return Real(1.0);
      case 1: return root;
      case 2: return mu;
      case 3: return mu * root;
      case 4: return mu * mu;
      default: break;
    }
    constexpr std::size_t width = lanes::Type<Real>::width;
    std::array<double, width> values;
    lanes::store(mu, values.data());
    for (double& value : values) value = std::pow(value, p);
    return lanes::load(values.data(), lanes::Type<Real>{});
  }
};

// Each power as a law of its own (its normalisation, far-field moments and
// product-rule weights), the rule's nodes those of all the powers together:
// the rings are evaluated once per node for every power, and the far field's
// series once per separation.
ModelResult<ComponentSamples> integrated_limb_law_heyrovsky_components(std::span<const double> l, double re,
                                                                       double rstar,
                                                                       std::span<const double> powers) {
  const std::vector<double> ones(powers.size(), 1.0);
  return then(LimbLaw::from(powers, ones), [&](const LimbLaw& all) -> ModelResult<ComponentSamples> {
    const std::size_t count_powers = powers.size();
    std::vector<LimbLaw> laws;
    std::vector<FarFieldMoments> moments;
    std::vector<PowerOfMu> power_of_mu;
    std::vector<ProductWeights> product;  // W_j·2πx_j, as the value's nodes carry them
    const auto rule = quadrature::gauss_legendre::rule(product_rule::POINTS);
    bool needs_root = false;
    for (std::size_t k = 0; k < count_powers; ++k) {
      laws.push_back(*LimbLaw::from(powers.subspan(k, 1), std::span(ones).first(1)));
      moments.push_back(laws.back().moments());
      const double twice = powers[k] + powers[k];
      const bool standard = twice == std::floor(twice) && twice <= 4.0;
      power_of_mu.push_back({powers[k], standard ? static_cast<int>(twice) : -1});
      needs_root = needs_root || (standard && (twice == 1.0 || twice == 3.0));
    }
    // Formed at the first separation that takes the product rule.
    const auto product_weights = [&] {
      if (!product.empty()) return;
      for (const LimbLaw& law : laws) {
        ProductWeights w{};
        for (std::size_t j = 0; j < product_rule::POINTS; ++j) {
          w[j] = law.product_weights()[j] * (TWO_PI * rule[j].abscissa);
        }
        product.push_back(w);
      }
    };
    FarFieldMoments largest{};
    for (const FarFieldMoments& m : moments) {
      for (int k = 0; k < FAR_FIELD_TERMS; ++k) largest[k] = std::fmax(largest[k], std::fabs(m[k]));
    }
    const RingFamilySource source = ring_family_source(re, rstar);
    ComponentSamples rows(count_powers, Samples(l.size()));
    SourceNodes nodes;
    std::vector<double> sums(count_powers), far(count_powers), partial(4 * count_powers);
    for (std::size_t i = 0; i < l.size(); ++i) {
      const double separation = l[i];
      const Regime regime = classify_separation(separation);
      const RingFamilyAverage average = ring_family_average(all.dark(), source.radius, regime);
      if (average == RingFamilyAverage::none || average == RingFamilyAverage::unlensed) {
        for (Samples& row : rows) row[i] = average == RingFamilyAverage::none ? NAN : 1.0;
        continue;
      }
      if (average == RingFamilyAverage::far_field) {
        far_field_means(source.rho * separation, 1.0 / separation, moments, largest, far);
        for (std::size_t k = 0; k < count_powers; ++k) rows[k][i] = far[k];
        continue;
      }
      const RingsAtSeparation rings(separation, source.eta);
      place_source_nodes(all, separation, regime, source.eta, nodes, true);
      const std::size_t count = nodes.r.size();
      nodes.ring.resize(count);
      rings.at_batch(nodes.r, nodes.d, nodes.ring);
      std::fill(sums.begin(), sums.end(), 0.0);
      if (regime == Regime::product_rule) {
        product_weights();
        for (std::size_t k = 0; k < count_powers; ++k) sums[k] = weighted_sum(product[k], nodes.ring);
      } else {
        // Four partial sums per power where the lanes run, added at the end.
        namespace lanes = ellip::lanes;
        std::fill(partial.begin(), partial.end(), 0.0);
        const double* const measure = nodes.measure_over_mu.data();
        const double* const radius = nodes.r.data();
        const double* const ring = nodes.ring.data();
        const double* const mus = nodes.mu.data();
        double* const partial_sums = partial.data();
        const PowerOfMu* const kinds = power_of_mu.data();
        lanes::for_each_group(count, [=](std::size_t i, auto type) {
          using Real = typename decltype(type)::type;
          const Real mu = lanes::load(mus + i, type);
          const Real base = (lanes::load(measure + i, type) * mu) *
                            ((TWO_PI * lanes::load(radius + i, type)) * lanes::load(ring + i, type));
          const Real root = needs_root ? lanes::sqrt(mu) : Real(0.0);
          for (std::size_t k = 0; k < count_powers; ++k) {
            double* const sum = partial_sums + 4 * k;
            lanes::store(lanes::load(sum, type) + base * kinds[k].at(mu, root), sum);
          }
        });
        for (std::size_t k = 0; k < count_powers; ++k) {
          const double* const sum = partial_sums + 4 * k;
          sums[k] = (sum[0] + sum[1]) + (sum[2] + sum[3]);
        }
      }
      for (std::size_t k = 0; k < count_powers; ++k) rows[k][i] = sums[k] / laws[k].normalisation();
    }
    return rows;
  });
}

}  // namespace mirlaxon::models
