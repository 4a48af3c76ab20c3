// Test double of platform::Clock: time stands still until someone sleeps,
// and each sleep is recorded and advances the clock at once, so retry loops
// run at full speed and a test can check how long they would have waited.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace fakes {

class FakeClock final : public platform::Clock {
 public:
  explicit FakeClock(uint64_t start_ms = 1000) : now_(start_ms) {}

  uint64_t now_ms() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void sleep_ms(uint32_t milliseconds) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(milliseconds);
    now_ += milliseconds;
  }

  // Moves time on without a sleep (another thread's work, say).
  void advance(uint64_t milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += milliseconds;
  }
  // Every sleep so far, in order.
  std::vector<uint32_t> sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }
  // The sum of all sleeps.
  uint64_t total_slept_ms() const {
    std::lock_guard<std::mutex> lock(mutex_);
    uint64_t total = 0;
    for (uint32_t s : sleeps_) total += s;
    return total;
  }

 private:
  mutable std::mutex mutex_;
  uint64_t now_;
  std::vector<uint32_t> sleeps_;
};

}  // namespace fakes
