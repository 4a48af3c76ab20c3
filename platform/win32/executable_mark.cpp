// Win32 backend of platform/executable_mark.h: the C runtime's rule, by
// extension.
#include "platform/executable_mark.h"

#include <cctype>

#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

class Win32ExecutableMark final : public ExecutableMark {
 public:
  bool is_marked_executable(const std::string& path) override {
    if (GetFileAttributesW(win32::file_path(path).c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    size_t dot = path.find_last_of('.');
    size_t sep = path.find_last_of("/\\");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "exe" || ext == "com" || ext == "bat" || ext == "cmd";
  }
};

}  // namespace

template <> ExecutableMark& native<ExecutableMark>() {
  static Win32ExecutableMark instance;
  return instance;
}

}  // namespace platform
