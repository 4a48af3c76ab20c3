// Win32 backend of platform/text_file.h: opens that refuse a reparse point
// (symbolic link or junction) in place of the file, and exclusive names.
#include "platform/text_file.h"

#include <cstdio>

#include "platform/file_system.h"
#include "system_error.h"
#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

using win32::error_from_win32;

class Win32TextFiles final : public TextFiles {
 public:
  Error create_no_follow(const std::string& path, File& out) override {
    out = File();
    // OPEN_REPARSE_POINT opens a link itself, which is then refused.
    HANDLE h = CreateFileW(win32::file_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return error_from_win32(GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        GetFileType(h) != FILE_TYPE_DISK) {
      CloseHandle(h);
      return Error::access_denied;
    }
    if (!SetEndOfFile(h)) {
      Error e = error_from_win32(GetLastError());
      CloseHandle(h);
      return e;
    }
    out = File(native<FileSystem>(), reinterpret_cast<NativeHandle>(h));
    return Error::none;
  }

  Error create_unique(const std::string& directory, const std::string& prefix,
                      const std::string& extension, std::string& path, File& out) override {
    out = File();
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
    LARGE_INTEGER seed;
    QueryPerformanceCounter(&seed);
    unsigned state = static_cast<unsigned>(seed.QuadPart) ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 100; ++attempt) {
      state = state * 1664525u + 1013904223u;
      char unique[16];
      std::snprintf(unique, sizeof unique, "%08x", state);
      std::string name = dir + prefix + unique + extension;
      // CREATE_NEW fails on any existing name, a planted link included.
      HANDLE h = CreateFileW(win32::file_path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        out = File(native<FileSystem>(), reinterpret_cast<NativeHandle>(h));
        path = std::move(name);
        return Error::none;
      }
      DWORD e = GetLastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return error_from_win32(e);
    }
    return Error::already_exists;
  }

  std::string_view line_end() const override { return "\r\n"; }
};

}  // namespace

template <> TextFiles& native<TextFiles>() {
  static Win32TextFiles instance;
  return instance;
}

}  // namespace platform
