// A row of a kernel table: the call, shown for failures, and either the value
// it must return or the exact failure text.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "ellip/kernel_result.hpp"

namespace mirlaxon::test {

struct KernelCase {
  const char* call;
  ellip::KernelResult result;
  double expected;            // ignored when `failure` is set; NaN means "is NaN"
  const char* failure = nullptr;
};

inline void check_kernel_case(const KernelCase& c) {
  SCOPED_TRACE(c.call);
  if (c.failure != nullptr) {
    ASSERT_FALSE(c.result.has_value()) << "returned " << *c.result;
    EXPECT_STREQ(c.result.error(), c.failure);
    return;
  }
  ASSERT_TRUE(c.result.has_value()) << "failed: " << c.result.error();
  if (std::isnan(c.expected)) {
    EXPECT_TRUE(std::isnan(*c.result)) << *c.result;
  } else {
    EXPECT_EQ(*c.result, c.expected);
  }
}

}  // namespace mirlaxon::test

#define KERNEL_CASE(call, expected) mirlaxon::test::KernelCase{#call, call, expected}
#define KERNEL_FAILS(call, text) mirlaxon::test::KernelCase{#call, call, 0.0, text}
