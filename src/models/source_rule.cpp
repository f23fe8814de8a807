#include "models/source_rule.hpp"

#include <algorithm>
#include <cmath>

#include "constants.hpp"
#include "ellip/bulirsch.hpp"
#include "models/flux_map.hpp"
#include "models/profiles.hpp"
#include "quadrature/gauss_legendre.hpp"
#include "quadrature/log_gauss_nodes.hpp"

namespace mirlaxon::models {

namespace {

namespace gl = quadrature::gauss_legendre;

// With the lens at the centre, nodes spread exponentially from it.
constexpr std::size_t CENTRE_POINTS = 32;
// A law with a power of μ that is not a whole number: nodes graded toward the
// limb.
constexpr std::size_t LIMB_POINTS = 32;
// A flux-map piece whose end lies closer to the ring than NEAR_PIECE times
// its length gets its nodes spread exponentially from that end.
constexpr double NEAR_PIECE = 0.5;
constexpr std::size_t NEAR_PIECE_POINTS = 40;
// From this separation on the product rule.
constexpr double PRODUCT_FROM = 1.5;

// σ⁵ and its derivative 5σ⁴.
double graded(double sigma) { return (sigma * sigma) * (sigma * sigma) * sigma; }
double graded_slope(double sigma) { return 5.0 * ((sigma * sigma) * (sigma * sigma)); }

// The graded rule on [0, 1]: σ⁵ and ω·5σ⁴ at the Gauss–Legendre nodes, per
// point count, formed once.
struct GradedRule {
  std::array<double, gl::MAX_POINTS> offset{}, weight{};
};

const GradedRule& graded_rule(std::size_t points) {
  static const auto rules = [] {
    std::array<GradedRule, gl::MAX_POINTS + 1> all{};
    for (std::size_t n = gl::MIN_POINTS; n <= gl::MAX_POINTS; ++n) {
      const auto rule = gl::rule(n);
      for (std::size_t j = 0; j < n; ++j) {
        all[n].offset[j] = graded(rule[j].abscissa);
        all[n].weight[j] = rule[j].weight * graded_slope(rule[j].abscissa);
      }
    }
    return all;
  }();
  return rules[points];
}

// ∫₀^E f(x) dx for an f with a logarithmic singularity at x = 0, graded as
// x = E·σ⁵: denser than the exponential map on the scales near E, coarser
// far below them. `add(x, w)` receives each offset and weight.
template <class Add>
void graded_offsets(double extent, std::size_t points, const Add& add) {
  const GradedRule& rule = graded_rule(points);
  for (std::size_t j = 0; j < points; ++j) add(extent * rule.offset[j], extent * rule.weight[j]);
}

// ∫₀^E f(x) dx for an f with a logarithmic singularity (or complex
// singularities) at a distance g before x = 0: x = g·(e^(σΛ) − 1) with
// Λ = ln(1 + E/g) makes log(x + g) linear in σ, so that every scale from g to
// E gets the same share of the nodes; dx = Λ·(x + g)·dσ, with x + g = g·e^(σΛ)
// formed from x (one expm1 per node, no exp).
// Below a gap of 1e-8 of the piece the map would spend its nodes on scales
// the integrand does not have: the piece is then graded as if the ring were
// at its end (see ring_side_offsets).
constexpr double EXPONENTIAL_FROM = 1e-8;

// The nodes come in pairs σ, 1 − σ (an even count): with y = e^(σΛ) − 1 and
// x = g·y at σ, the partner is g·(e^((1 − σ)Λ) − 1) = g·((1 + E/g)/(1 + y) − 1)
// = (E − x)/(1 + y), one quotient instead of an expm1, and without
// cancellation: x ≤ g·(√(1 + E/g) − 1) ≤ E/2 on the lower half.
template <class Add>
void exponential_offsets(double extent, double gap, std::size_t points, const Add& add) {
  if (gap < EXPONENTIAL_FROM * extent) return graded_offsets(extent, points, add);
  const double lambda = std::log1p(extent / gap);
  const auto rule = gl::rule(points);
  for (std::size_t j = 0; j < points / 2; ++j) {
    const double y = std::expm1(rule[j].abscissa * lambda);
    const double x = gap * y;
    add(x, rule[j].weight * (lambda * (x + gap)));
    const double partner = (extent - x) / (1.0 + y);
    add(partner, rule[points - 1 - j].weight * (lambda * (partner + gap)));
  }
}

// One side of the ring through the lens, E long in the rule's variable, the
// ring at offset 0, with the integrand's other features (the complex
// singularities 2η off the ring, the ring's image at −l) at the distances
// `near` ≤ `far`: a graded piece over SIDE_SPLIT·near, which takes the
// logarithm, and from there pieces spread exponentially up to SIDE_SPLIT·far
// and on to E, so that each feature gets its nodes however small it is
// beside the source. Pieces the side is too short for are left out.
constexpr double SIDE_SPLIT = 4.0;
constexpr std::size_t SIDE_INNER_POINTS = 40;
constexpr std::size_t SIDE_OUTER_POINTS = 48;
// An outer piece over more than seven decades (Λ > 16) gets more nodes: at
// l = 1 + 1e-9 a one-piece flux map's outer piece spans 4e-9 to 1, where 48
// nodes (2.5 per e-fold) were off by 1.2e-12 and 64 by 2e-13.
constexpr double LONG_OUTER = 1e7;
constexpr std::size_t LONG_OUTER_POINTS = 64;

std::size_t outer_points(double extent, double gap) {
  return extent > LONG_OUTER * gap ? LONG_OUTER_POINTS : SIDE_OUTER_POINTS;
}
constexpr std::size_t SPLIT_INNER_POINTS = 24;
constexpr std::size_t CLEAR_SIDE_POINTS = 32;

// ∫₀^E f(x) dx for f = u(x) + v(x)·log x with u, v analytic well beyond the
// piece: the generalised Gauss rule exact for x^k and x^k·log x, k < n
// (tools/make_log_gauss.py), converges as Gauss–Legendre does on u alone,
// where the graded rule's σ⁴·log σ holds it to n^-10. Against the graded
// 32-node rule on a dense grid of separations and η = 0.01 … 1e4 (flux maps
// and limb laws), with the nearest other feature c side lengths away, the
// sums differed by at most 6e-14 with 14 nodes from c = 4 on (12 nodes:
// 6e-14, 10: 4e-12), 16 from c = 2 (14: 7e-14 there, 12: 2e-12) and 20
// from c = 1 (16: 3e-12): the counts below keep a step of two nodes'
// margin.
struct ClearSide {
  double features;  // the nearest feature, in side lengths, at least
  std::size_t points;
};
constexpr ClearSide CLEAR_SIDES[] = {{4.0, 14}, {2.0, 16}, {1.0, 20}};

template <class Add>
void log_gauss_offsets(double extent, std::size_t points, const Add& add) {
  namespace lg = quadrature::log_gauss;
  for (std::size_t k = 0; k < lg::SIZES.size(); ++k) {
    if (lg::SIZES[k] != points) continue;
    for (std::size_t j = 0; j < points; ++j) {
      const gl::Node& node = lg::NODES[lg::RULE_OFFSETS[k] + j];
      add(extent * node.abscissa, extent * node.weight);
    }
  }
}

static_assert(CENTRE_POINTS % 2 == 0 && NEAR_PIECE_POINTS % 2 == 0 && SIDE_OUTER_POINTS % 2 == 0 &&
                  LONG_OUTER_POINTS % 2 == 0,
              "exponential_offsets takes its nodes in pairs");

// `other` is the distance to a feature the split need not follow but the
// side's rule must see (a limb law's second logarithm, see add_limb_nodes).
template <class Add>
void ring_side_offsets(double extent, double near, double far, const Add& add, double other = INFINITY) {
  const double inner = SIDE_SPLIT * near;
  if (!(inner < 0.5 * extent)) {
    // With every feature beyond the side, only the logarithm is left.
    const double clear = std::min(near, other);
    for (const ClearSide& side : CLEAR_SIDES) {
      if (clear >= side.features * extent) return log_gauss_offsets(extent, side.points, add);
    }
    return graded_offsets(extent, near >= extent ? CLEAR_SIDE_POINTS : SIDE_INNER_POINTS, add);
  }
  graded_offsets(inner, SPLIT_INNER_POINTS, add);
  double start = inner;
  const double middle = SIDE_SPLIT * far;
  if (middle > 2.0 * inner && middle < 0.5 * extent) {
    exponential_offsets(middle - inner, inner, outer_points(middle - inner, inner),
                        [&](double x, double w) { add(inner + x, w); });
    start = middle;
  }
  exponential_offsets(extent - start, start, outer_points(extent - start, start),
                      [&](double x, double w) { add(start + x, w); });
}

template <class Add>
void ring_side_offsets(double extent, double scale, const Add& add) {
  ring_side_offsets(extent, scale, scale, add);
}

// Plain Gauss–Legendre nodes for a piece whose nearest end lies `ratio`
// piece lengths from the ring: the ring's singularity bounds the ellipse of
// analyticity, ρ = 1 + 2·ratio + √((1 + 2·ratio)² − 1), and these counts keep
// ρ^-2n at 6e-13 of the piece or below (ρ^-8 at ratio 8; ρ^-20 = 5e-16 at
// ratio 1), which the piece's share of the source and the smoothness of the
// integrand there take below 1e-13 of the average: on a dense grid of
// separations and η the flux maps' worst errors stayed where the pieces next
// to the ring put them, and two nodes fewer per piece cost 2e-11.
std::size_t plain_points(double ratio) {
  if (ratio >= 8.0) return 4;
  if (ratio >= 3.0) return 6;
  if (ratio >= 1.5) return 8;
  return 10;
}

// Shifted Legendre polynomials P̃_0 … P̃_{K−1} at x ∈ [0, 1].
template <std::size_t K>
std::array<double, K> shifted_legendre(double x) {
  std::array<double, K> p{};
  const double y = 2.0 * x - 1.0;
  p[0] = 1.0;
  if (K > 1) p[1] = y;
  for (std::size_t k = 1; k + 1 < K; ++k) {
    p[k + 1] = ((2.0 * k + 1.0) * y * p[k] - k * p[k - 1]) / (k + 1.0);
  }
  return p;
}

// W_j = ω_j Σ_k (2k + 1)·P̃_k(x_j)·M_k with M_k = ∫₀¹ P̃_k·B dr: the weights
// that integrate the interpolant of f at the nodes x_j exactly against B.
std::array<double, PRODUCT_POINTS> product_weights(const std::array<double, PRODUCT_POINTS>& legendre_moments) {
  std::array<double, PRODUCT_POINTS> weights{};
  const auto rule = gl::rule(PRODUCT_POINTS);
  for (std::size_t j = 0; j < PRODUCT_POINTS; ++j) {
    const auto p = shifted_legendre<PRODUCT_POINTS>(rule[j].abscissa);
    double sum = 0.0;
    for (std::size_t k = 0; k < PRODUCT_POINTS; ++k) sum = sum + (2.0 * k + 1.0) * p[k] * legendre_moments[k];
    weights[j] = rule[j].weight * sum;
  }
  return weights;
}

#if defined(__x86_64__) && defined(__GNUC__)
// finish_limb_nodes' pass in groups of four; with a polynomial law (powers
// 0, 1, 2) the brightness too. Returns how many nodes it took.
__attribute__((target("avx2"))) std::size_t limb_nodes_four(double* r, double* d, double* weight, double* mu,
                                                            std::size_t count, bool polynomial, double flat,
                                                            double linear, double quadratic) {
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d two_pi = _mm256_set1_pd(TWO_PI);
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256d t = _mm256_loadu_pd(r + i);
    const __m256d inverse = _mm256_div_pd(one, _mm256_add_pd(one, _mm256_mul_pd(t, t)));
    const __m256d radius = _mm256_mul_pd(_mm256_add_pd(t, t), inverse);
    const __m256d m = _mm256_mul_pd(_mm256_mul_pd(_mm256_sub_pd(one, t), _mm256_add_pd(one, t)), inverse);
    _mm256_storeu_pd(r + i, radius);
    _mm256_storeu_pd(mu + i, m);
    _mm256_storeu_pd(d + i, _mm256_mul_pd(_mm256_loadu_pd(d + i), inverse));
    __m256d w = _mm256_mul_pd(_mm256_loadu_pd(weight + i), _mm256_mul_pd(_mm256_add_pd(m, m), inverse));
    if (polynomial) {
      const __m256d brightness = _mm256_add_pd(
          _mm256_set1_pd(flat),
          _mm256_mul_pd(m, _mm256_add_pd(_mm256_set1_pd(linear), _mm256_mul_pd(m, _mm256_set1_pd(quadratic)))));
      w = _mm256_mul_pd(w, _mm256_mul_pd(_mm256_mul_pd(two_pi, radius), brightness));
    }
    _mm256_storeu_pd(weight + i, w);
  }
  return i;
}
#endif

}  // namespace

double SourceProfile::brightness_of_mu(double mu) const {
  // The powers 0, ½, 1, 3/2 and 2 of the standard laws from one square root;
  // any other by pow.
  double sum = flat_ + mu * (linear_ + mu * quadratic_);
  if (has_root_) {
    const double root = std::sqrt(mu);
    sum = sum + root * (half_ + mu * three_halves_);
  }
  for (std::size_t k = 0; k < other_powers_.size(); ++k) {
    sum = sum + other_weights_[k] * std::pow(mu, other_powers_[k]);
  }
  return sum;
}

SourceProfile SourceProfile::limb_law(std::span<const double> powers, std::span<const double> weights) {
  SourceProfile profile;
  profile.limb_law_ = true;
  for (std::size_t term = 0; term < powers.size(); ++term) {
    const double p = powers[term], w = weights[term];
    if (p == 0.0) {
      profile.flat_ = profile.flat_ + w;
    } else if (p == 0.5) {
      profile.half_ = profile.half_ + w;
      profile.has_root_ = true;
    } else if (p == 1.0) {
      profile.linear_ = profile.linear_ + w;
    } else if (p == 1.5) {
      profile.three_halves_ = profile.three_halves_ + w;
      profile.has_root_ = true;
    } else if (p == 2.0) {
      profile.quadratic_ = profile.quadratic_ + w;
    } else {
      profile.other_powers_.push_back(p);
      profile.other_weights_.push_back(w);
    }
    profile.fractional_powers_ = profile.fractional_powers_ || (w != 0.0 && p != std::floor(p));
  }
  std::array<double, FAR_FIELD_TERMS + 1> raw{};
  for (std::size_t term = 0; term < powers.size(); ++term) {
    const double p = powers[term], w = weights[term];
    profile.normalisation_ = profile.normalisation_ + w * (2.0 * PI / (p + 2.0));
    const auto power_moments = limb_power_moments(p);
    for (int k = 0; k <= FAR_FIELD_TERMS; ++k) raw[k] = raw[k] + w * power_moments[k];
  }
  // M_k = ∫₀¹ P̃_k(r)·B(r) dr with r = 1 − u⁴, where μ^p·dr =
  // 4u^(2p+3)·(1 + u²)^(p/2)·(2 − u⁴)^… is smooth for every power a law
  // uses (2p an integer), and the largest rule is exact to rounding.
  std::array<double, PRODUCT_POINTS> legendre{};
  for (const gl::Node& node : gl::rule(gl::MAX_POINTS)) {
    const double u = node.abscissa;
    const double u2 = u * u, u4 = u2 * u2;
    const double r = 1.0 - u4;
    const double mu = std::sqrt(u4 * (2.0 - u4));  // √(1 − r²) = √((1 − r)(1 + r))
    const double w = node.weight * (4.0 * (u2 * u)) * profile.brightness_of_mu(mu);
    const auto p = shifted_legendre<PRODUCT_POINTS>(r);
    for (std::size_t k = 0; k < PRODUCT_POINTS; ++k) legendre[k] = legendre[k] + w * p[k];
  }
  profile.moments_ = normalised_moments(raw);
  profile.product_weights_ = product_weights(legendre);
  return profile;
}

SourceProfile SourceProfile::flux_map(std::span<const double> bl, std::span<const double> bf,
                                     std::span<const double> separations) {
  SourceProfile profile;
  profile.limb_law_ = false;
  profile.pieces_ = flux_map_pieces(bl, bf);
  // What only some separations need is formed only when one of them is
  // there: the product rule's weights and the far-field moments.
  bool product = false, far = false;
  for (const double l : separations) {
    product = product || (l >= PRODUCT_FROM && l < FAR_FIELD_DISTANCE);
    far = far || l >= FAR_FIELD_DISTANCE;
  }
  // ∫2πr·B dr and ∫P̃_k·B dr per piece; a 13-point rule is exact for both.
  std::array<double, PRODUCT_POINTS> legendre{};
  const auto rule = gl::rule(PRODUCT_POINTS / 2 + 1);
  for (const LinearPiece& piece : profile.pieces_) {
    const double length = piece.b - piece.a;
    for (const gl::Node& node : rule) {
      const double x = piece.a + length * node.abscissa;
      const double b = piece.fa + (piece.fb - piece.fa) * node.abscissa;
      const double w = length * node.weight;
      profile.normalisation_ = profile.normalisation_ + w * ((TWO_PI * x) * b);
      if (!product) continue;
      const auto p = shifted_legendre<PRODUCT_POINTS>(x);
      for (std::size_t k = 0; k < PRODUCT_POINTS; ++k) legendre[k] = legendre[k] + w * (p[k] * b);
    }
  }
  if (far) profile.moments_ = linear_pieces_moments(profile.pieces_);
  if (product) profile.product_weights_ = product_weights(legendre);
  return profile;
}

// In t = tan(θ/2): r = 2t/(1 + t²), μ = (1 − t)(1 + t)/(1 + t²) and
// dr = 2μ/(1 + t²)·dt. The distance l − r to the ring follows from the
// offset t − t_l, known exactly, without cancellation.
void SourceProfile::add_limb_nodes(double l, double eta, SourceNodes& nodes) const {
  // A node at t, with `distance_over_t2` = (l − r)·(1 + t²) and the weight
  // dt, kept as they are until all nodes are there (see finish_limb_nodes).
  const auto add = [&](double t, double distance_over_t2, double dt) { nodes.add(t, distance_over_t2, dt); };
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
    if (!fractional_powers_) return exponential_offsets(1.0, eta, CENTRE_POINTS, at_t);
    exponential_offsets(0.5, eta, CENTRE_POINTS, at_t);
    return toward_limb(0.5, at_t);
  }
  if (l < 1.0) {  // the ring at t_l, graded toward it from both sides
    const double t_ring = l / (1.0 + std::sqrt((1.0 - l) * (1.0 + l)));
    const double ring_t2 = 1.0 + t_ring * t_ring;
    const double ring_factor = -2.0 / ring_t2;
    // r(t) − r(t_l) = 2(t − t_l)(1 − t·t_l)/((1 + t²)(1 + t_l²)).
    const auto at_offset = [&](double offset, double w) {
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
    ring_side_offsets(t_ring, eta_scale, eta_scale, [&](double x, double w) { at_offset(-x, w); }, mirror);
    const double right = 1.0 - t_ring;
    if (!fractional_powers_) {
      return ring_side_offsets(right, std::min(eta_scale, t_ring), std::max(eta_scale, t_ring), at_offset, mirror);
    }
    ring_side_offsets(0.5 * right, std::min(eta_scale, t_ring), std::max(eta_scale, t_ring), at_offset, mirror);
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
  const auto at_offset = [&](double x, double w) {
    const double t = 1.0 - x;
    add(t, (l - 1.0) * (1.0 + t * t) + x * x, w);
  };
  if (!(SIDE_SPLIT * scale < 0.5)) return graded_offsets(1.0, SIDE_INNER_POINTS, at_offset);
  ring_side_offsets(1.0, scale, at_offset);
}

// From t, (l − r)·(1 + t²) and dt to r, l − r and the weight, in passes over
// all nodes at once, four lanes at a time where the processor has AVX2 (the
// same correctly rounded operations in the same order as the scalar pass):
// the division by 1 + t² is most of a node's cost outside its ring.
void SourceProfile::finish_limb_nodes(SourceNodes& nodes, bool vector_lanes) const {
  const std::size_t count = nodes.r.size();
  nodes.ring.resize(count);
  double* const r = nodes.r.data();
  double* const d = nodes.d.data();
  double* const weight = nodes.weight.data();
  double* const mu = nodes.ring.data();  // μ until the rings take its place
  const bool polynomial = !has_root_ && other_powers_.empty();
  std::size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (vector_lanes && ellip::bulirsch::detail::has_avx2()) {
    i = limb_nodes_four(r, d, weight, mu, count, polynomial, flat_, linear_, quadratic_);
  }
#else
  (void)vector_lanes;
#endif
  const std::size_t scalar_from = i;
  for (; i < count; ++i) {
    const double t = r[i];
    const double inverse = 1.0 / (1.0 + t * t);
    r[i] = (t + t) * inverse;
    mu[i] = ((1.0 - t) * (1.0 + t)) * inverse;
    d[i] = d[i] * inverse;
    weight[i] = weight[i] * ((mu[i] + mu[i]) * inverse);
  }
  // With powers beyond 0, 1 and 2 the vector pass left the brightness to
  // this one, for every node.
  for (i = polynomial ? scalar_from : 0; i < count; ++i) {
    const double brightness =
        polynomial ? flat_ + mu[i] * (linear_ + mu[i] * quadratic_) : brightness_of_mu(mu[i]);
    weight[i] = weight[i] * ((TWO_PI * r[i]) * brightness);
  }
}

void SourceProfile::add_flux_map_nodes(double l, double eta, SourceNodes& nodes) const {
  for (const LinearPiece& piece : pieces_) {
    const double length = piece.b - piece.a;
    const double slope = piece.fb - piece.fa;
    const double slope_per_length = slope / length;
    // A node `offset` from `end` toward the inside of the piece (direction
    // +1 from a, −1 from b), with the ring `gap` beyond `end`.
    const auto node_from = [&](double end, double direction, double gap) {
      return [&, end, direction, gap](double offset, double w) {
        const double x = end + direction * offset;
        const double b = piece.fa + slope_per_length * (x - piece.a);
        nodes.add(x, -direction * (gap + offset), w * ((TWO_PI * x) * b));
      };
    };
    // The ring's features: the complex singularities 2η off it, and its
    // image at r = −l, 2l inward of it.
    const double eta_scale = eta + eta;
    if (piece.a < l && l < piece.b) {
      ring_side_offsets(l - piece.a, eta_scale, node_from(l, -1.0, 0.0));
      ring_side_offsets(piece.b - l, std::min(eta_scale, l + l), std::max(eta_scale, l + l),
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
        ring_side_offsets(length, eta_scale, node_from(piece.b, -1.0, 0.0));
      } else {
        ring_side_offsets(length, std::min(eta_scale, l + l), std::max(eta_scale, l + l),
                          node_from(piece.a, 1.0, 0.0));
      }
      continue;
    }
    if (gap < EXPONENTIAL_FROM * length) {  // as good as on the ring
      ring_side_offsets(length, gap, eta_scale,
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

double SourceProfile::integrate(double l, const RingsAtSeparation& rings, SourceNodes& nodes) const {
  nodes.clear();
  if (l >= PRODUCT_FROM) {
    const auto rule = gl::rule(PRODUCT_POINTS);
    for (std::size_t j = 0; j < PRODUCT_POINTS; ++j) {
      const double x = rule[j].abscissa;
      nodes.add(x, l - x, product_weights_[j] * (TWO_PI * x));
    }
  } else if (limb_law_) {
    add_limb_nodes(l, rings.eta(), nodes);
    finish_limb_nodes(nodes, true);
  } else {
    add_flux_map_nodes(l, rings.eta(), nodes);
  }
  nodes.ring.resize(nodes.r.size());
  rings.at_batch(nodes.r, nodes.d, nodes.ring);
  double sum = 0.0;
  for (std::size_t i = 0; i < nodes.r.size(); ++i) sum = sum + nodes.weight[i] * nodes.ring[i];
  return sum;
}

}  // namespace mirlaxon::models
