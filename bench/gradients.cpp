// The derivatives' and the components' cost against the value's, kernel time
// (thread CPU time, best of five) per separation, by regime:
//  - value + ∂A/∂u + ∂A/∂ρ against the value alone, for the standard laws and
//    the uniform disk;
//  - a five-power law's components against that law's value;
//  - three quadratic-law bands at shared epochs: one components call (and the
//    three recombinations) against three law calls.
//
//     build-bench/bench/mirlaxon_gradients
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <span>
#include <vector>

#include "models/magnifications.hpp"
#include "separations.hpp"

namespace {

using namespace mirlaxon::models;

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

constexpr double ETAS[] = {0.01, 1.0, 100.0, 1e4};

// µs per separation of `call(l, eta)` summed over the η values, best of five.
template <class Call>
double microseconds(const Call& call, std::span<const double> l) {
  double best = std::numeric_limits<double>::infinity();
  volatile double sink = 0.0;
  for (int round = 0; round < 5; ++round) {
    const double start = thread_seconds();
    for (const double eta : ETAS) sink = sink + call(l, eta);
    best = std::fmin(best, thread_seconds() - start);
  }
  return 1e6 * best / (static_cast<double>(l.size()) * std::size(ETAS));
}

struct Law {
  const char* name;
  std::vector<double> powers, weights;
};

struct Band {
  const char* name;
  std::vector<double> l;
};

}  // namespace

int main() {
  const std::vector<Band> bands = {{"inside (l < 1)", spread(0.0, 1.0, 2000, false)},
                                   {"1 <= l < 1.5", spread(1.0, 1.5, 2000, false)},
                                   {"1.5 <= l < 10", spread(1.5, 10.0, 2000, false)},
                                   {"l >= 10", spread(10.0, 1e4, 2000, true)}};
  const std::vector<Law> laws = {{"linear 0.6", {0.0, 1.0}, {0.4, 0.6}},
                                 {"quadratic", {0.0, 1.0, 2.0}, {0.4, 0.85, -0.25}},
                                 {"square-root", {0.0, 0.5, 1.0}, {0.3, 0.4, 0.3}},
                                 {"power-2 (0.6)", {0.0, 0.6}, {0.4, 0.6}},
                                 {"four-parameter", {0.0, 0.5, 1.0, 1.5, 2.0}, {0.4, 0.5, -0.3, 0.6, -0.2}}};
  std::printf("value + both derivatives against the value (µs per separation, ratio)\n");
  std::printf("| profile | regime | value | gradient | ratio |\n|---|---|---:|---:|---:|\n");
  for (const Band& band : bands) {
    const double value = microseconds([](auto l, double eta) { return witt_mao_magnification(l, eta, 1.0)->back(); }, band.l);
    const double gradient = microseconds([](auto l, double eta) { return witt_mao_gradient(l, eta, 1.0)->d_u.back(); }, band.l);
    std::printf("| uniform disk | %s | %.4f | %.4f | %.2f |\n", band.name, value, gradient, gradient / value);
  }
  for (const Law& law : laws) {
    for (const Band& band : bands) {
      const double value = microseconds(
          [&](auto l, double eta) {
            return integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, law.powers, law.weights)->back();
          },
          band.l);
      const double gradient = microseconds(
          [&](auto l, double eta) {
            return integrated_limb_law_heyrovsky_gradient(l, eta, 1.0, law.powers, law.weights)->d_u.back();
          },
          band.l);
      std::printf("| %s | %s | %.4f | %.4f | %.2f |\n", law.name, band.name, value, gradient, gradient / value);
    }
  }
  const Law& five = laws.back();
  std::printf("\nfive-power components against the law's value\n| regime | value | components | ratio |\n|---|---:|---:|---:|\n");
  for (const Band& band : bands) {
    const double value = microseconds(
        [&](auto l, double eta) {
          return integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, five.powers, five.weights)->back();
        },
        band.l);
    const double components = microseconds(
        [&](auto l, double eta) { return integrated_limb_law_heyrovsky_components(l, eta, 1.0, five.powers)->back().back(); },
        band.l);
    std::printf("| %s | %.4f | %.4f | %.2f |\n", band.name, value, components, components / value);
  }
  // Three bands' quadratic laws at shared epochs.
  const std::vector<std::vector<double>> band_weights = {{0.45, 0.75, -0.2}, {0.35, 0.85, -0.2}, {0.25, 0.95, -0.2}};
  const std::vector<double> quadratic = {0.0, 1.0, 2.0};
  std::printf("\nthree quadratic bands: one components call against three law calls\n| regime | three calls | components | speed-up |\n|---|---:|---:|---:|\n");
  for (const Band& band : bands) {
    const double three = microseconds(
        [&](auto l, double eta) {
          double sum = 0.0;
          for (const auto& w : band_weights) sum = sum + integrated_limb_law_heyrovsky_magnification(l, eta, 1.0, quadratic, w)->back();
          return sum;
        },
        band.l);
    const double one = microseconds(
        [&](auto l, double eta) {
          const auto rows = *integrated_limb_law_heyrovsky_components(l, eta, 1.0, quadratic);
          double sum = 0.0;
          for (const auto& w : band_weights) {
            // A = Σ_k w_k·N_k·A_k / Σ_k w_k·N_k, the band's factors formed once.
            std::array<double, 3> factor;
            double n = 0.0;
            for (std::size_t k = 0; k < 3; ++k) {
              factor[k] = w[k] * (6.283185307179586 / (quadratic[k] + 2.0));
              n = n + factor[k];
            }
            for (std::size_t k = 0; k < 3; ++k) factor[k] = factor[k] / n;
            for (std::size_t i = 0; i < l.size(); ++i) {
              sum = sum + (factor[0] * rows[0][i] + factor[1] * rows[1][i] + factor[2] * rows[2][i]);
            }
          }
          return sum;
        },
        band.l);
    std::printf("| %s | %.4f | %.4f | %.2f |\n", band.name, three, one, three / one);
  }
}
