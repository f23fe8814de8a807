// The ring family's rule over the source radius: ∫₀¹ 2πr·A(l, r)·B(r) dr by a
// fixed set of Gauss–Legendre pieces chosen from the geometry alone, each ring
// one Bulirsch integral run in vector lanes. What the integrand offers:
//  - a logarithmic singularity at the ring through the lens, r = l: the
//    pieces on either side are graded toward it, x = l ∓ L·σ⁵, which turns
//    log|x − l| into σ⁴·log σ, smooth enough for a few dozen nodes, and the
//    distance to the ring is formed from the offset L·σ⁵, not by subtraction;
//    where every other feature lies a side length away or more, the side
//    takes instead the generalised Gauss rule exact for x^k and x^k·log x
//    (14 to 20 nodes, against the graded rule's 32);
//    where the ring's other features (its complex singularities 2η off it,
//    its image 2l away) lie much closer than the side is long, the graded
//    piece spans a few of them and pieces spread exponentially,
//    x = g·(e^(σΛ) − 1), cover the rest;
//  - for a limb law B = Σ w_k·μ^p_k (μ = √(1 − r²)), the limb's square root:
//    the rule runs in t = tan(θ/2), r = sin θ = 2t/(1 + t²),
//    μ = (1 − t²)/(1 + t²), where the profile is smooth and nothing needs a
//    trigonometric function;
//  - for a flux map, a kink or a jump at every sample radius: one piece per
//    segment, graded toward the ring when it lies in or next to the piece,
//    spread exponentially from the end nearer the ring when the ring is less
//    than half the piece's length beyond it, plain Gauss–Legendre with a
//    node count set by its distance otherwise;
//  - just outside the limb (1 ≤ l < 1.5) the ring's singularity √(2(l − 1))
//    off t = 1: graded toward the limb; the lens at the centre: spread
//    exponentially from it on the scale η;
//  - with the lens 1.5 source radii out or more, nothing singular on [0, 1]:
//    a product rule, ∫f·B ≈ Σ_j W_j·f(x_j) with the weights W_j integrating
//    the degree-23 interpolant of f = 2πr·A exactly against B, formed once
//    per profile (so a 101-sample map costs what the built-in profile does);
//  - beyond ten source radii the far-field series, outside this rule.
// The rule has no state and no tuning at run time: a separation's nodes
// depend on the separation and the profile alone.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "models/far_field.hpp"
#include "models/flux_map.hpp"
#include "models/ring.hpp"

namespace mirlaxon::models {

// The rule's nodes for one separation: radius, distance l − r to the ring
// through the lens, and weight (the measure times 2πr·B(r)).
struct SourceNodes {
  std::vector<double> r, d, weight, ring;
  void clear() {
    r.clear();
    d.clear();
    weight.clear();
  }
  void add(double radius, double distance, double w) {
    r.push_back(radius);
    d.push_back(distance);
    weight.push_back(w);
  }
};

inline constexpr std::size_t PRODUCT_POINTS = 24;

class SourceProfile {
 public:
  // B(r) = Σ_k weights[k]·μ^powers[k], μ = √(1 − r²), powers finite and ≥ 0.
  static SourceProfile limb_law(std::span<const double> powers, std::span<const double> weights);
  // The piecewise-linear function through (bl[k], bf[k]) over [0, 1], zero
  // outside the sampled radii; one sample is a constant, none a dark source.
  // Prepared for the given separations only (a 101-sample map's far-field
  // moments and product weights cost more than a separation).
  static SourceProfile flux_map(std::span<const double> bl, std::span<const double> bf,
                                std::span<const double> separations);

  // A limb law's brightness at radius r, NaN beyond the limb.
  double limb_law_brightness(double r) const { return brightness_of_mu(std::sqrt((1.0 - r) * (1.0 + r))); }

  // ∫₀¹ 2πr·B(r) dr, exact (per linear piece for a flux map).
  double normalisation() const { return normalisation_; }
  const FarFieldMoments& moments() const { return moments_; }

  // ∫₀¹ 2πr·A(l, r)·B(r) dr for a separation 0 ≤ l < FAR_FIELD_DISTANCE and
  // the rings of a finite η > 0; `nodes` is scratch space the caller keeps
  // from one separation to the next.
  double integrate(double l, const RingsAtSeparation& rings, SourceNodes& nodes) const;

  // A limb law's nodes from the rule's variable: on entry r, d and weight
  // hold t = tan(θ/2), (l − r)·(1 + t²) and dt; on return r, l − r and the
  // weight dt·(dr/dt)·2πr·B(r). Vector lanes where the processor has them,
  // unless `vector_lanes` is false: the scalar pass throughout, as without
  // AVX2, with the same bits.
  void finish_limb_nodes(SourceNodes& nodes, bool vector_lanes) const;

 private:
  void add_limb_nodes(double l, double eta, SourceNodes& nodes) const;
  void add_flux_map_nodes(double l, double eta, SourceNodes& nodes) const;
  double brightness_of_mu(double mu) const;

  bool limb_law_ = true;
  // A limb law's weights of μ⁰, μ^½, μ, μ^3/2, μ², and of any other powers.
  double flat_ = 0.0, half_ = 0.0, linear_ = 0.0, three_halves_ = 0.0, quadratic_ = 0.0;
  bool has_root_ = false;
  bool fractional_powers_ = false;  // a power of μ that is not a whole number
  std::vector<double> other_powers_, other_weights_;
  std::vector<LinearPiece> pieces_;
  double normalisation_ = 0.0;
  FarFieldMoments moments_{};
  std::array<double, PRODUCT_POINTS> product_weights_{};  // W_j, without the 2πr
};

}  // namespace mirlaxon::models
