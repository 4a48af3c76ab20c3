// Portable. No OS headers.
//
// The text console of console and silent runs. Win32: a console of the
// process's own (AllocConsole) with the C runtime's standard streams bound
// to it. POSIX: the terminal the process already has.
#pragma once

#include <string>

#include "platform/service.h"

namespace platform {

class Console {
 public:
  virtual ~Console() = default;
  // Makes sure a console exists (the result is not examined), gives its
  // screen buffer `buffer_lines` lines where that means anything, binds
  // stdout, stdin and stderr to it unbuffered and sets the window title.
  // Standard streams that the caller redirected to a file or a pipe stay
  // where they lead.
  virtual void setup(int buffer_lines, const std::string& title) = 0;
  // Waits for one key press, read without echo and without waiting for a
  // line end (a non-terminal standard input: one byte). Answers the key, or
  // -1 at the end of input.
  virtual int wait_key() = 0;
};

inline Console& console() { return current<Console>(); }

}  // namespace platform
