// Portable. No OS headers.
//
// Whether a file is marked as a program: the owner-execute permission bit on
// POSIX; on Windows the extensions the C runtime's stat marks executable
// (.exe, .com, .bat, .cmd). Used only to word a message.
#pragma once

#include <string>

#include "platform/service.h"

namespace platform {

class ExecutableMark {
 public:
  virtual ~ExecutableMark() = default;
  // False when the file is not marked, or its status cannot be had.
  virtual bool is_marked_executable(const std::string& path) = 0;
};

inline ExecutableMark& executable_mark() { return current<ExecutableMark>(); }

}  // namespace platform
