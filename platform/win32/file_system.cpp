// Win32 backend of platform/file_system.h (and the open-file operations of
// platform/file.h), with the W calls: paths arrive in UTF-8 and go out in
// UTF-8 (wide_path.h); long ones take the \\?\ form.
// Sections: helpers; open files; status and attributes; creating and
// removing; listing; paths; temporary files; volumes.
#include "platform/file_system.h"

#include <cstring>

#include "system_error.h"
#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

using win32::error_from_win32;
using win32::from_filetime;
using win32::to_filetime;
using win32::file_path;
using win32::narrow;

thread_local DWORD last_error = 0;

// Records GetLastError() as the last failure of this thread and maps it.
Error fail() {
  last_error = GetLastError();
  return error_from_win32(last_error);
}

Error fail_with(DWORD code) {
  last_error = code;
  return error_from_win32(code);
}

HANDLE to_handle(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }
NativeHandle from_handle(HANDLE h) { return reinterpret_cast<NativeHandle>(h); }

const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

constexpr DWORD REPARSE = FILE_ATTRIBUTE_REPARSE_POINT;

// Only symbolic links and junctions are links; other reparse points
// (deduplicated or cloud files) are ordinary files to their users.
bool is_link_tag(DWORD tag) { return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT; }

// Whether a path whose attributes carry the reparse bit is a link.
bool path_is_link(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return false;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(file_path(path).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return true;  // cannot tell: the safe answer for tree walks
  FindClose(h);
  return is_link_tag(fd.dwReserved0);
}

// Attributes SetFileAttributes accepts; directory, device and volume-label
// bits come from what the entry is.
constexpr DWORD SETTABLE = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                           FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD settable(uint32_t attributes) {
  DWORD a = attributes & SETTABLE;
  if (a & ~FILE_ATTRIBUTE_NORMAL) a &= ~FILE_ATTRIBUTE_NORMAL;
  return a == 0 ? FILE_ATTRIBUTE_NORMAL : a;
}

// The listing pattern "<dir>\*" for a directory path.
template <class S> S pattern_of(const S& dir) {
  S p = dir;
  if (p.empty()) p.push_back('.');
  if (p.back() != '\\' && p.back() != '/' && p.back() != ':') p.push_back('\\');
  p.push_back('*');
  return p;
}

// win32::grow_wide, the text in UTF-8.
template <class Get> Error grow_call(std::string& out, Get get) {
  std::wstring text;
  if (!win32::grow_wide(text, get)) return fail();
  out = narrow(text);
  return Error::none;
}

class Win32FileSystem final : public FileSystem {
 public:
  // ---- Open files.

  Error open_read(const std::string& path, File& out) override {
    Error e = open_with(path, GENERIC_READ, OPEN_EXISTING, out);
    if (e != Error::none) return e;
    // Consoles, serial ports and pipes open like files; only a disk file is
    // one to read as such.
    if (GetFileType(to_handle(out.native_handle())) != FILE_TYPE_DISK) {
      out.close();
      last_error = ERROR_BAD_FILE_TYPE;
      return Error::not_regular_file;
    }
    return Error::none;
  }
  Error open_read_write(const std::string& path, File& out) override {
    return open_with(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, out);
  }
  Error open_write_existing(const std::string& path, File& out) override {
    return open_with(path, GENERIC_WRITE, OPEN_EXISTING, out);
  }
  Error create(const std::string& path, File& out) override {
    return open_with(path, GENERIC_WRITE, CREATE_ALWAYS, out);
  }
  Error create_exclusive(const std::string& path, File& out) override {
    return open_with(path, GENERIC_WRITE, CREATE_NEW, out);
  }
  Error create_exclusive_with_mode(const std::string& path, uint32_t, File& out) override {
    return open_with(path, GENERIC_WRITE, CREATE_NEW, out);
  }

  IoResult file_read(NativeHandle h, void* buffer, size_t n) override {
    char* p = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < n) {
      DWORD chunk = static_cast<DWORD>(n - got > 0x40000000u ? 0x40000000u : n - got);
      DWORD r = 0;
      if (!ReadFile(to_handle(h), p + got, chunk, &r, nullptr)) {
        if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) break;
        return {static_cast<int64_t>(got), fail()};
      }
      if (r == 0) break;
      got += r;
    }
    return {static_cast<int64_t>(got), Error::none};
  }

  IoResult file_read_at(NativeHandle h, int64_t offset, void* buffer, size_t n) override {
    // The offset travels with each call, so threads sharing the handle do
    // not disturb each other (the handle's own position moves along, and
    // nobody relies on it).
    char* p = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < n) {
      DWORD chunk = static_cast<DWORD>(n - got > 0x40000000u ? 0x40000000u : n - got);
      const uint64_t at = static_cast<uint64_t>(offset) + got;
      OVERLAPPED where{};
      where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD r = 0;
      if (!ReadFile(to_handle(h), p + got, chunk, &r, &where)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return {static_cast<int64_t>(got), fail()};
      }
      if (r == 0) break;
      got += r;
    }
    return {static_cast<int64_t>(got), Error::none};
  }

  IoResult file_write(NativeHandle h, const void* buffer, size_t n) override {
    const char* p = static_cast<const char*>(buffer);
    size_t put = 0;
    while (put < n) {
      DWORD chunk = static_cast<DWORD>(n - put > 0x40000000u ? 0x40000000u : n - put);
      DWORD w = 0;
      if (!WriteFile(to_handle(h), p + put, chunk, &w, nullptr)) return {static_cast<int64_t>(put), fail()};
      put += w;
      if (w < chunk) return {static_cast<int64_t>(put), fail_with(ERROR_DISK_FULL)};
    }
    return {static_cast<int64_t>(put), Error::none};
  }

  IoResult file_seek(NativeHandle h, int64_t offset) override {
    LARGE_INTEGER to, now;
    to.QuadPart = offset;
    if (!SetFilePointerEx(to_handle(h), to, &now, FILE_BEGIN)) return {0, fail()};
    return {static_cast<int64_t>(now.QuadPart), Error::none};
  }

  IoResult file_size(NativeHandle h) override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(to_handle(h), &size)) return {0, fail()};
    return {static_cast<int64_t>(size.QuadPart), Error::none};
  }

  Error file_set_times(NativeHandle h, const FileTimes& times) override {
    return set_handle_times(to_handle(h), times);
  }

  Error file_close(NativeHandle h) override {
    if (!CloseHandle(to_handle(h))) return fail();
    return Error::none;
  }

  // ---- Status, attributes, times.

  Error status(const std::string& path, FileStatus& out) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file_path(path).c_str(), GetFileExInfoStandard, &data)) {
      DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME) {
        out = FileStatus{};
        return Error::none;
      }
      return fail_with(code);
    }
    DWORD a = data.dwFileAttributes;
    out.kind = ((a & REPARSE) && path_is_link(path)) ? FileKind::symlink
               : (a & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::directory
                                                : FileKind::file;
    out.size = (a & FILE_ATTRIBUTE_DIRECTORY) ? 0 : (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    out.modification = from_filetime(data.ftLastWriteTime);
    out.access = from_filetime(data.ftLastAccessTime);
    out.creation = from_filetime(data.ftCreationTime);
    out.attributes = a;
    return Error::none;
  }

  Error get_attributes(const std::string& path, uint32_t& out) override {
    DWORD a = GetFileAttributesW(file_path(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return fail();
    out = a;
    return Error::none;
  }

  Error set_attributes(const std::string& path, uint32_t attributes) override {
    if (!SetFileAttributesW(file_path(path).c_str(), settable(attributes))) return fail();
    return Error::none;
  }

  Error set_unix_mode(const std::string&, uint32_t) override { return Error::none; }

  Error set_times(const std::string& path, const FileTimes& times) override {
    // FILE_WRITE_ATTRIBUTES is granted on read-only files too; backup
    // semantics let the same call reach directories.
    HANDLE h = CreateFileW(file_path(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail();
    Error e = set_handle_times(h, times);
    CloseHandle(h);
    return e;
  }

  // ---- Creating, removing, renaming.

  Error delete_file(const std::string& path) override {
    // A symbolic link to a directory is removed as a directory; that
    // removes the link, never what it points to.
    const std::wstring p = file_path(path);
    DWORD a = GetFileAttributesW(p.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & REPARSE) && (a & FILE_ATTRIBUTE_DIRECTORY)) {
      if (!RemoveDirectoryW(p.c_str())) return fail();
      return Error::none;
    }
    if (!DeleteFileW(p.c_str())) return fail();
    return Error::none;
  }

  Error remove_directory(const std::string& path) override {
    if (!RemoveDirectoryW(file_path(path).c_str())) return fail();
    return Error::none;
  }

  Error create_directory(const std::string& path) override {
    if (!CreateDirectoryW(file_path(path).c_str(), nullptr)) return fail();
    return Error::none;
  }

  Error rename(const std::string& from, const std::string& to) override {
    if (!MoveFileW(file_path(from).c_str(), file_path(to).c_str())) return fail();
    return Error::none;
  }

  Error list_directory(const std::string& path, std::vector<DirectoryEntry>& out) override {
    out.clear();
    WIN32_FIND_DATAW fd;
    const std::wstring p = file_path(path);
    HANDLE h = FindFirstFileW(pattern_of(p).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return listing_failure(GetLastError(), GetFileAttributesW(p.c_str()));
    do {
      out.push_back(DirectoryEntry{narrow(fd.cFileName), fd.dwFileAttributes, (fd.dwFileAttributes & REPARSE) != 0 && is_link_tag(fd.dwReserved0),
                                   (uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow,
                                   from_filetime(fd.ftLastWriteTime)});
    } while (FindNextFileW(h, &fd));
    DWORD code = GetLastError();
    FindClose(h);
    if (code != ERROR_NO_MORE_FILES) {
      out.clear();
      return fail_with(code);
    }
    return Error::none;
  }

  // ---- UTF-16 forms.

  Error get_attributes_w(const std::u16string& path, uint32_t& out) override {
    DWORD a = GetFileAttributesW(wide(path));
    if (a == INVALID_FILE_ATTRIBUTES) return fail();
    out = a;
    return Error::none;
  }
  Error set_attributes_w(const std::u16string& path, uint32_t attributes) override {
    if (!SetFileAttributesW(wide(path), settable(attributes))) return fail();
    return Error::none;
  }
  Error delete_file_w(const std::u16string& path) override {
    DWORD a = GetFileAttributesW(wide(path));
    if (a != INVALID_FILE_ATTRIBUTES && (a & REPARSE) && (a & FILE_ATTRIBUTE_DIRECTORY)) {
      if (!RemoveDirectoryW(wide(path))) return fail();
      return Error::none;
    }
    if (!DeleteFileW(wide(path))) return fail();
    return Error::none;
  }
  Error remove_directory_w(const std::u16string& path) override {
    if (!RemoveDirectoryW(wide(path))) return fail();
    return Error::none;
  }
  Error list_directory_w(const std::u16string& path, std::vector<WideDirectoryEntry>& out) override {
    out.clear();
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(wide(pattern_of(path)), &fd);
    if (h == INVALID_HANDLE_VALUE) return listing_failure(GetLastError(), GetFileAttributesW(wide(path)));
    do {
      out.push_back(WideDirectoryEntry{reinterpret_cast<const char16_t*>(fd.cFileName), fd.dwFileAttributes,
                                       (fd.dwFileAttributes & REPARSE) != 0 && is_link_tag(fd.dwReserved0),
                                       (uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow,
                                       from_filetime(fd.ftLastWriteTime)});
    } while (FindNextFileW(h, &fd));
    DWORD code = GetLastError();
    FindClose(h);
    if (code != ERROR_NO_MORE_FILES) {
      out.clear();
      return fail_with(code);
    }
    return Error::none;
  }

  // ---- Paths.

  Error current_directory(std::string& out) override {
    return grow_call(out, [](wchar_t* b, DWORD n) { return GetCurrentDirectoryW(n, b); });
  }

  Error set_current_directory(const std::string& path) override {
    if (!SetCurrentDirectoryW(win32::wide(path).c_str())) return fail();
    return Error::none;
  }

  Error full_path(const std::string& path, std::string& out) override {
    if (path.empty()) return fail_with(ERROR_FILE_NOT_FOUND);
    const std::wstring p = win32::wide(path);
    return grow_call(out, [&](wchar_t* b, DWORD n) { return GetFullPathNameW(p.c_str(), n, b, nullptr); });
  }

  Error program_path(std::string& out) override {
    std::wstring buf(MAX_PATH, L'\0');
    for (int tries = 0; tries < 8; ++tries) {
      DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) return fail();
      if (n < buf.size()) {
        out = win32::message_form(std::wstring_view(buf.data(), n));
        return Error::none;
      }
      buf.resize(buf.size() * 2);  // cut short: try a larger buffer
    }
    return fail_with(ERROR_BUFFER_OVERFLOW);
  }

  Error short_path(const std::string& path, std::string& out) override {
    const std::wstring p = win32::wide(path);
    return grow_call(out, [&](wchar_t* b, DWORD n) { return GetShortPathNameW(p.c_str(), b, n); });
  }

  Error temp_directory(std::string& out) override {
    return grow_call(out, [](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
  }

  Error unique_temp_file(const std::string& directory, const std::string& prefix, std::string& out) override {
    wchar_t buf[MAX_PATH + 1];
    const std::wstring d = win32::wide(directory);
    if (GetTempFileNameW(d.c_str(), win32::wide(prefix).c_str(), 0, buf) == 0) {
      // A missing directory is reported as "not a directory name"; say
      // what callers act on (the raw code stays for messages).
      DWORD code = GetLastError();
      Error e = fail_with(code);
      if (code == ERROR_DIRECTORY && GetFileAttributesW(d.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Error::not_found;
      return e;
    }
    out = narrow(buf);
    return Error::none;
  }

  // ---- Volumes.

  Error free_space(const std::string& path, uint64_t& out) override {
    ULARGE_INTEGER avail;
    if (!GetDiskFreeSpaceExW(win32::wide(path).c_str(), &avail, nullptr, nullptr)) return fail();
    out = avail.QuadPart;
    return Error::none;
  }

  Error volume_info(const std::string& path, VolumeInfo& out) override {
    std::string root;
    Error e = volume_root(path, root);
    if (e != Error::none) return e;
    DWORD max_length = 0, flags = 0;
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(win32::wide(root).c_str(), nullptr, 0, nullptr, &max_length, &flags, name, MAX_PATH + 1))
      return fail();
    out.max_component_length = max_length;
    out.file_system_name = narrow(name);
    out.flags = flags;
    return Error::none;
  }

  Error volume_root(const std::string& path, std::string& out) override {
    std::string full;
    Error e = full_path(path, full);
    if (e != Error::none) return e;
    wchar_t buf[MAX_PATH + 1];
    if (GetVolumePathNameW(win32::wide(full).c_str(), buf, MAX_PATH + 1)) {
      out = narrow(buf);
    } else {
      // Derive it from the text: "X:\" or "\\server\share\".
      if (full.size() >= 2 && full[1] == ':') {
        out = full.substr(0, 2) + '\\';
      } else if (full.size() > 2 && (full[0] == '\\' || full[0] == '/') && (full[1] == '\\' || full[1] == '/')) {
        size_t server_end = full.find_first_of("\\/", 2);
        size_t share_end = server_end == std::string::npos ? server_end : full.find_first_of("\\/", server_end + 1);
        out = share_end == std::string::npos ? full : full.substr(0, share_end);
      } else {
        return fail();
      }
    }
    if (out.back() != '\\' && out.back() != '/') out += '\\';
    return Error::none;
  }

  char path_separator() const override { return '\\'; }
  char path_list_separator() const override { return ';'; }
  int last_system_error() override { return static_cast<int>(last_error); }

 private:
  Error open_with(const std::string& path, DWORD access, DWORD disposition, File& out) {
    out.close();
    const std::wstring p = file_path(path);
    HANDLE h = CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      // A directory cannot be opened as a file; name that plainly.
      DWORD a = code == ERROR_ACCESS_DENIED ? GetFileAttributesW(p.c_str()) : INVALID_FILE_ATTRIBUTES;
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        last_error = code;
        return Error::is_directory;
      }
      return fail_with(code);
    }
    out = File(*this, from_handle(h));
    return Error::none;
  }

  static Error set_handle_times(HANDLE h, const FileTimes& times) {
    FILETIME c, a, m;
    if (times.creation) c = to_filetime(*times.creation);
    if (times.access) a = to_filetime(*times.access);
    if (times.modification) m = to_filetime(*times.modification);
    if (!SetFileTime(h, times.creation ? &c : nullptr, times.access ? &a : nullptr,
                     times.modification ? &m : nullptr))
      return fail();
    return Error::none;
  }

  // Why a listing could not start: a path that is a file is no directory;
  // a directory without entries (a drive root) is an empty listing.
  static Error listing_failure(DWORD code, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return fail_with(ERROR_DIRECTORY);
    if (attributes != INVALID_FILE_ATTRIBUTES && code == ERROR_FILE_NOT_FOUND) return Error::none;
    return fail_with(code);
  }
};

}  // namespace

template <> FileSystem& native<FileSystem>() {
  static Win32FileSystem instance;
  return instance;
}

}  // namespace platform
