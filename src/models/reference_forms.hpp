// The reference formulas: the closed forms for a uniform disk and a thin ring
// as they are written with the complete Legendre integrals, evaluated exactly
// as written, for the inputs outside the physical domain — a negative or
// non-finite radius or separation, a zero or negative Einstein radius. There
// the library's own methods (Bulirsch's integral from exact complements, the
// far-field series, the rules over the source) do not apply, and what a caller
// gets is whatever these formulas give, a kernel's failure included: the
// same result as ever, bit for bit, so that nothing about such inputs changes
// under a caller who relied on it. Inside the domain they are not used.
#pragma once

#include "ellip/kernel_result.hpp"

namespace mirlaxon::models::reference {

// Within |l − r| < 1e-6 (and |l − r| < 1e-3·|l|, or on the ring) the ring
// takes the first-order series about a ring through the lens.
inline constexpr double RING_BAND = 1e-6;
inline constexpr double SERIES_RELATIVE_LIMIT = 1e-3;
// Within |l − r| < s/8 (s = l + r, both positive) the ring's Legendre
// integrals are taken from the complements 1 − n and 1 − m.
inline constexpr double NEAR_RING = 0.125;
// Within |u − ρ| < 1e-5·|ρ| the disk is the limb value.
inline constexpr double LIMB_BAND = 1e-05;

// First-order expansion of the ring average about a ring through the lens,
// d = l − r: a logarithmic singularity in |d| plus the smooth remainder; +∞ at
// d = 0. The regular evaluation also takes it within 1e-150·(l + r) of the
// ring, where it is exact to rounding.
double near_ring_series(double l, double d, double eta);

// The ring of radius r at separation l (source radii), η = re/rstar:
// (4/(2π s √q))·(2η²·K(m) + d²·Π(n, m)), n = 4lr/s², m = n·4η²/q,
// q = d² + 4η², the series in its band.
ellip::KernelResult ring(double l, double r, double eta);

// The uniform disk of radius ρ at separation u (Einstein radii) in Witt &
// Mao's form with E, K and Π, everything that depends on ρ alone rounded once;
// the limb value [2/ρ + (1 + ρ²)/ρ²·(π/2 + asin((ρ² − 1)/(ρ² + 1)))]/π in
// the band.
class LegendreDisk {
 public:
  explicit LegendreDisk(double rho);
  double rho() const { return rho_; }
  ellip::KernelResult at(double u) const;

 private:
  double rho_, rho2_, a0_, a4_, p_plus_, p_minus_, t2_, c1_, s0_, limb_band_;
};

// The magnification h/π of Witt & Mao's h = b1·E − b2·K + b3·Π, rounded as
// the sum of two separately rounded quotients (as the form is written).
double disk_from_h(double h);

}  // namespace mirlaxon::models::reference
