// POSIX backend only. Internal to the platform layer.
//
// The two helpers every POSIX backend file uses: the one errno mapping and
// the one place where system calls interrupted by a signal are retried.
#pragma once

#include <cerrno>

#include "platform/error.h"

namespace platform::posix {

// Maps an errno value to the platform error vocabulary.
Error error_from_errno(int e);

// Calls f() again while it fails with EINTR; returns its last result.
// f returns a negative value (or -1) and sets errno on failure.
template <class F> auto retry_on_eintr(F f) -> decltype(f()) {
  for (;;) {
    auto r = f();
    if (!(r < 0 && errno == EINTR)) return r;
  }
}

}  // namespace platform::posix
