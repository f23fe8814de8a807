// The far-field series against the brute-force averages of tools/
// make_regime_reference.py, and the profile moments it is weighted with
// against their closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "models/far_field.hpp"
#include "models/flux_map.hpp"
#include "models/limb_law.hpp"
#include "models/thresholds.hpp"
#include "reference_table.hpp"

namespace {

using namespace mirlaxon::models;
using mirlaxon::test::read_table;

double relative_error(double got, double expected) { return std::fabs(got / expected - 1.0); }

// The series gives the excess over 1 itself, which keeps its relative
// precision however small it is (the tables reach 1e-40): rings with one of
// l, r ten times the other, and uniform disks ten radii out and beyond.
TEST(FarField, ExcessOverOneMatchesTheBruteForceAverages) {
  double worst_ring = 0.0, worst_disk = 0.0;
  std::size_t rings = 0, disks = 0;
  for (const auto& row : read_table("ring_regimes.tsv")) {
    const double l = row.number(0), r = row.number(1), eta = row.number(2), excess = row.number(4);
    const double near = std::min(l, r), far = std::max(l, r);
    if (far < FAR_FIELD_DISTANCE * near) continue;
    const double got = far_field_excess(far / eta, (near / far) * (near / far), RING_MOMENTS);
    worst_ring = std::fmax(worst_ring, relative_error(got, excess));
    EXPECT_LT(relative_error(got, excess), 1e-13) << l << " " << r << " " << eta;
    ++rings;
  }
  for (const auto& row : read_table("uniform_disk_regimes.tsv")) {
    const double rho = row.number(0), l = row.number(1), excess = row.number(3);
    if (l < FAR_FIELD_DISTANCE) continue;
    const double got = far_field_excess(rho * l, 1.0 / (l * l), DISK_MOMENTS);
    worst_disk = std::fmax(worst_disk, relative_error(got, excess));
    EXPECT_LT(relative_error(got, excess), 1e-13) << rho << " " << l;
    ++disks;
  }
  EXPECT_GT(rings, 100u);
  EXPECT_GT(disks, 100u);
  std::printf("  worst relative error of the excess: rings %.2e, disks %.2e\n", worst_ring, worst_disk);
}

// ∫₀¹ 2πr·r^2k·μ^p dr = π·Γ(k + 1)·Γ(p/2 + 1)/Γ(k + p/2 + 2).
TEST(FarField, PowerMomentsAreTheBetaFunction) {
  for (const double p : {0.0, 0.5, 1.0, 2.5, 7.0}) {
    const auto moments = limb_power_moments(p);
    for (int k = 0; k <= FAR_FIELD_TERMS; ++k) {
      const double expected = 3.141592653589793 * std::exp(std::lgamma(k + 1.0) + std::lgamma(p / 2 + 1.0) -
                                                           std::lgamma(k + p / 2 + 2.0));
      EXPECT_LT(relative_error(moments[k], expected), 1e-13) << p << " " << k;
    }
  }
  // The built-in profile 0.4 + 0.6·μ: its first weight is ∫2πr·r²·B dr / (4π/5),
  // with ∫2πr·r² dr = π/2 and ∫2πr·r²·μ dr = 4π/15.
  const auto weights = LimbLaw::built_in().moments();
  EXPECT_LT(relative_error(weights[0], (0.4 * 3.141592653589793 / 2 +
                                         0.6 * 3.141592653589793 * 4.0 / 15.0) /
                                            (4.0 * 3.141592653589793 / 5.0)),
            1e-15);
}

// A flux map's moments against the same integrals in quadruple precision
// with the plain slope-and-intercept form of each piece, ∫_a^b r^n·(α + βr) dr
// = α·(b^(n+1) − a^(n+1))/(n + 1) + β·(b^(n+2) − a^(n+2))/(n + 2), whose
// cancellation 113 bits absorb: maps with a jump, gaps at both ends, a short
// steep piece, samples beyond the source, and a single sample.
TEST(FarField, FluxMapMomentsMatchQuadruplePrecision) {
  using quad = __float128;
  const std::vector<std::pair<std::vector<double>, std::vector<double>>> maps = {
      {{0.0, 0.5, 0.5, 1.0}, {1.0, 1.0, 0.4, 0.4}},
      {{0.2, 0.6, 0.9}, {0.5, 1.0, 0.3}},
      {{0.0, 0.3, 0.3 + 1e-9, 1.0}, {2.0, 2.0, 0.0, 1.0}},
      {{-0.5, 0.5, 1.5}, {1.0, 2.0, 0.0}},
      {{0.25}, {3.0}},
  };
  const auto power = [](quad x, int n) {
    quad result = 1;
    for (int i = 0; i < n; ++i) result *= x;
    return result;
  };
  for (const auto& [bl, bf] : maps) {
    std::vector<quad> raw(FAR_FIELD_TERMS + 1, 0);
    for (int k = 0; k <= FAR_FIELD_TERMS; ++k) {
      const int n = 2 * k + 1;
      const auto piece = [&](quad a, quad b, quad alpha, quad beta) {
        return alpha * (power(b, n + 1) - power(a, n + 1)) / (n + 1) +
               beta * (power(b, n + 2) - power(a, n + 2)) / (n + 2);
      };
      if (bl.size() == 1) {
        raw[k] = piece(0, 1, bf[0], 0);
        continue;
      }
      for (std::size_t i = 0; i + 1 < bl.size(); ++i) {
        const quad a = std::max(bl[i], 0.0), b = std::min(bl[i + 1], 1.0);
        if (!(b > a)) continue;
        const quad beta = (quad(bf[i + 1]) - bf[i]) / (quad(bl[i + 1]) - bl[i]);
        raw[k] += piece(a, b, bf[i] - bl[i] * beta, beta);
      }
    }
    const FarFieldMoments got = FluxMap::from(bl, bf)->moments();
    for (int k = 1; k <= FAR_FIELD_TERMS; ++k) {
      EXPECT_LT(relative_error(got[k - 1], static_cast<double>(raw[k] / raw[0])), 1e-14)
          << bl.size() << " " << k;
    }
  }
}

}  // namespace
