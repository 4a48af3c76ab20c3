// Portable. No OS headers.
//
// Time for retry loops: a monotonic millisecond counter and a sleep. Code
// that waits goes through this service so tests can install a fake that
// records the waits instead of sleeping.
#pragma once

#include <cstdint>

#include "platform/service.h"

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary fixed point; never goes backwards.
  virtual uint64_t now_ms() = 0;
  // Blocks the calling thread for about `milliseconds`.
  virtual void sleep_ms(uint32_t milliseconds) = 0;
};

inline Clock& monotonic_clock() { return current<Clock>(); }

}  // namespace platform
