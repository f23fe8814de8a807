// Carlson's symmetric elliptic integrals R_C, R_F, R_D and R_J.
//
//   R_F(x, y, z)    = 1/2 ∫₀^∞ dt / √((t+x)(t+y)(t+z))
//   R_D(x, y, z)    = 3/2 ∫₀^∞ dt / ((t+z) √((t+x)(t+y)(t+z)))
//   R_J(x, y, z, p) = 3/2 ∫₀^∞ dt / ((t+p) √((t+x)(t+y)(t+z)))  (principal value for p < 0)
//   R_C(x, y)       = 1/2 ∫₀^∞ dt / ((t+y) √(t+x))               (principal value for y < 0)
//
// Algorithms: B. C. Carlson, "Numerical computation of real or complex
// elliptic integrals", Numerical Algorithms 10 (1995) 13-26, with the
// arithmetic-geometric-mean shortcuts for a zero argument of section 3 and
// the principal-value transformation of DLMF 19.20.14 for p < 0.
//
// The duplication theorem R(x, y, z) = R((x+λ)/4, (y+λ)/4, (z+λ)/4), with
// λ = √x√y + √x√z + √y√z, draws the arguments together by a factor four per
// step while their mean A follows the same map. Each loop keeps Q, a bound on
// the arguments' spread around A scaled by a factor chosen so that once Q < |A|
// the fifth-order Taylor series in the normalised deviations X, Y, Z is exact
// to double precision. Q and A are updated together; a pass divides Q/|A| by
// four once the arguments are within a factor of a few of each other, but
// arguments far apart first close in only as the square root of their ratio.
// The caps below bound the passes: inputs that need more, a NaN or an
// infinity (which keeps the test false) end in the non-convergence failure.
//
// Every expression is evaluated in the order written: the kernels are
// bit-reproducible across builds (no contraction into fused multiply-adds).
#pragma once

#include <cmath>
#include <utility>

#include "ellip/kernel_result.hpp"

namespace mirlaxon::ellip::carlson {

namespace messages {
inline constexpr const char* RF_DOMAIN =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
inline constexpr const char* RF_CONVERGE = "elliprf: Failed to converge.";
inline constexpr const char* RD_XY_DOMAIN =
    "elliprd: x and y must be non-negative, and at most one can be zero.";
inline constexpr const char* RD_Z_DOMAIN = "elliprd: z must be positive";
inline constexpr const char* RD_CONVERGE = "elliprd: Failed to converge.";
inline constexpr const char* RJ_DOMAIN =
    "elliprj: x, y, and z must be non-negative, and at most one can be zero.";
inline constexpr const char* RJ_P_DOMAIN = "elliprj: p must be non-zero";
inline constexpr const char* RJ_CONVERGE = "elliprj: Fail to converge";
inline constexpr const char* RC_X_DOMAIN = "elliprc: x must be non-negative.";
inline constexpr const char* RC_Y_DOMAIN = "elliprc: y must be non-zero.";
}  // namespace messages

namespace detail {

inline constexpr double THREE_PI = 3.0 * PI;
static_assert(THREE_PI == 9.42477796076938);
// (3ε)^(-1/8), (ε/4)^(-1/8) and (ε/5)^(-1/8): Carlson's bounds on the
// truncation error of the series, solved for the spread that leaves it below ε.
inline constexpr double RF_THRESHOLD = 78.8959690786408;
inline constexpr double RD_THRESHOLD = 107.63474115247546;
inline constexpr double RJ_THRESHOLD = 110.67925377307274;
// x⁸·bound = 1 for each, to rounding.
constexpr double eighth_power(double x) { return (x * x) * (x * x) * ((x * x) * (x * x)); }
constexpr bool solves(double threshold, double bound) {
  const double product = eighth_power(threshold) * bound;
  return product > 1.0 - 1e-14 && product < 1.0 + 1e-14;
}
static_assert(solves(RF_THRESHOLD, 3.0 * EPSILON) && solves(RD_THRESHOLD, EPSILON / 4.0) &&
              solves(RJ_THRESHOLD, EPSILON / 5.0));
// Caps on the duplication passes. R_F's 11 passes cover the largest argument
// up to 1e400 times the smallest (R_F(1e-200, 1, 1e200) converges; R_F(1e-250,
// 1, 1e250) and R_F(1e-300, 1, 1e300) need more and fail), far beyond what the
// models pass; R_D's and R_J's higher thresholds take more passes.
inline constexpr int RF_MAX_ITERATIONS = 11;
inline constexpr int RD_MAX_ITERATIONS = 50;
inline constexpr int RJ_MAX_ITERATIONS = 100;
// R_D's starting bound on the spread is taken 20 % wide, and R_J(a, y, y, p)
// uses the difference of two R_C only where p and y differ by more than this
// factor: closer, the difference cancels.
inline constexpr double RD_SPREAD_MARGIN = 1.2;
inline constexpr double RJ_RC_DIFFERENCE_FROM_RATIO = 1.2;

// True once the arithmetic-geometric mean has converged, or once a NaN makes
// the comparison meaningless; the mean iterations have no failure of their own.
inline bool mean_settled(double a, double b) {
  return !(std::fabs(a - b) >= MEAN_TOLERANCE * std::fabs(a));
}

// The series shared by R_D and R_J, summed term by term in a fixed order.
inline double rd_rj_series(double e2, double e3, double e4, double e5) {
  return 1.0 - 3.0 * e2 / 14.0 + e3 / 6.0 + 9.0 * (e2 * e2) / 88.0 - 3.0 * e4 / 22.0 -
         9.0 * e2 * e3 / 52.0 + 3.0 * e5 / 26.0 - (e2 * e2 * e2) / 16.0 +
         3.0 * (e3 * e3) / 40.0 + 3.0 * e2 * e4 / 20.0 + 45.0 * (e2 * e2) * e3 / 272.0 -
         9.0 * (e3 * e4 + e2 * e5) / 68.0;
}

}  // namespace detail

inline KernelResult elliprc(double x, double y) {
  if (x < 0.0) return std::unexpected(messages::RC_X_DOMAIN);
  if (y == 0.0) return std::unexpected(messages::RC_Y_DOMAIN);
  double w = 1.0;
  if (y < 0.0) {
    // R_C(x, y) = √(x/(x−y)) R_C(x−y, −y) for the principal value (DLMF 19.2.20).
    w = std::sqrt(x / (x - y));
    x = x - y;
    y = -y;
  }
  if (x == 0.0) return w * HALF_PI / std::sqrt(y);
  if (x == y) return w / std::sqrt(x);
  if (y > x) return w * std::atan(std::sqrt((y - x) / x)) / std::sqrt(y - x);
  if (y / x > 0.5) {
    // Near x == y the logarithm's argument is close to 1: log1p keeps the digits.
    const double s = std::sqrt((x - y) / x);
    return w * (std::log1p(s) - std::log1p(-s)) / (2.0 * std::sqrt(x - y));
  }
  return w * std::log((std::sqrt(x) + std::sqrt(x - y)) / std::sqrt(y)) / std::sqrt(x - y);
}

inline KernelResult elliprf(double x, double y, double z) {
  if (std::fmin(std::fmin(x, y), z) < 0.0 ||
      std::fmin(std::fmin(y + z, x + y), x + z) == 0.0) {
    return std::unexpected(messages::RF_DOMAIN);
  }
  if (x == y) {
    if (x == z) return 1.0 / std::sqrt(x);
    if (z == 0.0) return PI / (2.0 * std::sqrt(x));
    return elliprc(z, x);
  }
  if (x == z) {
    if (y == 0.0) return PI / (2.0 * std::sqrt(x));
    return elliprc(y, x);
  }
  if (y == z) {
    if (x == 0.0) return PI / (2.0 * std::sqrt(y));
    return elliprc(x, y);
  }

  // With one argument zero, R_F(0, y, z) = π / (2 AGM(√y, √z)).
  if (x == 0.0 || y == 0.0 || z == 0.0) {
    double a = 0.0;
    double b = 0.0;
    if (x == 0.0) {
      a = std::sqrt(z);
      b = std::sqrt(y);
    } else if (y == 0.0) {
      a = std::sqrt(x);
      b = std::sqrt(z);
    } else {
      a = std::sqrt(x);
      b = std::sqrt(y);
    }
    while (!detail::mean_settled(a, b)) {
      const double next_a = (a + b) * 0.5;
      b = std::sqrt(a * b);
      a = next_a;
    }
    return PI / (a + b);
  }

  const double x0 = x;
  const double y0 = y;
  const double a0 = ((x + y) + z) / 3.0;
  double mean = a0;
  // |A0| is one of the four terms: the bound covers the mean's own size too.
  double spread = detail::RF_THRESHOLD *
                  std::fmax(std::fmax(std::fmax(std::fabs(a0), std::fabs(a0 - x)),
                                      std::fabs(a0 - y)),
                            std::fabs(a0 - z));
  double scale = 1.0;  // 4^k once the loop has run k passes
  bool converged = false;
  for (int k = 1; k <= detail::RF_MAX_ITERATIONS; ++k) {
    const double lambda =
        std::sqrt(y) * std::sqrt(z) + (std::sqrt(x) * std::sqrt(y) + std::sqrt(x) * std::sqrt(z));
    mean = (mean + lambda) * 0.25;
    spread = spread * 0.25;
    scale = scale * 4.0;
    if (spread < std::fabs(mean)) {
      converged = true;
      break;
    }
    x = (x + lambda) * 0.25;
    y = (y + lambda) * 0.25;
    z = (z + lambda) * 0.25;
  }
  if (!converged) return std::unexpected(messages::RF_CONVERGE);

  const double dx = (a0 - x0) / (mean * scale);
  const double dy = (a0 - y0) / (mean * scale);
  const double dz = -dx - dy;
  const double e2 = dx * dy - dz * dz;
  const double e3 = dx * dy * dz;
  return (1.0 + e3 * (0.07142857142857142 + 3.0 * e3 / 104.0) +
          e2 * (e2 / 24.0 - 0.1 - 3.0 * e3 / 44.0 - 5.0 * (e2 * e2) / 208.0 + e2 * e3 / 16.0)) /
         std::sqrt(mean);
}

inline KernelResult elliprd(double x, double y, double z) {
  if (std::fmin(x, y) < 0.0 || x + y == 0.0) return std::unexpected(messages::RD_XY_DOMAIN);
  if (z <= 0.0) return std::unexpected(messages::RD_Z_DOMAIN);

  // R_D is symmetric in x and y only; pair them so that u is the one equal to
  // z when there is one.
  double u = y;
  double w = x;
  if (x == z) {
    u = x;
    w = y;
  }
  if (u == z) {
    if (w == u) return 1.0 / (std::sqrt(w) * w);
    if (w == 0.0) return detail::THREE_PI / ((4.0 * u) * std::sqrt(u));
  }

  if (w == 0.0) {
    // R_D(0, u, z) through the arithmetic-geometric mean of √u and √z, with
    // the sum S of the weighted squared differences (Carlson 1995, eq. 2.39).
    const double a0 = std::sqrt(u);
    const double b0 = std::sqrt(z);
    double a = a0;
    double b = b0;
    double weight = 0.25;
    double sum = 0.0;
    while (!detail::mean_settled(a, b)) {
      const double next_a = (a + b) * 0.5;
      b = std::sqrt(a * b);
      a = next_a;
      weight = 2.0 * weight;
      sum = sum + (a - b) * (weight * (a - b));
    }
    return 3.0 * ((PI / (a + b)) *
                  ((3.0 * b0 + a0) / ((4.0 * z) * (b0 + a0)) - sum / ((u - z) * z)));
  }

  const double u0 = u;
  const double w0 = w;
  const double a0 = (3.0 * z + (w + u)) / 5.0;
  double mean = a0;
  // Signed differences: the largest is A0 minus the smallest argument.
  double spread =
      (std::fmax(std::fmax(a0 - w, a0 - u), a0 - z) * detail::RD_THRESHOLD) * detail::RD_SPREAD_MARGIN;
  double sum = 0.0;
  double scale = 1.0;  // 4^-k after k passes
  bool converged = false;
  for (int k = 1; k <= detail::RD_MAX_ITERATIONS; ++k) {
    const double lambda =
        std::sqrt(u) * std::sqrt(z) + (std::sqrt(w) * std::sqrt(u) + std::sqrt(w) * std::sqrt(z));
    spread = spread * 0.25;
    sum = sum + scale / (std::sqrt(z) * (z + lambda));
    scale = scale * 0.25;
    mean = (mean + lambda) * 0.25;
    if (spread < mean) {
      converged = true;
      break;
    }
    u = (u + lambda) * 0.25;
    w = (w + lambda) * 0.25;
    z = (z + lambda) * 0.25;
  }
  if (!converged) return std::unexpected(messages::RD_CONVERGE);

  const double dx = ((a0 - w0) * scale) / mean;
  const double dy = ((a0 - u0) * scale) / mean;
  const double dz = (dx + dy) / -3.0;
  const double e2 = dx * dy - 6.0 * (dz * dz);
  const double e3 = 3.0 * dx * dy * dz - 8.0 * (dz * dz * dz);
  const double e4 = 3.0 * (dx * dy * dz - dz * dz * dz) * dz;
  const double e5 = dx * dy * dz * (dz * dz);
  return 3.0 * sum + (scale * std::pow(mean, -1.5)) * detail::rd_rj_series(e2, e3, e4, e5);
}

// R_J by the duplication iteration alone, for p > 0 (or NaN) once elliprj has
// checked the arguments. Each pass adds (g/d)·R_C(1, 1 + e) to the sum S, with
// e = δ/d² and δ = (p−x)(p−y)(p−z) shrinking by 4³ per pass.
inline KernelResult _elliprj(double x, double y, double z, double p) {
  const double x0 = x;
  const double y0 = y;
  const double z0 = z;
  const double a0 = (((x + y) + z) + (p + p)) / 5.0;
  double mean = a0;
  double delta = (p - z) * ((p - x) * (p - y));
  const double spread =
      detail::RJ_THRESHOLD *
      std::fmax(std::fmax(std::fmax(std::fabs(a0 - x), std::fabs(a0 - y)), std::fabs(a0 - z)),
                std::fabs(a0 - p));
  double sum = 0.0;
  double scale = 1.0;  // 4^-k after k passes
  bool converged = false;
  for (int k = 1; k <= detail::RJ_MAX_ITERATIONS; ++k) {
    const double sx = std::sqrt(x);
    const double sy = std::sqrt(y);
    const double sz = std::sqrt(z);
    const double sp = std::sqrt(p);
    const double d = (sz + sp) * ((sy + sp) * (sx + sp));
    const double e = delta / (d * d);

    double rc = 0.0;  // R_C(1, 1 + e)
    if (e < -0.5 && e > -1.5) {
      // 1 + e would cancel: form it from the square roots instead.
      const double b = (2.0 * sp) * (sy * sz + (p + sx * (sy + sz))) / d;
      MIRLAXON_TRY(value, elliprc(1.0, b));
      rc = value;
    } else if (e < -1.0) {
      MIRLAXON_TRY(value, elliprc(-e, -1.0 - e));
      rc = std::sqrt(-1.0 / e) * value;
    } else if (e == 0.0) {
      rc = 1.0;
    } else if (e > 0.0) {
      rc = std::atan(std::sqrt(e)) / std::sqrt(e);
    } else if (e > -0.5) {
      const double s = std::sqrt(-e);
      rc = (std::log1p(s) - std::log1p(-s)) / (s + s);
    } else {
      const double s = std::sqrt(-e);
      rc = std::log((s + 1.0) / std::sqrt(e + 1.0)) / s;
    }
    sum = sum + scale / d * rc;

    const double lambda = (sx * sy + sx * sz) + sy * sz;
    scale = scale * 0.25;
    mean = (mean + lambda) * 0.25;
    if (spread * scale < mean) {
      converged = true;
      break;
    }
    delta = delta * 0.015625;
    x = (x + lambda) * 0.25;
    y = (y + lambda) * 0.25;
    z = (z + lambda) * 0.25;
    p = (p + lambda) * 0.25;
  }
  if (!converged) return std::unexpected(messages::RJ_CONVERGE);

  const double dx = ((a0 - x0) * scale) / mean;
  const double dy = ((a0 - y0) * scale) / mean;
  const double dz = ((a0 - z0) * scale) / mean;
  const double dp = (-dx - dy - dz) * 0.5;
  const double e2 = dx * dy + dx * dz + dy * dz - 3.0 * (dp * dp);
  const double e3 = dx * dy * dz + 2.0 * e2 * dp + 4.0 * (dp * dp * dp);
  const double e4 = (2.0 * dx * dy * dz + e2 * dp + 3.0 * (dp * dp * dp)) * dp;
  const double e5 = dx * dy * dz * (dp * dp);
  return 6.0 * sum + (scale * std::pow(mean, -1.5)) * detail::rd_rj_series(e2, e3, e4, e5);
}

inline KernelResult elliprj(double x, double y, double z, double p) {
  if (std::fmin(std::fmin(x, y), z) < 0.0 ||
      std::fmin(std::fmin(y + z, x + y), x + z) == 0.0) {
    return std::unexpected(messages::RJ_DOMAIN);
  }
  if (p == 0.0) return std::unexpected(messages::RJ_P_DOMAIN);

  if (x == y && x == z) {
    if (x == p) return 1.0 / (std::sqrt(x) * x);
    MIRLAXON_TRY(rc, elliprc(x, p));
    return (3.0 / (x - p)) * (rc - 1.0 / std::sqrt(x));
  }

  // R_J is symmetric in x, y, z: arrange R_J(a, y, b, p) so that the pair
  // that may coincide is (y, b).
  double a = x;
  double b = z;
  if (x == y) {
    a = z;
    b = x;
  }

  if (b == y) {
    if (y == p) return elliprd(a, y, y);
    if (std::fmax(p, y) / std::fmin(p, y) > detail::RJ_RC_DIFFERENCE_FROM_RATIO) {
      // R_J(a, y, y, p) = 3 (R_C(a, y) − R_C(a, p)) / (p − y); cancellation
      // makes it unusable when p and y are close.
      MIRLAXON_TRY(r1, elliprc(a, y));
      MIRLAXON_TRY(r2, elliprc(a, p));
      return (3.0 / (p - y)) * (r1 - r2);
    }
  }
  if (b == p) return elliprd(a, y, b);

  if (p < 0.0) {
    // Principal value through a positive q (DLMF 19.20.14), with the
    // arguments sorted so that q > 0 for every admissible input.
    double xs = a;
    double ys = y;
    double zs = b;
    if (xs > ys) std::swap(xs, ys);
    if (ys > zs) std::swap(ys, zs);
    if (xs > ys) std::swap(xs, ys);
    const double q = ((xs + ys - p) * zs - xs * ys) / (zs - p);
    MIRLAXON_TRY(r1, elliprj(xs, ys, zs, q));
    MIRLAXON_TRY(r2, elliprf(xs, ys, zs));
    const double t = xs * ys + q * (-p);
    MIRLAXON_TRY(r3, elliprc(t, q * (-p)));
    return ((q - zs) * r1 - 3.0 * r2 + 3.0 * std::sqrt((xs * ys * zs) / t) * r3) / (zs - p);
  }
  return _elliprj(a, y, b, p);
}

}  // namespace mirlaxon::ellip::carlson
