// Portable. No OS headers.
//
// Questions asked on the user's terminal, whatever the standard streams are
// redirected to: POSIX opens /dev/tty, Win32 the console (CONIN$/CONOUT$).
// Without a terminal nothing is asked and the caller treats the question as
// declined.
#pragma once

#include <string>

#include "platform/service.h"

namespace platform {

class TerminalPrompt {
 public:
  virtual ~TerminalPrompt() = default;
  // Writes `prompt` to the terminal and reads one line (without its line
  // end). With echo false the typed text is not shown (passwords). False
  // when there is no terminal or the input ended before a line.
  virtual bool ask(const std::string& prompt, bool echo, std::string& answer) = 0;
};

inline TerminalPrompt& terminal_prompt() { return current<TerminalPrompt>(); }

}  // namespace platform
