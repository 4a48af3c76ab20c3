// POSIX backend of platform/environment.h.
#include "platform/environment.h"

#include <cstdlib>

namespace platform {
namespace {

class PosixEnvironment final : public Environment {
 public:
  std::optional<std::string> get(const std::string& name) override {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return std::string(v);
  }
  bool set(const std::string& name, const std::optional<std::string>& value) override {
    if (value) return ::setenv(name.c_str(), value->c_str(), 1) == 0;
    return ::unsetenv(name.c_str()) == 0;
  }
};

}  // namespace

template <> Environment& native<Environment>() {
  static PosixEnvironment instance;
  return instance;
}

}  // namespace platform
