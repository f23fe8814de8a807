// Magnifications of an extended source star by a single point lens: the
// functions a front offers, and their contracts.
//
// Units: separations l, a ring radius r and the radii bl of a tabulated
// profile are in source radii; the Einstein radius re and the source radius
// rstar enter only through ρ = rstar/re, the source radius in Einstein radii
// (η = 1/ρ). Every function is pure and thread-safe; a result has one value
// per separation, in order, and a call that fails returns no partial result.
// Failures are values (model_error.hpp), never exceptions.
//
// Two families compute the same averages by independent routes. The ring
// family averages thin rings (Heyrovský) over the source: its integrals are
// accurate to 1e-12 and never fail for numeric reasons. The uniform-disk
// family (Witt & Mao) differentiates disk magnifications under the integral:
// 1e-9 outside the source, 1e-8 inside.
//
// Outside the physical domain (see domain.hpp): the closed forms
// (witt_mao_magnification, heyrovsky_magnification and the discrete sum) keep
// the reference formulas of reference_forms.hpp, a kernel's failure
// included; the ring family's integrals give NaN for a NaN or negative
// separation and for ρ zero or NaN, take |ρ| for a negative ρ, and give
// exactly 1 for re = 0 (no lensing).
#pragma once

#include <span>

#include "models/model_error.hpp"
#include "models/samples.hpp"

namespace mirlaxon::models {

// The uniform disk, Witt & Mao's closed form: far out the far-field series,
// on the limb its limit, elsewhere Bulirsch's integrals from exact
// complements. Never below 1 for valid inputs; inputs outside the domain take
// the Legendre form, and its kernel's failure (the first, in order) fails
// the call.
ModelResult<Samples> witt_mao_magnification(std::span<const double> l, double re, double rstar);

// The uniform-disk family over the built-in profile B = 1 − 0.6·(1 − μ),
// μ = √(1 − r²), divided by the normalisation the tanh–sinh rule gives for it
// over the whole source (LINEAR_LIMB_NORMALISATION, 1.6e-14 below 4π/5; it
// cancels the rule's own loss at the limb): for each separation
// ∫₀¹ π·(r²F)′(r)·B(r) dr / N, F(y) the disk of radius y about the source
// centre, (r²F)′ a central difference. Fails where witt_mao_magnification
// of the same arguments does.
ModelResult<Samples> integrated_witt_mao_magnification(std::span<const double> l, double re, double rstar);

// The same for the flux map (bl, bf), divided by its exact normalisation.
// The failed assertion |bl| = |bf| first.
ModelResult<Samples> integrated_flux_map_witt_mao_magnification(std::span<const double> l, double re,
                                                                double rstar, std::span<const double> bl,
                                                                std::span<const double> bf);

// One ring of radius r at separation l: +∞ through the lens, the far-field
// series with one of l, r ten times the other, the closed form elsewhere;
// outside the domain the reference formula, and its kernel's failure.
ModelResult<double> heyrovsky_magnification(double l, double r, double re, double rstar);

// The ring family over the built-in profile, divided by its exact
// normalisation 4π/5: ∫₀¹ 2πr·A_ring(l, r)·B(r) dr / N by a fixed Gauss rule
// chosen from the geometry, the far-field series from l = 10. To 1e-12.
ModelResult<Samples> integrated_heyrovsky_magnification(std::span<const double> l, double re, double rstar);

// The same for the flux map (bl, bf), exact per linear piece. The failed
// assertion |bl| = |bf| first; an empty or dark map gives NaN throughout.
ModelResult<Samples> integrated_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                                 double rstar, std::span<const double> bl,
                                                                 std::span<const double> bf);

// The same for the limb-darkening law B = Σ_k weights[k]·μ^powers[k],
// normalised exactly by N = Σ_k weights[k]·2π/(powers[k] + 2). A value
// error when powers and weights differ in length, a power is negative or not
// finite, or a weight is not finite; an empty law or N = 0 gives NaN
// throughout.
ModelResult<Samples> integrated_limb_law_heyrovsky_magnification(std::span<const double> l, double re,
                                                                 double rstar, std::span<const double> powers,
                                                                 std::span<const double> weights);

// The three integrals above into the caller's `out` (one value per
// separation): they fail only on validating their profile, which comes
// first, so nothing is written to `out` on failure. The functions returning
// Samples fill their own result through these.
ModelResult<void> integrated_heyrovsky_magnification_into(std::span<const double> l, double re, double rstar,
                                                          std::span<double> out);
ModelResult<void> integrated_flux_map_heyrovsky_magnification_into(std::span<const double> l, double re,
                                                                   double rstar, std::span<const double> bl,
                                                                   std::span<const double> bf,
                                                                   std::span<double> out);
ModelResult<void> integrated_limb_law_heyrovsky_magnification_into(std::span<const double> l, double re,
                                                                   double rstar, std::span<const double> powers,
                                                                   std::span<const double> weights,
                                                                   std::span<double> out);

// Σ_j A_ring(l, bl[j])·bf[j]: the source as a set of weighted rings, the
// weights used as given. The failed assertion |bl| = |bf| first, then the
// first ring failure (outside the domain).
ModelResult<Samples> discrete_flux_map_heyrovsky_magnification(std::span<const double> l, double re,
                                                               double rstar, std::span<const double> bl,
                                                               std::span<const double> bf);

// Derivatives for gradient fits. Both take A as a function of u = l·ρ and ρ
// (Einstein radii): ∂A/∂u at fixed ρ, ∂A/∂ρ at fixed u. A is even in ρ, so a
// negative ρ gives the derivatives at |ρ| with ∂A/∂u and ∂A/∂ρ signed as ρ; re
// = 0 (no lensing) gives A = 1 and zero derivatives. Where the lens lies on
// the limb of a source bright there (l = 1), ∂A/∂u is −∞ and ∂A/∂ρ is +∞ (for
// a positive limb brightness).

// The uniform disk: A as witt_mao_magnification, ∂A/∂u = (2/ρ)·C(l, 1) and
// ∂A/∂ρ = (2/ρ)·(A_ring(l, 1) − A), C the ring's first angular moment.
ModelResult<GradientSamples> witt_mao_gradient(std::span<const double> l, double re, double rstar);

// A limb law: A the same bits as integrated_limb_law_heyrovsky_magnification,
// and its derivatives with the brightness's slope moved onto the rings by
// parts; the same validation and NaN rules.
ModelResult<GradientSamples> integrated_limb_law_heyrovsky_gradient(std::span<const double> l, double re,
                                                                    double rstar, std::span<const double> powers,
                                                                    std::span<const double> weights);

// The magnification of the pure profile μ^powers[k] for every power, from one
// pass over the rings: a law Σ_k w_k·μ^p_k has A = Σ_k w_k·N_k·A_k / Σ_k w_k·N_k
// with N_k = 2π/(p_k + 2). A value error for a power that is negative or not
// finite.
ModelResult<ComponentSamples> integrated_limb_law_heyrovsky_components(std::span<const double> l, double re,
                                                                       double rstar,
                                                                       std::span<const double> powers);

}  // namespace mirlaxon::models
