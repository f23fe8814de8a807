// The constants every part of the library shares, each the double nearest
// its exact value.
#pragma once

#include <limits>
#include <numbers>

namespace mirlaxon {

inline constexpr double PI = std::numbers::pi;
inline constexpr double HALF_PI = PI / 2.0;  // exact: scaling by 2 rounds nothing
inline constexpr double TWO_PI = 2.0 * PI;
// 2^-52, the spacing of doubles just above 1.
inline constexpr double EPSILON = std::numeric_limits<double>::epsilon();

static_assert(PI == 3.141592653589793 && TWO_PI == 6.283185307179586 &&
              HALF_PI == 1.5707963267948966 && EPSILON == 2.220446049250313e-16);

}  // namespace mirlaxon
