// Portable. No OS headers.
//
// Environment variables of the running process (GetEnvironmentVariableA /
// SetEnvironmentVariableA on Windows, getenv / setenv on POSIX).
#pragma once

#include <optional>
#include <string>

#include "platform/service.h"

namespace platform {

class Environment {
 public:
  virtual ~Environment() = default;
  // The value, or nothing when the variable is not set.
  virtual std::optional<std::string> get(const std::string& name) = 0;
  // Sets (or, with no value, removes) a variable; false on failure.
  virtual bool set(const std::string& name, const std::optional<std::string>& value) = 0;
};

inline Environment& environment() { return current<Environment>(); }

}  // namespace platform
