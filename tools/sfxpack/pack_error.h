// The one failure type of sfxpack: a complete, user-facing sentence. The
// tool stops at the first one and leaves no output file behind.
#pragma once

#include <stdexcept>
#include <string>

namespace sfxpack {

class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace sfxpack
