#include "models/ring_source_rule.hpp"

#include <algorithm>
#include <cmath>

#include "constants.hpp"
#include "ellip/lanes.hpp"
#include "quadrature/gauss_legendre.hpp"
#include "quadrature/log_singular.hpp"

namespace mirlaxon::models {

namespace {

namespace gl = quadrature::gauss_legendre;
using namespace quadrature::log_singular;

// With the lens at the centre, nodes spread exponentially from it.
constexpr std::size_t CENTRE_POINTS = 32;
// A law with a power of μ that is not a whole number: nodes graded toward the
// limb.
constexpr std::size_t LIMB_POINTS = 32;
// A flux-map piece whose end lies closer to the ring than NEAR_PIECE times
// its length gets its nodes spread exponentially from that end.
constexpr double NEAR_PIECE = 0.5;
constexpr std::size_t NEAR_PIECE_POINTS = 40;

static_assert(CENTRE_POINTS % 2 == 0 && NEAR_PIECE_POINTS % 2 == 0, "exponential_offsets takes its nodes in pairs");

// The lambdas that add a node are inlined into the rules that call them
// (always_inline): left to the compiler, a call per node was 3 % of a
// separation's instructions inside the source.

// In t = tan(θ/2): r = 2t/(1 + t²), μ = (1 − t)(1 + t)/(1 + t²) and
// dr = 2μ/(1 + t²)·dt. The distance l − r to the ring follows from the
// offset t − t_l, known exactly, without cancellation.
void add_limb_nodes(const LimbLaw& law, double l, double eta, SourceNodes& nodes) {
  // A node at t, with `distance_over_t2` = (l − r)·(1 + t²) and the weight
  // dt, kept as they are until all nodes are there (see finish_limb_nodes).
  const auto add = [&](double t, double distance_over_t2, double dt) __attribute__((always_inline)) { nodes.add(t, distance_over_t2, dt); };
  // A power of μ that is not a whole number leaves a fractional power of
  // 1 − t at the limb, t = 1, which only a rule graded toward it takes: the
  // outer half of the last side is graded toward the limb instead.
  const auto toward_limb = [&](double extent, const auto& at_t) {
    graded_offsets(extent, LIMB_POINTS, [&](double x, double w) { at_t(1.0 - x, w); });
  };
  if (l == 0.0) {
    // The lens at the centre: 2πr·A varies on the scale of the Einstein
    // radius, whose complex singularities lie at r = ±2iη. l − r = −2t/(1 + t²).
    const auto at_t = [&](double t, double w) { add(t, -(t + t), w); };
    if (!law.fractional_powers()) return exponential_offsets(1.0, eta, CENTRE_POINTS, at_t);
    exponential_offsets(0.5, eta, CENTRE_POINTS, at_t);
    return toward_limb(0.5, at_t);
  }
  if (l < 1.0) {  // the ring at t_l, graded toward it from both sides
    const double t_ring = l / (1.0 + std::sqrt((1.0 - l) * (1.0 + l)));
    const double ring_t2 = 1.0 + t_ring * t_ring;
    const double ring_factor = -2.0 / ring_t2;
    // r(t) − r(t_l) = 2(t − t_l)(1 − t·t_l)/((1 + t²)(1 + t_l²)).
    const auto at_offset = [&](double offset, double w) __attribute__((always_inline)) {
      const double t = t_ring + offset;
      add(t, ring_factor * (offset * (1.0 - t * t_ring)), w);
    };
    // The scale 2η in r is 2η/r′(t_l) in t, at most 2√η where r′ vanishes at
    // the limb (1 − r ≈ (1 − t)²/2 there); the ring's image at r = −l lies
    // about l beyond the ring, outward.
    const double slope = (2.0 * ((1.0 - t_ring) * (1.0 + t_ring)) / ring_t2) / ring_t2;
    const double eta_scale = std::min((eta + eta) / slope, 2.0 * std::sqrt(eta));
    // r(t) − l vanishes again at t = 1/t_l, (1 − t_l²)/t_l beyond the ring:
    // a second logarithm the sides' rules must see (not the split, whose
    // graded piece takes it along with the first).
    const double mirror = ((1.0 - t_ring) * (1.0 + t_ring)) / t_ring;
    side_offsets(t_ring, eta_scale, eta_scale, [&](double x, double w) { at_offset(-x, w); }, mirror);
    const double right = 1.0 - t_ring;
    if (!law.fractional_powers()) {
      return side_offsets(right, std::min(eta_scale, t_ring), std::max(eta_scale, t_ring), at_offset, mirror);
    }
    side_offsets(0.5 * right, std::min(eta_scale, t_ring), std::max(eta_scale, t_ring), at_offset, mirror);
    toward_limb(0.5 * right, [&](double t, double w) { at_offset(t - t_ring, w); });
    return;
  }
  // 1 ≤ l < 1.5: the ring lies l − 1 beyond the limb, t = 1, where
  // 1 − r = (1 − t)²/(1 + t²): its singularities stand √(2(l − 1)) off t = 1.
  // (l − r)(1 + t²) = (l − 1)(1 + t²) + (1 − t)². Where one graded piece
  // covers the side, the ring's singularity still stands within it, at
  // ±i√(2(l − 1)) off the end, not beyond the side: the side takes the count
  // of a graded piece with a feature inside (32 nodes were off by 4e-12 at
  // l = 1 + 1e-6, from η = 1 up).
  const double scale = std::max(2.0 * std::sqrt(eta), std::sqrt((l - 1.0) * 2.0));
  const auto at_offset = [&](double x, double w) __attribute__((always_inline)) {
    const double t = 1.0 - x;
    add(t, (l - 1.0) * (1.0 + t * t) + x * x, w);
  };
  // Where the ring's own scale √(2(l − 1)) is the nearer one, the split
  // follows it, not the farther (the derivatives' integrands, O(1) at the
  // limb where the value's vanish, were 1e-9 off with one graded piece). A
  // power of μ that is not a whole number leaves a fractional power of x at
  // the limb: with the lens on the limb the two meet at x = 0, where the
  // piece next to it is graded steeply.
  const double ring_scale = std::sqrt((l - 1.0) * 2.0);
  if (law.fractional_powers() && l == 1.0) {
    const double inner = std::min(0.25, SIDE_SPLIT * scale);
    steeply_graded_offsets(inner, LIMB_POINTS, at_offset);
    exponential_offsets(1.0 - inner, inner, outer_points(1.0 - inner, inner),
                        [&](double x, double w) { at_offset(inner + x, w); });
    return;
  }
  if (l > 1.0 && ring_scale < scale && SIDE_SPLIT * ring_scale < 0.5) {
    return side_offsets(1.0, ring_scale, scale, at_offset);
  }
  if (!(SIDE_SPLIT * scale < 0.5)) return graded_offsets(1.0, SIDE_INNER_POINTS, at_offset);
  side_offsets(1.0, scale, at_offset);
}

void add_flux_map_nodes(const FluxMap& map, double l, double eta, SourceNodes& nodes) {
  for (const LinearPiece& piece : map.pieces()) {
    const double length = piece.b - piece.a;
    const double slope = piece.fb - piece.fa;
    const double slope_per_length = slope / length;
    // A node `offset` from `end` toward the inside of the piece (direction
    // +1 from a, −1 from b), with the ring `gap` beyond `end`.
    const auto node_from = [&](double end, double direction, double gap) {
      return [&, end, direction, gap](double offset, double w) __attribute__((always_inline)) {
        const double x = end + direction * offset;
        const double b = piece.fa + slope_per_length * (x - piece.a);
        nodes.add(x, -direction * (gap + offset), w * ((TWO_PI * x) * b));
      };
    };
    // The ring's features: the complex singularities 2η off it, and its
    // image at r = −l, 2l inward of it.
    const double eta_scale = eta + eta;
    if (piece.a < l && l < piece.b) {
      side_offsets(l - piece.a, eta_scale, node_from(l, -1.0, 0.0));
      side_offsets(piece.b - l, std::min(eta_scale, l + l), std::max(eta_scale, l + l),
                        node_from(l, 1.0, 0.0));
      continue;
    }
    const bool ring_above = l >= piece.b;
    const double gap = ring_above ? l - piece.b : piece.a - l;
    if (gap == 0.0 && l == 0.0) {
      // The lens at the centre: 2πr·A varies on the scale of the Einstein
      // radius, whose complex singularities lie at r = ±2iη.
      exponential_offsets(length, eta, CENTRE_POINTS, node_from(0.0, 1.0, 0.0));
      continue;
    }
    if (gap == 0.0) {
      if (ring_above) {
        side_offsets(length, eta_scale, node_from(piece.b, -1.0, 0.0));
      } else {
        side_offsets(length, std::min(eta_scale, l + l), std::max(eta_scale, l + l),
                          node_from(piece.a, 1.0, 0.0));
      }
      continue;
    }
    if (gap < EXPONENTIAL_FROM * length) {  // as good as on the ring
      side_offsets(length, gap, eta_scale,
                        ring_above ? node_from(piece.b, -1.0, gap) : node_from(piece.a, 1.0, gap));
      continue;
    }
    if (gap < NEAR_PIECE * length) {
      exponential_offsets(length, gap, NEAR_PIECE_POINTS,
                          ring_above ? node_from(piece.b, -1.0, gap) : node_from(piece.a, 1.0, gap));
      continue;
    }
    for (const gl::Node& node : gl::rule(plain_points(gap / length))) {
      const double x = piece.a + length * node.abscissa;
      const double b = piece.fa + slope * node.abscissa;
      nodes.add(x, l - x, (length * node.weight) * ((TWO_PI * x) * b));
    }
  }
}

// From PRODUCT_RULE_FROM on: the product rule's nodes, 2πr·W_j.
template <class Profile>
void add_product_nodes(const Profile& profile, double l, SourceNodes& nodes) {
  const auto rule = gl::rule(quadrature::product_rule::POINTS);
  const auto& weights = profile.product_weights();
  for (std::size_t j = 0; j < rule.size(); ++j) {
    const double x = rule[j].abscissa;
    nodes.add(x, l - x, weights[j] * (TWO_PI * x));
  }
}

}  // namespace

// From t, (l − r)·(1 + t²) and dt to r, l − r and the weight, in one pass over
// all nodes, four at a time where the lanes run: the division by 1 + t² is
// most of a node's cost outside its ring. A polynomial law's brightness comes
// in the same pass; any other's in a second one.
void finish_limb_nodes(const LimbLaw& law, SourceNodes& nodes, bool keep_measure) {
  namespace lanes = ellip::lanes;
  const std::size_t count = nodes.r.size();
  nodes.ring.resize(count);
  if (keep_measure) {
    nodes.mu.resize(count);
    nodes.measure_over_mu.resize(count);
  }
  double* const kept_mu = nodes.mu.data();
  double* const kept_measure = nodes.measure_over_mu.data();
  double* const r = nodes.r.data();
  double* const d = nodes.d.data();
  double* const weight = nodes.weight.data();
  double* const mu = nodes.ring.data();  // μ until the rings take its place
  const bool polynomial = law.polynomial();
  const double flat = law.flat(), linear = law.linear(), quadratic = law.quadratic();
  lanes::for_each_group(count, [=](std::size_t i, auto type) {
    using Real = typename decltype(type)::type;
    const Real t = lanes::load(r + i, type);
    const Real inverse = 1.0 / (1.0 + t * t);
    const Real radius = (t + t) * inverse;
    const Real m = ((1.0 - t) * (1.0 + t)) * inverse;
    lanes::store(radius, r + i);
    lanes::store(m, mu + i);
    lanes::store(lanes::load(d + i, type) * inverse, d + i);
    Real w = lanes::load(weight + i, type) * ((m + m) * inverse);
    if (keep_measure) {
      lanes::store(m, kept_mu + i);
      lanes::store(lanes::load(weight + i, type) * (inverse + inverse), kept_measure + i);
    }
    if (polynomial) {
      const Real brightness = flat + m * (linear + m * quadratic);
      w = w * ((TWO_PI * radius) * brightness);
    }
    lanes::store(w, weight + i);
  });
  if (polynomial) return;
  for (std::size_t i = 0; i < count; ++i) weight[i] = weight[i] * ((TWO_PI * r[i]) * law.brightness_of_mu(mu[i]));
}

void place_source_nodes(const LimbLaw& law, double l, Regime regime, double eta, SourceNodes& nodes,
                        bool keep_measure) {
  nodes.clear();
  if (regime == Regime::product_rule) return add_product_nodes(law, l, nodes);
  add_limb_nodes(law, l, eta, nodes);
  finish_limb_nodes(law, nodes, keep_measure);
}

void place_source_nodes(const FluxMap& map, double l, Regime regime, double eta, SourceNodes& nodes) {
  nodes.clear();
  if (regime == Regime::product_rule) return add_product_nodes(map, l, nodes);
  add_flux_map_nodes(map, l, eta, nodes);
}

}  // namespace mirlaxon::models
