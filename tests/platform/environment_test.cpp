// The environment service round-trips values and reports unset variables.
#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/error.h"

TEST(Environment, SetGetAndRemove) {
  auto& env = platform::environment();
  ASSERT_TRUE(env.set("QEL_TEST_VARIABLE", std::string("a b=c")));
  EXPECT_EQ(env.get("QEL_TEST_VARIABLE"), "a b=c");
  ASSERT_TRUE(env.set("QEL_TEST_VARIABLE", std::nullopt));
  EXPECT_FALSE(env.get("QEL_TEST_VARIABLE").has_value());
}
