#include "models/reference_forms.hpp"

#include <cmath>

#include "constants.hpp"
#include "ellip/legendre.hpp"

namespace mirlaxon::models::reference {

double near_ring_series(double l, double d, double eta) {
  const double c1 = (1.0 - d / (l + l)) * ((eta + eta) / l);
  const double g = std::log((8.0 * eta * l) / (std::fabs(d) * std::sqrt(l * l + eta * eta)));
  const double c2 = eta * (2.0 * (l * l) + eta * eta) / ((l * l) * (l * l + eta * eta));
  return (d * c2 + (c1 * g + 4.0 * std::atan(l / eta))) / TWO_PI;
}

ellip::KernelResult ring(double l, double r, double eta) {
  const double d = l - r;
  if (std::fabs(d) < RING_BAND && (std::fabs(d) < SERIES_RELATIVE_LIMIT * std::fabs(l) || d == 0.0)) {
    return near_ring_series(l, d, eta);
  }
  const double s = l + r;
  const double q = d * d + (eta * eta) * 4.0;
  const double n = ((4.0 * l) * r) / (s * s);
  double big_k = 0.0;
  double big_pi = 0.0;
  if (l > 0.0 && r > 0.0 && std::fabs(d) < NEAR_RING * s) {
    // 1 − n = (d/s)² and 1 − m = (d² + 4η²(1 − n))/q, without cancellation.
    const double nc = (d / s) * (d / s);
    const double mc = (d * d + (eta * eta) * 4.0 * nc) / q;
    MIRLAXON_TRY(k_value, ellip::legendre::ellipk_from_complement(mc));
    MIRLAXON_TRY(pi_value, ellip::legendre::ellippi_from_complements(n, nc, mc));
    big_k = k_value;
    big_pi = pi_value;
  } else {
    const double k = ((4.0 * eta) / s) * std::sqrt((l * r) / q);
    const double m = k * k;
    MIRLAXON_TRY(k_value, ellip::legendre::ellipk(m));
    MIRLAXON_TRY(pi_value, ellip::legendre::ellippi(n, m));
    big_k = k_value;
    big_pi = pi_value;
  }
  return ((4.0 / (s * std::sqrt(q))) * ((eta * eta + eta * eta) * big_k + (d * d) * big_pi)) / TWO_PI;
}

double disk_from_h(double h) { return (h + PI) / TWO_PI + (h - PI) / TWO_PI; }

LegendreDisk::LegendreDisk(double rho)
    : rho_(rho),
      rho2_(rho * rho),
      a0_(2.0 / rho),
      a4_(rho * 4.0),
      p_plus_(rho2_ + 1.0),
      p_minus_(rho2_ + -1.0),
      t2_(rho2_ + rho2_),
      c1_(p_plus_ / rho2_),
      s0_(p_minus_ / p_plus_),
      limb_band_(LIMB_BAND * std::fabs(rho)) {}

ellip::KernelResult LegendreDisk::at(double u) const {
  const double d = u - rho_;
  if (std::fabs(d) < limb_band_) return (a0_ + c1_ * (std::asin(s0_) + HALF_PI)) / PI;
  const double d2 = d * d;
  const double s = rho_ + u;
  const double q = std::sqrt(d2 + 4.0);
  const double n = (a4_ * u) / (s * s);
  // m = 4n/q², formed through a square root and a square.
  const double w = std::sqrt(n * 4.0) / q;
  const double m = w * w;
  MIRLAXON_TRY(e, ellip::legendre::ellipe(m));
  MIRLAXON_TRY(k, ellip::legendre::ellipk(m));
  MIRLAXON_TRY(p, ellip::legendre::ellippi(n, m));
  const double b1 = (s * q) / t2_;
  const double b2 = (d * ((u * u - rho2_) * 0.5 + 4.0)) / (rho2_ * q);
  const double b3 = (p_plus_ * (d2 + d2)) / ((rho2_ * s) * q);
  return disk_from_h((b1 * e - b2 * k) + b3 * p);
}

}  // namespace mirlaxon::models::reference
