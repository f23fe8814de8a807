// The ring family's rule over the source radius: ∫₀¹ 2πr·A(l, r)·B(r) dr by a
// fixed set of Gauss–Legendre pieces chosen from the geometry alone, for a
// separation 0 ≤ l < FAR_FIELD_DISTANCE. What the integrand offers:
//  - a logarithmic singularity at the ring through the lens, r = l: the
//    pieces on either side take the rules of quadrature/log_singular.hpp for
//    a logarithm at their end, with the ring's other features (its complex
//    singularities 2η off it, its image 2l away) as the distances those rules
//    follow, and the distance to the ring formed from each node's offset, not
//    by subtraction;
//  - for a limb law B = Σ w_k·μ^p_k (μ = √(1 − r²)), the limb's square root:
//    the rule runs in t = tan(θ/2), r = sin θ = 2t/(1 + t²),
//    μ = (1 − t²)/(1 + t²), where the profile is smooth and nothing needs a
//    trigonometric function;
//  - for a flux map, a kink or a jump at every sample radius: one piece per
//    segment, graded toward the ring when it lies in or next to the piece,
//    spread exponentially from the end nearer the ring when the ring is less
//    than half the piece's length beyond it, plain Gauss–Legendre with a
//    node count set by its distance otherwise;
//  - just outside the limb (1 ≤ l < PRODUCT_RULE_FROM) the ring's
//    singularity √(2(l − 1)) off t = 1: graded toward the limb; the lens at
//    the centre: spread exponentially from it on the scale η;
//  - from PRODUCT_RULE_FROM on, nothing singular on [0, 1]: the profile's
//    24-point product rule (quadrature/product_rule.hpp), so a 101-sample map
//    costs what the built-in profile does.
// The rule has no state and no tuning at run time: a separation's nodes
// depend on the separation, η and the profile alone. The rings themselves are
// the caller's: the rule asks `rings(r, d, values)` for all its nodes at once.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "models/domain.hpp"
#include "models/flux_map.hpp"
#include "models/limb_law.hpp"

namespace mirlaxon::models {

// The rule's nodes for one separation: radius, distance l − r to the ring
// through the lens, and weight (the measure times 2πr·B(r)); `ring` holds the
// ring averages once they are asked for; a limb law's nodes keep, when asked,
// μ and the measure dr/μ (what other weights are made of: dr = 2μ·dt/(1 + t²),
// and a weight with μ^(p − 2) wants μ as exact as the caller can form it).
// Scratch space a
// caller keeps from one separation to the next.
struct SourceNodes {
  std::vector<double> r, d, weight, ring, mu, measure_over_mu;
  void clear() {
    r.clear();
    d.clear();
    weight.clear();
  }
  [[gnu::always_inline]] void add(double radius, double distance, double w) {
    r.push_back(radius);
    d.push_back(distance);
    weight.push_back(w);
  }
};

// The nodes for separation l in `regime` (near_source or product_rule).
void place_source_nodes(const LimbLaw& law, double l, Regime regime, double eta, SourceNodes& nodes,
                        bool keep_measure = false);
void place_source_nodes(const FluxMap& map, double l, Regime regime, double eta, SourceNodes& nodes);

// A limb law's nodes from the rule's variable: on entry r, d and weight hold
// t = tan(θ/2), (l − r)·(1 + t²) and dt; on return r, l − r and the weight
// dt·(dr/dt)·2πr·B(r), four nodes at a time where the lanes run; with
// keep_measure, μ and dt·(dr/dt)/μ too.
void finish_limb_nodes(const LimbLaw& law, SourceNodes& nodes, bool keep_measure = false);

// Σ_i weight[i]·value[i], in order.
inline double weighted_sum(std::span<const double> weight, std::span<const double> value) {
  double sum = 0.0;
  for (std::size_t i = 0; i < weight.size(); ++i) sum = sum + weight[i] * value[i];
  return sum;
}

// ∫₀¹ 2πr·A(l, r)·B(r) dr, A from `rings`.
template <class Profile, class Rings>
double source_integral(const Profile& profile, double l, Regime regime, double eta, const Rings& rings,
                       SourceNodes& nodes) {
  place_source_nodes(profile, l, regime, eta, nodes);
  nodes.ring.resize(nodes.r.size());
  rings(std::span<const double>(nodes.r), std::span<const double>(nodes.d), std::span<double>(nodes.ring));
  return weighted_sum(nodes.weight, nodes.ring);
}

}  // namespace mirlaxon::models
