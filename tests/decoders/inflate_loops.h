// Test support: runs a Deflate test case with each of the decoder's fast
// loops, the 64-bit one and the one of 32-bit processors (which 32-bit
// builds always use, so there both runs take it).
//
//   class Suite : public each_inflate_loop {};
//   INSTANTIATE_TEST_SUITE_P(Loops, Suite, INFLATE_LOOPS, inflate_loop_name);
//   TEST_P(Suite, Case) { ... }
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "inflate.h"

class each_inflate_loop : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { inflate_use_narrow_loop(GetParam()); }
  void TearDown() override { inflate_use_narrow_loop(false); }
};

#define INFLATE_LOOPS ::testing::Values(false, true)

inline std::string inflate_loop_name(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "narrow" : "wide";
}
