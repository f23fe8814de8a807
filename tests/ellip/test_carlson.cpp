// Carlson's integrals: the documented values, to the bit, and every failure
// with its exact text and the order in which the checks are made.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ellip/carlson.hpp"
#include "ellip/kernel_cases.hpp"

namespace {

using namespace mirlaxon::ellip::carlson;
namespace msg = mirlaxon::ellip::carlson::messages;
using mirlaxon::test::KernelCase;

constexpr double PI = 3.141592653589793;
const double NaN = std::nan("");
const double INF = INFINITY;

TEST(Carlson, DocumentedValuesAndFailures) {
  const std::vector<KernelCase> cases = {
      // R_C: the x check comes before the y check; principal values.
      KERNEL_FAILS(elliprc(-1, 0), msg::RC_X_DOMAIN),
      KERNEL_FAILS(elliprc(1, 0), msg::RC_Y_DOMAIN),
      KERNEL_CASE(elliprc(0, -2), 0.0),
      KERNEL_CASE(elliprc(1, -1), 0.6232252401402305),
      KERNEL_CASE(elliprc(0, 0.25), PI),
      KERNEL_CASE(elliprc(2.25, 2), std::log(2.0)),
      KERNEL_CASE(elliprc(0.25, -2), 0.23104906018664842),  // (ln 2)/3
      // R_F: domain, equal arguments, one zero, duplication, its limit.
      KERNEL_FAILS(elliprf(0, 0, 1), msg::RF_DOMAIN),
      KERNEL_FAILS(elliprf(0, 0, 0), msg::RF_DOMAIN),
      KERNEL_FAILS(elliprf(-1, 1, 1), msg::RF_DOMAIN),
      KERNEL_CASE(elliprf(1, 1, 1), 1.0),
      KERNEL_CASE(elliprf(0, 1, 1), PI / 2),
      KERNEL_CASE(elliprf(1, 2, 0), 1.3110287771460598),
      KERNEL_CASE(elliprf(2, 3, 4), 0.5840828416771517),
      KERNEL_FAILS(elliprf(NaN, 1, 2), msg::RF_CONVERGE),
      KERNEL_FAILS(elliprf(INF, 1, 2), msg::RF_CONVERGE),
      KERNEL_CASE(elliprf(0, INF, 1), 0.0),
      KERNEL_FAILS(elliprf(1e-300, 1, 1e300), msg::RF_CONVERGE),
      KERNEL_CASE(elliprf(1e-150, 1, 1e150), 1.740801763356733e-73),
      // R_D: x-and-y before z; NaN z passes the check and fails to converge.
      KERNEL_FAILS(elliprd(0, 0, 1), msg::RD_XY_DOMAIN),
      KERNEL_FAILS(elliprd(-1, 2, 0), msg::RD_XY_DOMAIN),
      KERNEL_FAILS(elliprd(1, 2, 0), msg::RD_Z_DOMAIN),
      KERNEL_FAILS(elliprd(1, 2, NaN), msg::RD_CONVERGE),
      KERNEL_CASE(elliprd(1, 1, 1), 1.0),
      KERNEL_CASE(elliprd(0, 2, 2), 0.8330405509046935),
      KERNEL_CASE(elliprd(0, 2, 1), 1.797210352103388),
      KERNEL_CASE(elliprd(2, 3, 4), 0.16510527294261051),
      // R_J: x, y, z before p; the equal-pair shortcuts on both sides of the
      // 1.2 ratio; principal values.
      KERNEL_FAILS(elliprj(-1, 1, 1, 0), msg::RJ_DOMAIN),
      KERNEL_FAILS(elliprj(1, 2, 3, 0), msg::RJ_P_DOMAIN),
      KERNEL_FAILS(elliprj(1, 2, 3, NaN), msg::RJ_CONVERGE),
      KERNEL_CASE(elliprj(1, 1, 1, 1), 1.0),
      KERNEL_CASE(elliprj(1, 1, 1, 2), 0.6438055098076552),
      KERNEL_CASE(elliprj(0, 1, 2, 3), 0.7768862377858231),
      KERNEL_CASE(elliprj(2, 3, 4, 5), 0.14297579667156754),
      KERNEL_CASE(elliprj(1, 2, 2, 5), 0.23182380450040307),
      KERNEL_CASE(elliprj(1, 2, 2, 2.1), 0.4152095519647659),
      KERNEL_CASE(elliprj(2, 3, 4, -0.5), 0.2472381970305158),
      KERNEL_CASE(elliprj(2, 3, 4, -5), -0.12711230042963914),
  };
  for (const KernelCase& c : cases) mirlaxon::test::check_kernel_case(c);
}

// The symmetric integrals do not depend on the order of their symmetric
// arguments: every permutation takes a different path through the pairing
// and reordering steps, and all must agree to rounding.
TEST(Carlson, SymmetryUnderPermutation) {
  const double x = 0.3, y = 1.7, z = 4.2, p = 2.9;
  const double rf = *elliprf(x, y, z);
  const double rj = *elliprj(x, y, z, p);
  const double rj_pv = *elliprj(x, y, z, -p);
  for (const auto& [a, b, c] : std::vector<std::array<double, 3>>{
           {x, y, z}, {x, z, y}, {y, x, z}, {y, z, x}, {z, x, y}, {z, y, x}}) {
    EXPECT_NEAR(*elliprf(a, b, c), rf, 4e-16 * rf);
    EXPECT_NEAR(*elliprj(a, b, c, p), rj, 8e-16 * rj);
    EXPECT_NEAR(*elliprj(a, b, c, -p), rj_pv, 8e-16 * std::fabs(rj_pv));
  }
  // R_D is symmetric in its first two arguments only.
  EXPECT_NEAR(*elliprd(y, x, z), *elliprd(x, y, z), 8e-16 * *elliprd(x, y, z));
  // Coinciding arguments take the shortcuts; nearby ones the general path.
  EXPECT_NEAR(*elliprj(1, 2, 2, 5), *elliprj(1, 2, std::nextafter(2.0, 3.0), 5), 1e-15);
  EXPECT_NEAR(*elliprd(0, 2, 1), *elliprd(1e-300, 2, 1), 1e-15);
}

}  // namespace
