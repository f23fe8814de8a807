// Bulirsch's cel against the Legendre integrals it contains (themselves
// checked against mpmath), and its four-lane form against the scalar one.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "ellip/bulirsch.hpp"
#include "ellip/legendre.hpp"

namespace {

namespace bulirsch = mirlaxon::ellip::bulirsch;
namespace legendre = mirlaxon::ellip::legendre;

double relative_error(double got, double expected) { return std::fabs(got / expected - 1.0); }

// cel(kc, 1, 1, 1) = K(m), cel(kc, p, 1, 1) = Π(1 − p, m), and
// cel(kc, 1, 1, kc²) = E(m), with m = 1 − kc²: across moduli from the
// near-singular kc = 1e-12 to kc = 1 and characteristics either side of the
// ring's. Within 8e-16 of the Legendre kernels (worst seen 4.4e-16).
TEST(Cel, ContainsTheLegendreIntegrals) {
  for (const double kc : {1e-12, 1e-6, 0.001, 0.1, 0.5, 0.9, 0.999, 1.0}) {
    const double mc = kc * kc;
    const double m = 1.0 - mc;
    const double k = legendre::ellipk_from_complement(mc).value();
    EXPECT_LT(relative_error(bulirsch::cel(kc, 1.0, 1.0, 1.0), k), 8e-16) << kc;
    if (kc >= 1e-6) {
      EXPECT_LT(relative_error(bulirsch::cel(kc, 1.0, 1.0, mc), legendre::ellipe(m).value()), 8e-16)
          << kc;
    }
    for (const double p : {1e-10, 1e-4, 0.3, 0.75, 1.0}) {
      const double pi = legendre::ellippi_from_complements(1.0 - p, p, mc).value();
      EXPECT_LT(relative_error(bulirsch::cel(kc, p, 1.0, 1.0), pi), 8e-16) << kc << " " << p;
    }
  }
}

TEST(Cel, OutsideItsDomainIsNaN) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [kc, p] : {std::pair{0.0, 0.5}, std::pair{-0.5, 0.5}, std::pair{0.5, 0.0},
                              std::pair{0.5, -1.0}, std::pair{double{NAN}, 0.5}, std::pair{0.5, double{NAN}},
                              std::pair{inf, 0.5}, std::pair{0.5, inf}}) {
    EXPECT_TRUE(std::isnan(bulirsch::cel(kc, p, 1.0, 1.0))) << kc << " " << p;
  }
}

// The batch gives cel's bits in every lane, whatever its neighbours do:
// lanes that converge at different steps, lanes outside the domain, and a
// tail shorter than four.
TEST(Cel, BatchGivesTheScalarBits) {
  std::vector<double> kc, p, a, b;
  const double specials[] = {0.0, -1.0, NAN, std::numeric_limits<double>::infinity(), 1e-300};
  for (int i = 0; i < 203; ++i) {
    kc.push_back(i % 17 == 0 ? specials[(i / 17) % 5] : std::pow(10.0, -12.0 + 12.0 * i / 203.0));
    p.push_back(i % 23 == 0 ? specials[(i / 23) % 5] : std::pow(10.0, -8.0 + 9.0 * ((i * 7) % 203) / 203.0));
    a.push_back(1.0 + i * 0.25);
    b.push_back(i % 5 == 0 ? -3.0 : 0.5 * i);
  }
  std::vector<double> out(kc.size());
  bulirsch::cel_batch(kc, p, a, b, out);
  for (std::size_t i = 0; i < kc.size(); ++i) {
    const double expected = bulirsch::cel(kc[i], p[i], a[i], b[i]);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(out[i])) << i;
    } else {
      EXPECT_EQ(out[i], expected) << i << ": kc " << kc[i] << " p " << p[i];
    }
  }
}

}  // namespace
