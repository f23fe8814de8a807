// The complete Legendre integrals: documented values and failures, the order
// of the checks, and the limits at m = −∞ (finite negative parameters are in
// the mpmath table of test_reference.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ellip/kernel_cases.hpp"
#include "ellip/legendre.hpp"

namespace {

using namespace mirlaxon::ellip::legendre;
namespace msg = mirlaxon::ellip::legendre::messages;
namespace carlson_msg = mirlaxon::ellip::carlson::messages;
using mirlaxon::test::KernelCase;

constexpr double HALF_PI = 1.5707963267948966;
const double NaN = std::nan("");

TEST(Legendre, DocumentedValuesAndFailures) {
  const std::vector<KernelCase> cases = {
      KERNEL_CASE(ellipk(0), HALF_PI),
      KERNEL_CASE(ellipe(0), HALF_PI),
      KERNEL_CASE(ellipk(1), INFINITY),
      KERNEL_CASE(ellipe(1), 1.0),
      KERNEL_FAILS(ellipk(1.0000001), msg::K_DOMAIN),
      KERNEL_FAILS(ellipe(1.0000001), msg::E_DOMAIN),
      KERNEL_CASE(ellipk(NaN), NaN),
      KERNEL_CASE(ellipe(NaN), NaN),
      KERNEL_CASE(ellipk(0.5), 1.8540746773013719),
      KERNEL_CASE(ellipe(0.5), 1.3506438810476755),
      KERNEL_CASE(ellipk(1 - 0x1p-53), 19.75469464595844),  // the near-one branch
      KERNEL_CASE(ellipe(-1), 1.9100988945138562),
      KERNEL_CASE(ellipk(-INFINITY), 0.0),
      KERNEL_CASE(ellipe(-INFINITY), INFINITY),
      // Π: m is tested before n; n = 0 is K, value or failure.
      KERNEL_CASE(ellippi(0, 0), HALF_PI),
      KERNEL_CASE(ellippi(0, 0.5), 1.8540746773013719),
      KERNEL_FAILS(ellippi(2, 1), msg::PI_M_DOMAIN),
      KERNEL_FAILS(ellippi(1, 0.5), msg::PI_N_DOMAIN),
      KERNEL_CASE(ellippi(0.5, 0.5), 2.7012877620953506),
      KERNEL_CASE(ellippi(-0.5, 0.5), 1.4878469926687983),
      KERNEL_FAILS(ellippi(0.5, NaN), carlson_msg::RJ_CONVERGE),
      KERNEL_FAILS(ellippi(NaN, 0.5), carlson_msg::RJ_CONVERGE),
      KERNEL_CASE(ellippi(0, NaN), NaN),
      KERNEL_CASE(ellippi(-2, -2), NaN),  // m == n < 0 divides by m − n = 0
  };
  for (const KernelCase& c : cases) mirlaxon::test::check_kernel_case(c);
}

}  // namespace
