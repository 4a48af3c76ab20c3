// Win32 backend of platform/private_file.h. The base temporary directory
// is the user's own on Windows; a list is still read only when the opened
// file is a plain file, not a reparse point (a link) or a directory.
#include "platform/private_file.h"

#include "system_error.h"
#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

class Win32PrivateFile final : public PrivateFile {
 public:
  Error read_own_file(const std::string& path, std::string& content) override {
    content.clear();
    HANDLE h = CreateFileW(win32::file_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return win32::error_from_win32(GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
      CloseHandle(h);
      return Error::access_denied;
    }
    char buffer[8192];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(h, buffer, sizeof buffer, &got, nullptr)) {
        CloseHandle(h);
        return Error::io;
      }
      if (got == 0) break;
      content.append(buffer, got);
    }
    CloseHandle(h);
    return Error::none;
  }
};

}  // namespace

template <> PrivateFile& native<PrivateFile>() {
  static Win32PrivateFile instance;
  return instance;
}

}  // namespace platform
