// Win32 backend of platform/environment.h: the W calls, names and values
// in UTF-8 (a TEMP or PATH outside the ANSI code page stays whole).
#include "platform/environment.h"

#include <vector>

#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

class Win32Environment final : public Environment {
 public:
  std::optional<std::string> get(const std::string& name) override {
    const std::wstring w = win32::wide(name);
    DWORD n = GetEnvironmentVariableW(w.c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::vector<wchar_t> buf(n);
    DWORD got = GetEnvironmentVariableW(w.c_str(), buf.data(), n);
    if (got == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return win32::narrow(std::wstring_view(buf.data(), got < n ? got : n - 1));
  }
  bool set(const std::string& name, const std::optional<std::string>& value) override {
    return SetEnvironmentVariableW(win32::wide(name).c_str(), value ? win32::wide(*value).c_str() : nullptr) != 0;
  }
};

}  // namespace

template <> Environment& native<Environment>() {
  static Win32Environment instance;
  return instance;
}

}  // namespace platform
