// Removal of the installation directory tree, with the progress it drives.
#include "file_tree.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace {

constexpr int kRemoveAttempts = 20;
constexpr uint32_t kSharingViolationPauseMs = 200;

bool IsDotEntry(const std::u16string& name) { return name == u"." || name == u".."; }

std::u16string Child(const std::u16string& directory, const std::u16string& name) {
  std::u16string path;
  path.reserve(directory.size() + 1 + name.size());
  path += directory;
  path += static_cast<char16_t>(platform::file_system().path_separator());
  path += name;
  return path;
}

// The top of a tree may itself be a link; below it the listing says so.
bool IsLink(const std::u16string& path) {
  std::string ansi;
  if (platform::code_page().from_utf16(path, platform::CodePageId::ansi, ansi) != platform::Error::none)
    return false;
  platform::FileStatus status;
  return platform::file_system().status(ansi, status) == platform::Error::none &&
         status.kind == platform::FileKind::symlink;
}

void ClearReadOnly(const std::u16string& path, uint32_t attributes) {
  if (attributes & platform::FILE_ATTR_READONLY)
    platform::file_system().set_attributes_w(path, attributes & ~platform::FILE_ATTR_READONLY);
}

int CountBelow(const std::u16string& directory) {
  std::vector<platform::WideDirectoryEntry> entries;
  if (platform::file_system().list_directory_w(directory, entries) != platform::Error::none) return 1;
  int count = 0;
  for (const platform::WideDirectoryEntry& entry : entries) {
    if (IsDotEntry(entry.name)) continue;
    if (!entry.is_symlink && (entry.attributes & platform::FILE_ATTR_DIRECTORY))
      count += CountBelow(Child(directory, entry.name));
    else
      ++count;
  }
  return count;
}

// The read-only attribute of `directory` has been cleared already.
void DeleteBelow(const std::u16string& directory, RemovalContext& context) {
  platform::FileSystem& fs = platform::file_system();

  std::vector<platform::WideDirectoryEntry> entries;
  if (fs.list_directory_w(directory, entries) != platform::Error::none) {
    RemovePath(directory, PathKind::file, context);
    return;
  }
  for (const platform::WideDirectoryEntry& entry : entries) {
    if (IsDotEntry(entry.name)) continue;
    std::u16string path = Child(directory, entry.name);
    if (entry.is_symlink) {
      // Attributes of a link would be set on its target: leave them.
      RemovePath(path, PathKind::link, context);
      continue;
    }
    ClearReadOnly(path, entry.attributes);
    if (entry.attributes & platform::FILE_ATTR_DIRECTORY)
      DeleteBelow(path, context);
    else
      RemovePath(path, PathKind::file, context);
  }
  RemovePath(directory, PathKind::directory, context);
}

}  // namespace

std::u16string WidePath(const std::string& path) {
  std::u16string wide;
  platform::code_page().to_utf16(path, platform::CodePageId::ansi, wide);
  return wide;
}

bool IsJvmInUse(const std::string& jvm_path) {
  platform::FileSystem& fs = platform::file_system();
  platform::File file;
  if (fs.open_read_write(jvm_path, file) == platform::Error::none) return false;
  // Only a library that is there can be held; a missing one (a removal that
  // was interrupted after it went) must not block the removal for ever.
  platform::FileStatus status;
  if (fs.status(jvm_path, status) == platform::Error::none && status.kind == platform::FileKind::missing)
    return false;
  return true;
}

int CountFiles(const std::u16string& directory) {
  if (directory.empty()) return 0;
  if (IsLink(directory)) return 1;
  return CountBelow(directory);
}

bool RemovePath(const std::u16string& path, PathKind kind, RemovalContext& context) {
  if (std::find(context.keep.begin(), context.keep.end(), path) != context.keep.end()) return false;
  platform::FileSystem& fs = platform::file_system();
  for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
    platform::Error e = kind == PathKind::directory ? fs.remove_directory_w(path) : fs.delete_file_w(path);
    // Windows removes a directory link or junction as a directory.
    if (e != platform::Error::none && kind == PathKind::link &&
        fs.remove_directory_w(path) == platform::Error::none)
      e = platform::Error::none;
    if (e == platform::Error::none) {
      if (context.progress) AdvanceProgress(*context.progress);
      return true;
    }
    if (e == platform::Error::sharing_violation && attempt < kRemoveAttempts)
      platform::monotonic_clock().sleep_ms(kSharingViolationPauseMs);
  }
  return false;
}

void DeleteTree(const std::u16string& directory, RemovalContext& context) {
  if (directory.empty()) return;
  if (IsLink(directory)) {
    RemovePath(directory, PathKind::link, context);
    return;
  }
  // Cleared first, not last: on POSIX a write-protected directory keeps its
  // entries, where Windows only protects the directory itself. Below the
  // top the listing clears each entry before it is entered.
  uint32_t own = 0;
  if (platform::file_system().get_attributes_w(directory, own) == platform::Error::none)
    ClearReadOnly(directory, own);
  DeleteBelow(directory, context);
}
