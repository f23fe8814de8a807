// The ring family's two rules over the source radius, in one run: the
// tanh–sinh rule (385 nodes per piece, split at the ring and at a flux map's
// samples) against the fixed Gauss–Legendre rule with its far-field series,
// per profile and regime, in microseconds of kernel time per separation; and
// a realistic light curve. Plain timing, best of three:
//
//     build-bench/bench/mirlaxon_source_rules
#include <algorithm>
#include <array>
#include <optional>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <span>
#include <vector>

#include "separations.hpp"
#include "models/far_field.hpp"
#include "models/flux_map.hpp"
#include "models/limb_law.hpp"
#include "models/magnifications.hpp"
#include "models/ring.hpp"
#include "quadrature/piecewise.hpp"

namespace {

using namespace mirlaxon::models;

struct Table {
  std::vector<double> bl, bf;
};

double built_in_brightness(double r) { return (1.0 - std::sqrt(1.0 - r * r)) * -0.6 + 1.0; }

Table sampled_limb(int samples) {
  Table map;
  for (int k = 0; k < samples; ++k) {
    const double r = k / (samples - 1.0);
    map.bl.push_back(r);
    map.bf.push_back(built_in_brightness(r));
  }
  return map;
}

// The earlier rule, kept here to compare with: the 385-node tanh–sinh rule
// on pieces split at the ring through the lens and at a flux map's samples,
// with the same far-field series. `map` empty for the built-in profile.
Samples old_rule(std::span<const double> l, double eta, const Table* map) {
  const auto profile = map == nullptr ? std::optional<mirlaxon::models::FluxMap>()
                                      : std::optional(*mirlaxon::models::FluxMap::from(map->bl, map->bf));
  const auto brightness = [&](double r) { return profile ? profile->brightness(r) : built_in_brightness(r); };
  const double normalisation = profile ? profile->normalisation() : 4.0 * 3.141592653589793 / 5.0;
  const FarFieldMoments& moments = profile ? profile->moments() : LimbLaw::built_in().moments();
  const std::span<const double> breaks = profile ? profile->breaks() : std::span<const double>();
  Samples result;
  for (const double separation : l) {
    if (separation >= 10.0) {
      result.push_back(far_field_mean(separation / eta, 1.0 / separation, moments));
      continue;
    }
    const RingsAtSeparation rings(separation, eta);
    const auto integrand = [&](double r) { return ((r * 6.283185307179586) * rings.at(r)) * brightness(r); };
    const std::array<double, 1> ring = {separation};
    result.push_back(mirlaxon::quadrature::double_exponential::integrate_unit_in_pieces(integrand, ring, breaks, 1e-16) /
                     normalisation);
  }
  return result;
}

Samples new_rule(std::span<const double> l, double eta, const Table* map) {
  if (map == nullptr) return *integrated_heyrovsky_magnification(l, eta, 1.0);
  return *integrated_flux_map_heyrovsky_magnification(l, eta, 1.0, map->bl, map->bf);
}

template <class Rule>
double microseconds_per_separation(const Rule& rule, std::span<const double> l, const Table* map) {
  // η = re/rstar from 0.01 to 1e4, one call per value.
  constexpr double ETAS[] = {0.01, 0.1, 1.0, 10.0, 100.0, 1e4};
  double best = std::numeric_limits<double>::infinity();
  for (int repeat = 0; repeat < 3; ++repeat) {
    double total = 0.0;
    for (const double eta : ETAS) {
      const auto start = std::chrono::steady_clock::now();
      const Samples values = rule(l, eta, map);
      total += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      if (values.size() != l.size()) std::abort();
    }
    best = std::min(best, total / (std::size(ETAS) * l.size()));
  }
  return best;
}

}  // namespace

int main() {
  const Table map11 = sampled_limb(11), map101 = sampled_limb(101);
  const struct {
    const char* name;
    const Table* map;
  } profiles[] = {{"built-in profile", nullptr}, {"flux map, 11 samples", &map11}, {"flux map, 101 samples", &map101}};
  const struct {
    const char* name;
    std::vector<double> l;
    std::size_t old_count;  // the old rule is slow: fewer separations
  } regimes[] = {
      {"inside (l < 1)", spread(0.0, 1.0, 10000, false), 500},
      {"1 ≤ l < 1.5", spread(1.0, 1.5, 10000, false), 500},
      {"1.5 ≤ l < 30", spread(1.5, 30.0, 10000, true), 500},
      {"l ≥ 30", spread(30.0, 1e5, 10000, true), 500},
  };
  std::printf("Kernel time, µs per separation (10 000 separations, η = 0.01 … 1e4; tanh–sinh on 500)\n\n");
  std::printf("| profile | regime | tanh–sinh | fixed rule | speed-up |\n|---|---|---:|---:|---:|\n");
  for (const auto& profile : profiles) {
    for (const auto& regime : regimes) {
      const std::vector<double> spaced = [&] {
        std::vector<double> l;
        for (std::size_t i = 0; i < regime.l.size(); i += regime.l.size() / regime.old_count) l.push_back(regime.l[i]);
        return l;
      }();
      const double before = microseconds_per_separation(old_rule, spaced, profile.map);
      const double after = microseconds_per_separation(new_rule, regime.l, profile.map);
      std::printf("| %s | %s | %.3g | %.3g | %.0f× |\n", profile.name, regime.name, before, after, before / after);
    }
  }

  // Limb-darkening laws of 1, 2, 4 and 5 terms against the built-in profile,
  // by the same rule.
  const struct {
    const char* name;
    std::vector<double> powers, weights;
  } laws[] = {
      {"1 term (uniform)", {0.0}, {1.0}},
      {"2 terms (linear)", {0.0, 1.0}, {0.4, 0.6}},
      {"4 terms (0, ½, 1, 2)", {0.0, 0.5, 1.0, 2.0}, {0.3, 0.3, 0.3, 0.1}},
      {"5 terms (four-parameter)", {0.0, 0.5, 1.0, 1.5, 2.0}, {0.2, 0.5, 0.2, 0.3, -0.2}},
      {"2 terms (power-2, α = 0.7)", {0.0, 0.7}, {0.4, 0.6}},
  };
  std::printf("\nLimb-darkening laws, kernel time, µs per separation, and the ratio to the built-in profile\n\n");
  std::printf("| law | l < 1 | 1 ≤ l < 1.5 | 1.5 ≤ l < 30 | l ≥ 30 |\n|---|---:|---:|---:|---:|\n");
  for (const auto& law : laws) {
    std::printf("| %s |", law.name);
    for (const auto& regime : regimes) {
      const auto with_law = [&law](std::span<const double> l, double eta, const Table*) {
        return *integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, law.powers, law.weights);
      };
      const double time = microseconds_per_separation(with_law, regime.l, nullptr);
      const double built_in = microseconds_per_separation(new_rule, regime.l, nullptr);
      std::printf(" %.3g (%.2f×) |", time, time / built_in);
    }
    std::printf("\n");
  }

  // A light curve: ρ = rstar/re = 0.01, u0 = 0.001, 10 000 epochs over ±3 tE;
  // u = √(u0² + τ²) in Einstein radii, l = u/ρ in source radii.
  constexpr double RHO = 0.01, U0 = 0.001;
  std::vector<double> curve(10000);
  for (std::size_t i = 0; i < curve.size(); ++i) {
    const double tau = -3.0 + 6.0 * (i + 0.5) / curve.size();
    curve[i] = std::sqrt(U0 * U0 + tau * tau) / RHO;
  }
  const auto time_curve = [&](auto&& rule) {
    double best = std::numeric_limits<double>::infinity();
    for (int repeat = 0; repeat < 3; ++repeat) {
      const auto start = std::chrono::steady_clock::now();
      const Samples values = rule();
      best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      if (values.size() != curve.size()) std::abort();
    }
    return best;
  };
  const double before = time_curve([&] { return old_rule(curve, 1.0 / RHO, nullptr); });
  const double after = time_curve([&] { return new_rule(curve, 1.0 / RHO, nullptr); });
  std::printf("\nLight curve, ρ = 0.01, u0 = 0.001, 10 000 epochs over ±3 tE, built-in profile: "
              "tanh–sinh %.1f ms, fixed rule %.2f ms per curve (%.0f×)\n", before, after, before / after);
  return 0;
}
