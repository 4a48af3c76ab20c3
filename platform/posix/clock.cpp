// POSIX backend of platform/clock.h: CLOCK_MONOTONIC and nanosleep.
#include "platform/clock.h"

#include <time.h>

#include "system_call.h"

namespace platform {
namespace {

class PosixClock final : public Clock {
 public:
  uint64_t now_ms() override {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  }
  void sleep_ms(uint32_t milliseconds) override {
    // nanosleep leaves the time still to wait in `left` when a signal
    // interrupts it, so the retry sleeps only the rest.
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    posix::retry_on_eintr([&] { return ::nanosleep(&left, &left); });
  }
};

}  // namespace

template <> Clock& native<Clock>() {
  static PosixClock instance;
  return instance;
}

}  // namespace platform
