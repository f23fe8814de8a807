// What every elliptic-integral kernel returns: a double, or one of a fixed
// set of static message texts. The texts live for the whole run and are only
// borrowed by callers, so a failure costs no allocation.
#pragma once

#include "constants.hpp"

#include <expected>

namespace mirlaxon::ellip {

using KernelResult = std::expected<double, const char*>;

// 2.7 times the double-precision machine epsilon: the relative agreement at
// which the arithmetic-geometric means of R_F and R_D stop.
inline constexpr double MEAN_TOLERANCE = 2.7 * EPSILON;
static_assert(MEAN_TOLERANCE == 5.995204332975846e-16);

}  // namespace mirlaxon::ellip

// Evaluate a nested kernel call and return its failure unchanged, so that the
// caller sees the text of the innermost kernel that rejected its arguments.
#define MIRLAXON_TRY(var, expr)                                                 \
  const ::mirlaxon::ellip::KernelResult var##_result_ = (expr);                 \
  if (!var##_result_) return ::std::unexpected(var##_result_.error());          \
  const double var = *var##_result_
