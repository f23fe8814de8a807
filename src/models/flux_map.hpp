// A brightness profile tabulated by the caller (a flux map): the
// piecewise-linear function through (bl[k], bf[k]), zero outside the sampled
// radii; one sample is the constant bf[0] over the whole source, none a dark
// source. Only the first min(|bl|, |bf|) samples count, and only a flux map
// whose bl and bf have one length can be made.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "interp/interp.hpp"
#include "models/far_field.hpp"
#include "models/model_error.hpp"
#include "quadrature/product_rule.hpp"

namespace mirlaxon::models {

// A segment of the profile's part inside [0, 1]: linear from fa at radius a
// to fb at b.
struct LinearPiece {
  double a, b, fa, fb;
};

class FluxMap {
 public:

  // The profile through (bl, bf), borrowed for the life of the object; the
  // failed assertion |bl| = |bf| when they differ in length.
  static ModelResult<FluxMap> from(std::span<const double> bl, std::span<const double> bf);

  // B(r) by interpolation of the samples, 0 outside them.
  double brightness(double r) const { return interp::interp(bl_, bf_, r, interp::OutsideRule::FixedValue(0.0)); }
  const std::vector<LinearPiece>& pieces() const { return pieces_; }
  // Where the profile bends or jumps inside (0, 1): its sample radii, in
  // increasing order, each once. A single sample is a constant profile.
  std::span<const double> breaks() const { return breaks_; }

  // ∫₀¹ 2πr·B(r) dr, exact per piece.
  double normalisation() const { return normalisation_; }
  bool dark() const { return normalisation_ == 0.0; }
  // The far-field weights, exact per piece, and the product-rule weights:
  // each formed on first need (a 101-sample map's cost more than a
  // separation near the source).
  const FarFieldMoments& moments() const;
  const std::array<double, quadrature::product_rule::POINTS>& product_weights() const;

 private:
  FluxMap(std::span<const double> bl, std::span<const double> bf);

  std::span<const double> bl_, bf_;
  std::vector<LinearPiece> pieces_;
  std::vector<double> breaks_;
  double normalisation_ = 0.0;
  mutable std::optional<FarFieldMoments> moments_;
  mutable std::optional<std::array<double, quadrature::product_rule::POINTS>> product_weights_;
};

}  // namespace mirlaxon::models
