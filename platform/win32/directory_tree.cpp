// Win32 backend of platform/directory_tree.h, with the W calls.
//
// A held directory is a handle opened with backup semantics (directories
// can be opened at all) and FILE_FLAG_OPEN_REPARSE_POINT (a junction or
// symbolic link is opened itself, so it is seen, never entered), sharing
// read and write but not delete: while it is held nobody can rename or
// remove it, so its path keeps naming it. Entries are listed and removed
// by their path below the held directory's final path, which has every
// link above it resolved. Names stay UTF-16, carried as WTF-8.
//
// Sections: helpers; the service.
#include "platform/directory_tree.h"

#include <cstddef>
#include <cstring>

#include "../portable/unicode.h"
#include "platform/file_system.h"
#include "system_error.h"
#include "windows_fwd.h"
// After windows.h, whose types it uses.
#include <winioctl.h>

namespace platform {
namespace {

using win32::error_from_win32;

Error fail() { return error_from_win32(GetLastError()); }

HANDLE to_handle(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }

// Every path of this service (UTF-8, WTF-8 for listed names), as the W
// calls take it. Long paths: the final paths carry the \\?\ prefix already,
// and open_parent gives a long path that prefix before it opens anything.
std::u16string wide(const std::string& path) { return unicode::wtf8_to_utf16(path); }
const wchar_t* w(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::string narrow(const wchar_t* s) { return unicode::utf16_to_wtf8(reinterpret_cast<const char16_t*>(s)); }

std::string join(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '\\') return directory + name;
  return directory + '\\' + name;
}

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

// Length of the root of an absolute path: "C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\" (0 when none is recognised).
size_t root_length(const std::u16string& p) {
  size_t at = 0;
  if (p.compare(0, 4, u"\\\\?\\") == 0) {
    at = 4;
    if (p.compare(at, 4, u"UNC\\") != 0) return p.size() >= at + 3 && p[at + 1] == u':' ? at + 3 : 0;
    at += 4;
  } else if (p.size() >= 3 && p[1] == u':' && is_separator(p[2])) {
    return 3;
  } else if (p.size() > 2 && is_separator(p[0]) && is_separator(p[1])) {
    at = 2;
  } else {
    return 0;
  }
  // server\share\ (the share's separator may be the end of the text)
  for (int names = 0; names < 2; ++names) {
    size_t end = at;
    while (end < p.size() && !is_separator(p[end])) ++end;
    if (end == at) return 0;
    at = end < p.size() ? end + 1 : end;
  }
  return at;
}

// Only symbolic links and junctions are links; other reparse points
// (deduplicated or cloud files) are ordinary files to their users.
bool is_link_tag(DWORD tag) { return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT; }

// The head of a mount-point reparse buffer (ntifs.h, not in the user headers).
struct MountPointReparse {
  ULONG tag;
  USHORT data_length;
  USHORT reserved;
  USHORT substitute_offset;
  USHORT substitute_length;
  USHORT print_offset;
  USHORT print_length;
  WCHAR path[1];
};

// A junction whose target is a volume ("\??\Volume{...}\") is where
// another volume is mounted, not a link to a directory.
bool is_volume_mount(const std::u16string& path) {
  HANDLE h = CreateFileW(w(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  alignas(8) char buffer[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
  DWORD got = 0;
  bool volume = false;
  if (DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, sizeof buffer, &got, nullptr) &&
      got >= offsetof(MountPointReparse, path)) {
    auto* r = reinterpret_cast<const MountPointReparse*>(buffer);
    const size_t offset = offsetof(MountPointReparse, path) + r->substitute_offset;
    if (r->tag == IO_REPARSE_TAG_MOUNT_POINT && offset + r->substitute_length <= got) {
      std::u16string target(reinterpret_cast<const char16_t*>(buffer + offset), r->substitute_length / 2);
      volume = target.compare(0, 11, u"\\??\\Volume{") == 0;
    }
  }
  CloseHandle(h);
  return volume;
}

TreeEntry entry_of(const WIN32_FIND_DATAW& fd, const std::u16string& full_path) {
  TreeEntry entry;
  entry.name = narrow(fd.cFileName);
  entry.attributes = fd.dwFileAttributes;
  entry.size = (uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  const DWORD a = fd.dwFileAttributes;
  if ((a & FILE_ATTRIBUTE_REPARSE_POINT) && is_link_tag(fd.dwReserved0))
    entry.kind = fd.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT && is_volume_mount(full_path) ? TreeEntryKind::mount_point
                                                                                              : TreeEntryKind::link;
  else
    entry.kind = (a & FILE_ATTRIBUTE_DIRECTORY) ? TreeEntryKind::directory : TreeEntryKind::file;
  if (entry.kind == TreeEntryKind::directory) entry.size = 0;
  return entry;
}

// A directory opened to be held (see the banner).
HANDLE open_held(const std::u16string& path, DWORD extra_flags) {
  return CreateFileW(w(path), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | extra_flags, nullptr);
}

FileIdentity identity_of(const BY_HANDLE_FILE_INFORMATION& info) {
  FileIdentity id;
  id.volume = info.dwVolumeSerialNumber;
  id.file = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id.size = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  id.known = true;
  return id;
}

Error identify_wide(const std::u16string& path, FileIdentity& out) {
  HANDLE h = CreateFileW(w(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail();
  BY_HANDLE_FILE_INFORMATION info;
  Error e = GetFileInformationByHandle(h, &info) ? Error::none : fail();
  CloseHandle(h);
  if (e == Error::none) out = identity_of(info);
  return e;
}

// The path the system knows a handle by, links resolved (Vista and later;
// on older systems the path it was opened by).
std::u16string final_path(HANDLE h, const std::u16string& fallback) {
  using Fn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static Fn fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (!fn) return fallback;
  std::u16string buf(MAX_PATH, u'\0');
  for (int tries = 0; tries < 4; ++tries) {
    DWORD n = fn(h, reinterpret_cast<wchar_t*>(buf.data()), static_cast<DWORD>(buf.size()), 0);
    if (n == 0) return fallback;
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(n + 1);
  }
  return fallback;
}

class Win32DirectoryTree final : public DirectoryTree {
 public:
  Error open_parent(const std::string& path, DirectoryHandle& parent, TreeEntry& entry) override {
    parent.close();
    std::u16string text = wide(path);
    // ".." would be resolved by the text alone, "*" and "?" would list
    // instead of naming: neither names one removable thing.
    if (text.find_first_of(u"*?") != std::u16string::npos) return Error::invalid_name;
    for (size_t start = 0; start <= text.size();) {
      size_t end = start;
      while (end < text.size() && !is_separator(text[end])) ++end;
      if (text.compare(start, end - start, u"..") == 0) return Error::invalid_name;
      start = end + 1;
    }
    if (text.empty()) return Error::invalid_name;
    std::u16string full(MAX_PATH, u'\0');
    for (int tries = 0; tries < 4; ++tries) {
      DWORD n = GetFullPathNameW(w(text), static_cast<DWORD>(full.size()), reinterpret_cast<wchar_t*>(full.data()), nullptr);
      if (n == 0) return fail();
      if (n < full.size()) {
        full.resize(n);
        break;
      }
      full.resize(n + 1);
    }
    if (full.size() >= MAX_PATH - 12 && full.compare(0, 4, u"\\\\?\\") != 0) {
      if (full.size() >= 3 && full[1] == u':') full = u"\\\\?\\" + full;
      else if (full.size() > 2 && is_separator(full[0]) && is_separator(full[1])) full = u"\\\\?\\UNC\\" + full.substr(2);
    }
    const size_t root = root_length(full);
    if (root == 0) return Error::invalid_name;
    while (full.size() > root && is_separator(full.back())) full.pop_back();
    if (full.size() <= root) return Error::invalid_name;
    size_t cut = full.size();
    while (cut > root && !is_separator(full[cut - 1])) --cut;
    std::u16string above = full.substr(0, cut);
    std::u16string name = full.substr(cut);
    if (above.size() > root) above.pop_back();

    HANDLE h = open_held(above, 0);
    if (h == INVALID_HANDLE_VALUE) return fail();
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) {
      Error e = fail();
      CloseHandle(h);
      return e;
    }
    parent = DirectoryHandle(*this, reinterpret_cast<NativeHandle>(h), unicode::utf16_to_wtf8(final_path(h, above)),
                             info.dwVolumeSerialNumber, info.dwFileAttributes);
    std::u16string child = wide(join(parent.path(), unicode::utf16_to_wtf8(name)));
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(w(child), &fd);
    if (find == INVALID_HANDLE_VALUE) return fail();
    FindClose(find);
    entry = entry_of(fd, child);
    return Error::none;
  }

  Error open_directory(const DirectoryHandle& parent, const TreeEntry& entry, DirectoryHandle& out) override {
    out.close();
    const std::string path = join(parent.path(), entry.name);
    const std::u16string p = wide(path);
    HANDLE h = open_held(p, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE) return fail();
    BY_HANDLE_FILE_INFORMATION info;
    Error e = GetFileInformationByHandle(h, &info) ? Error::none : fail();
    if (e == Error::none && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      WIN32_FIND_DATAW fd;
      HANDLE find = FindFirstFileW(w(p), &fd);
      if (find != INVALID_HANDLE_VALUE) FindClose(find);
      if (find == INVALID_HANDLE_VALUE || is_link_tag(fd.dwReserved0)) e = Error::is_link;
    }
    if (e == Error::none && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) e = Error::not_directory;
    if (e != Error::none) {
      CloseHandle(h);
      return e;
    }
    out = DirectoryHandle(*this, reinterpret_cast<NativeHandle>(h), path, info.dwVolumeSerialNumber,
                          info.dwFileAttributes);
    return Error::none;
  }

  Error list(const DirectoryHandle& directory, std::vector<TreeEntry>& out) override {
    out.clear();
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(w(wide(join(directory.path(), "*"))), &fd);
    if (h == INVALID_HANDLE_VALUE) {
      // A directory without entries (a drive root) has nothing to list.
      return GetLastError() == ERROR_FILE_NOT_FOUND ? Error::none : fail();
    }
    do {
      if (std::wcscmp(fd.cFileName, L".") == 0 || std::wcscmp(fd.cFileName, L"..") == 0) continue;
      out.push_back(entry_of(fd, wide(join(directory.path(), narrow(fd.cFileName)))));
    } while (FindNextFileW(h, &fd));
    DWORD code = GetLastError();
    FindClose(h);
    if (code != ERROR_NO_MORE_FILES) {
      out.clear();
      return error_from_win32(code);
    }
    return Error::none;
  }

  Error identify(const DirectoryHandle& directory, const TreeEntry& entry, FileIdentity& out) override {
    return identify_wide(wide(join(directory.path(), entry.name)), out);
  }

  Error identify_path(const std::string& path, FileIdentity& out) override {
    return identify_wide(wide(path), out);
  }

  Error clear_read_only(const DirectoryHandle& directory, const TreeEntry& entry) override {
    return clear_read_only_at(wide(join(directory.path(), entry.name)), entry.attributes);
  }

  Error make_writable(const DirectoryHandle& directory) override {
    return clear_read_only_at(wide(directory.path()), directory.attributes());
  }

  Error remove(const DirectoryHandle& directory, const TreeEntry& entry) override {
    const std::u16string p = wide(join(directory.path(), entry.name));
    BOOL done;
    switch (entry.kind) {
      case TreeEntryKind::mount_point:
        return Error::unsupported;
      case TreeEntryKind::directory:
        done = RemoveDirectoryW(w(p));
        break;
      case TreeEntryKind::link:
        // A link to a directory, or a junction, goes as a directory: the
        // link itself, never what it points to.
        done = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(w(p)) : DeleteFileW(w(p));
        break;
      default:
        done = DeleteFileW(w(p));
        break;
    }
    return done ? Error::none : fail();
  }

  std::string message_path(const std::string& path) const override {
    std::u16string p = wide(path);
    if (p.compare(0, 8, u"\\\\?\\UNC\\") == 0)
      p = u"\\\\" + p.substr(8);
    else if (p.compare(0, 4, u"\\\\?\\") == 0)
      p = p.substr(4);
    return unicode::utf16_to_wtf8(p);
  }

  void close_handle(NativeHandle handle) override { CloseHandle(to_handle(handle)); }

 private:
  static Error clear_read_only_at(const std::u16string& path, uint32_t attributes) {
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return Error::none;
    DWORD rest = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE);
    if (!SetFileAttributesW(w(path), rest == 0 ? FILE_ATTRIBUTE_NORMAL : rest)) return fail();
    return Error::none;
  }
};

}  // namespace

template <> DirectoryTree& native<DirectoryTree>() {
  static Win32DirectoryTree instance;
  return instance;
}

}  // namespace platform
