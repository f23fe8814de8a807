#include "models/flux_map.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "constants.hpp"
#include "quadrature/gauss_legendre.hpp"

namespace mirlaxon::models {

namespace gl = quadrature::gauss_legendre;
namespace product_rule = quadrature::product_rule;

// A 13-point rule is exact per piece for 2πr·B and for P̃_k·B, k < 24.
constexpr std::size_t PIECE_POINTS = product_rule::POINTS / 2 + 1;

namespace {

// ∫_a^b 2πr·r^2k·B(r) dr for k = 0 … K, B linear from B(a) = ya to
// B(b) = yb, 0 ≤ a < b. With r = a + w·t (w = b − a) the integrand expands
// in powers of a and w·t with positive coefficients:
//   ∫_a^b r^n·B dr = w·Σ_j C(n, j)·a^(n−j)·w^j·(ya/((j + 1)(j + 2)) + yb/(j + 2)),
// so nothing cancels however short or steep the piece.
void add_linear_piece_moments(double a, double b, double ya, double yb,
                              std::array<double, FAR_FIELD_TERMS + 1>& raw) {
  constexpr int MAX_POWER = 2 * FAR_FIELD_TERMS + 1;
  const double w = b - a;
  std::array<double, MAX_POWER + 1> a_power, w_power;
  a_power[0] = 1.0;
  w_power[0] = 1.0;
  for (int i = 1; i <= MAX_POWER; ++i) {
    a_power[i] = a_power[i - 1] * a;
    w_power[i] = w_power[i - 1] * w;
  }
  for (int k = 0; k <= FAR_FIELD_TERMS; ++k) {
    const int n = 2 * k + 1;
    double sum = 0.0;
    double binomial = 1.0;  // C(n, j)
    for (int j = 0; j <= n; ++j) {
      const double term = (binomial * a_power[n - j]) * w_power[j];
      sum = sum + term * (ya / ((j + 1.0) * (j + 2.0)) + yb / (j + 2.0));
      binomial = binomial * (n - j) / (j + 1.0);
    }
    raw[k] = raw[k] + TWO_PI * (w * sum);
  }
}


// The segments of the piecewise-linear profile through (bl[k], bf[k])
// within [0, 1], clipped to it; one sample is the constant bf[0] over the
// whole source, none is no piece at all. Segments of zero width (a jump)
// are left out.
std::vector<LinearPiece> flux_map_pieces(std::span<const double> bl, std::span<const double> bf) {
  std::vector<LinearPiece> pieces;
  const std::size_t samples = std::min(bl.size(), bf.size());
  if (samples == 1) {
    pieces.push_back({0.0, 1.0, bf[0], bf[0]});
    return pieces;
  }
  for (std::size_t i = 0; i + 1 < samples; ++i) {
    const double x0 = bl[i], x1 = bl[i + 1];
    const double a = std::max(x0, 0.0), b = std::min(x1, 1.0);
    if (!(b > a)) continue;
    // The segment's values at the ends of its part inside [0, 1].
    const double fa = bf[i] + (bf[i + 1] - bf[i]) * ((a - x0) / (x1 - x0));
    const double fb = bf[i] + (bf[i + 1] - bf[i]) * ((b - x0) / (x1 - x0));
    pieces.push_back({a, b, fa, fb});
  }
  return pieces;
}

// The far-field weights of a profile made of linear pieces, exact per piece.
FarFieldMoments linear_pieces_moments(std::span<const LinearPiece> pieces) {
  std::array<double, FAR_FIELD_TERMS + 1> raw{};
  for (const LinearPiece& piece : pieces) add_linear_piece_moments(piece.a, piece.b, piece.fa, piece.fb, raw);
  return normalised_moments(raw);
}

}  // namespace

ModelResult<FluxMap> FluxMap::from(std::span<const double> bl, std::span<const double> bf) {
  if (bl.size() != bf.size()) return std::unexpected(ModelError::equality_assertion(bl.size(), bf.size()));
  return FluxMap(bl, bf);
}

FluxMap::FluxMap(std::span<const double> bl, std::span<const double> bf)
    : bl_(bl), bf_(bf), pieces_(flux_map_pieces(bl, bf)) {
  // With fewer than two samples the profile is constant and has no break.
  if (bl.size() >= 2) {
    for (const double radius : bl) {
      if (radius > 0.0 && radius < 1.0) breaks_.push_back(radius);
    }
    std::sort(breaks_.begin(), breaks_.end());
    breaks_.erase(std::unique(breaks_.begin(), breaks_.end()), breaks_.end());
  }
  for (const LinearPiece& piece : pieces_) {
    const double length = piece.b - piece.a;
    for (const gl::Node& node : gl::rule(PIECE_POINTS)) {
      const double x = piece.a + length * node.abscissa;
      const double b = piece.fa + (piece.fb - piece.fa) * node.abscissa;
      normalisation_ = normalisation_ + (length * node.weight) * ((TWO_PI * x) * b);
    }
  }
}

const FarFieldMoments& FluxMap::moments() const {
  if (!moments_) moments_ = linear_pieces_moments(pieces_);
  return *moments_;
}

const std::array<double, product_rule::POINTS>& FluxMap::product_weights() const {
  if (!product_weights_) {
    product_rule::LegendreMoments legendre;
    for (const LinearPiece& piece : pieces_) {
      const double length = piece.b - piece.a;
      for (const gl::Node& node : gl::rule(PIECE_POINTS)) {
        const double x = piece.a + length * node.abscissa;
        const double b = piece.fa + (piece.fb - piece.fa) * node.abscissa;
        legendre.add(x, length * node.weight, b);
      }
    }
    product_weights_ = product_rule::weights(legendre);
  }
  return *product_weights_;
}

}  // namespace mirlaxon::models
