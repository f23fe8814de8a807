// The disk family's flux maps: kernel time per separation of
// integrated_witt_mao_magnification (the built-in profile) and of
// integrated_flux_map_witt_mao_magnification with 11 and 101 samples of the
// same profile, by regime and η = re/rstar, with the tanh–sinh rule on every
// piece (as before) and with Gauss–Legendre on the pieces clear of the ring
// (as now), and the ratio of each to the built-in profile. Plain timing, best
// of five:
//
//     build-bench/bench/mirlaxon_disk_flux_maps
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>
#include <vector>

#include "constants.hpp"
#include "separations.hpp"
#include "models/built_in_profile.hpp"
#include "models/disk.hpp"
#include "models/disk_integrand.hpp"
#include "models/domain.hpp"
#include "models/far_field.hpp"
#include "models/flux_map.hpp"
#include "models/magnifications.hpp"
#include "numdiff/central_difference.hpp"
#include "quadrature/piecewise.hpp"

namespace {

using namespace mirlaxon::models;

struct Table {
  std::vector<double> bl, bf;
};

Table sampled_limb(int samples) {
  Table map;
  for (int k = 0; k < samples; ++k) {
    const double r = k / (samples - 1.0);
    map.bl.push_back(r);
    map.bf.push_back(built_in_brightness(r));
  }
  return map;
}

Samples built_in(std::span<const double> l, double eta, const Table*) {
  return *integrated_witt_mao_magnification(l, eta, 1.0);
}

// Every piece by the tanh–sinh rule, the normalisation too: the flux maps'
// rule before, with the same far-field series.
Samples tanh_sinh_pieces(std::span<const double> l, double eta, const Table* map) {
  namespace de = mirlaxon::quadrature::double_exponential;
  const mirlaxon::models::FluxMap profile = *mirlaxon::models::FluxMap::from(map->bl, map->bf);
  const auto brightness = [&profile](double r) { return profile.brightness(r); };
  const auto weighted = [&profile](double r) { return (r * mirlaxon::TWO_PI) * profile.brightness(r); };
  const double normalisation = de::integrate_unit_in_pieces(weighted, {}, profile.breaks(), 1e-16);
  const double rho = 1.0 / eta;
  Samples result;
  for (const double separation : l) {
    if (separation >= FAR_FIELD_DISTANCE) {
      result.push_back(far_field_mean(rho * separation, 1.0 / separation, profile.moments()));
      continue;
    }
    const double c = mirlaxon::numdiff::CBRT_EPS;
    const std::array<double, 3> singular =
        separation < 1.0 ? std::array<double, 3>{separation, separation, separation}
                         : std::array<double, 3>{(separation - c) / (1.0 + c), separation, (separation + c) / (1.0 - c)};
    const DiskIntegrand integrand(DisksAtSeparation(rho * separation, rho), brightness);
    result.push_back(de::integrate_unit_in_pieces(integrand, singular, profile.breaks(), 1e-16) / normalisation);
  }
  return result;
}

Samples flux_map(std::span<const double> l, double eta, const Table* map) {
  return *integrated_flux_map_witt_mao_magnification(l, eta, 1.0, map->bl, map->bf);
}

template <class Rule>
double microseconds_per_separation(const Rule& rule, std::span<const double> l, double eta, const Table* map) {
  double best = std::numeric_limits<double>::infinity();
  for (int repeat = 0; repeat < 5; ++repeat) {
    const auto start = std::chrono::steady_clock::now();
    const Samples values = rule(l, eta, map);
    const double time = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    if (values.size() != l.size()) std::abort();
    best = std::min(best, time / l.size());
  }
  return best;
}

// Every `step`-th separation: the tanh–sinh rule is slow.
std::vector<double> every(const std::vector<double>& l, std::size_t step) {
  std::vector<double> some;
  for (std::size_t i = 0; i < l.size(); i += step) some.push_back(l[i]);
  return some;
}

}  // namespace

int main() {
  const Table map11 = sampled_limb(11), map101 = sampled_limb(101);
  const struct {
    const char* name;
    std::vector<double> l;
  } regimes[] = {
      {"l < 1", spread(0.0, 1.0, 2000, false)},
      {"1 ≤ l < 1.5", spread(1.0, 1.5, 2000, false)},
      {"1.5 ≤ l < 10", spread(1.5, 10.0, 2000, true)},
      {"l ≥ 10", spread(10.0, 1e5, 2000, true)},
  };
  constexpr double ETAS[] = {0.01, 1.0, 100.0};
  std::printf("Kernel time, µs per separation (2 000 separations per regime, the tanh–sinh pieces on every tenth),\n"
              "and the ratio to the built-in profile\n\n");
  std::printf("| regime | η | built-in | 11 samples, tanh–sinh | 11 samples, now | 101 samples, tanh–sinh | "
              "101 samples, now |\n|---|---:|---:|---:|---:|---:|---:|\n");
  for (const auto& regime : regimes) {
    const std::vector<double> some = every(regime.l, 10);
    for (const double eta : ETAS) {
      // The built-in profile on both sets of separations, each ratio against its own.
      const double base = microseconds_per_separation(built_in, regime.l, eta, nullptr);
      const double base_some = microseconds_per_separation(built_in, some, eta, nullptr);
      std::printf("| %s | %g | %.3g |", regime.name, eta, base);
      for (const Table* map : {&map11, &map101}) {
        const double before = microseconds_per_separation(tanh_sinh_pieces, some, eta, map);
        const double after = microseconds_per_separation(flux_map, regime.l, eta, map);
        std::printf(" %.3g (%.2f×) | %.3g (%.2f×) |", before, before / base_some, after, after / base);
      }
      std::printf("\n");
    }
  }
  return 0;
}
