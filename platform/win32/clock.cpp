// Win32 backend of platform/clock.h: the performance counter (GetTickCount
// wraps after 49 days, GetTickCount64 is not on every supported system) and
// Sleep.
#include "platform/clock.h"

#include "windows_fwd.h"

namespace platform {
namespace {

class Win32Clock final : public Clock {
 public:
  uint64_t now_ms() override {
    static const uint64_t frequency = [] {
      LARGE_INTEGER f;
      QueryPerformanceFrequency(&f);
      return static_cast<uint64_t>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    uint64_t count = static_cast<uint64_t>(c.QuadPart);
    return count / frequency * 1000u + count % frequency * 1000u / frequency;
  }
  void sleep_ms(uint32_t milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

template <> Clock& native<Clock>() {
  static Win32Clock instance;
  return instance;
}

}  // namespace platform
