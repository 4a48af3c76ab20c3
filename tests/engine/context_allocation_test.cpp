// When the per-call state cannot be allocated the call ends with 4 and
// touches none of the caller's callbacks (not even the default sound).
#include <gtest/gtest.h>

#include <new>

#include "zipengine/zipengine.h"

namespace {
bool g_fail_nothrow_new = false;
int g_prints = 0;
int counting_print(const char*, uint32_t) { return ++g_prints; }
int any_replace(char*) { return 0; }
}  // namespace

// The engine allocates its context with the non-throwing new; this test
// binary replaces it so that it can fail on demand.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_fail_nothrow_new) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

TEST(ContextAllocation, FailureGivesNoMemoryWithoutTouchingCallbacks) {
  EngineOptions o{};
  o.archive_path = "whatever.zip";
  o.list_contents = 1;
  EngineCallbacks cb{};
  cb.print = counting_print;
  cb.replace = any_replace;
  g_fail_nothrow_new = true;
  int rc = zipengine_run(0, nullptr, 0, nullptr, &o, &cb);
  g_fail_nothrow_new = false;
  EXPECT_EQ(rc, RC_NO_MEMORY);
  EXPECT_EQ(cb.sound, nullptr);
  EXPECT_EQ(g_prints, 0);
  EXPECT_EQ(cb.entry_count, 0u);
}
