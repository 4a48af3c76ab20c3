// POSIX backend only. Internal to the platform layer.
//
// The helpers every POSIX backend file uses: the one errno mapping, the one
// place where system calls interrupted by a signal are retried, and the
// Windows attributes of a file mode.
#pragma once

#include <cerrno>
#include <cstdint>

#include "platform/error.h"

namespace platform::posix {

// Maps an errno value to the platform error vocabulary.
Error error_from_errno(int e);

// Attributes as Windows would report them for an entry of this st_mode
// (from lstat: a symbolic link is a reparse point, never a directory, so
// tree walks never descend through one).
uint32_t attributes_from_mode(unsigned mode);

// Calls f() again while it fails with EINTR; returns its last result.
// f returns a negative value (or -1) and sets errno on failure.
template <class F> auto retry_on_eintr(F f) -> decltype(f()) {
  for (;;) {
    auto r = f();
    if (!(r < 0 && errno == EINTR)) return r;
  }
}

}  // namespace platform::posix
