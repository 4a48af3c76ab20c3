// Win32 backend of platform/environment.h.
#include "platform/environment.h"

#include <vector>

#include "windows_fwd.h"

namespace platform {
namespace {

class Win32Environment final : public Environment {
 public:
  std::optional<std::string> get(const std::string& name) override {
    DWORD n = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::vector<char> buf(n);
    DWORD got = GetEnvironmentVariableA(name.c_str(), buf.data(), n);
    if (got == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string(buf.data(), got < n ? got : n - 1);
  }
  bool set(const std::string& name, const std::optional<std::string>& value) override {
    return SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr) != 0;
  }
};

}  // namespace

template <> Environment& native<Environment>() {
  static Win32Environment instance;
  return instance;
}

}  // namespace platform
