// Clean-up. Nothing here is reported to the user: files still held open by
// what the installer started are retried with pauses and then left.
#include "clean_up.h"

#include <vector>

#include "launcher_state.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/private_file.h"

namespace launcher {
namespace {

constexpr size_t kListReadLimit = 1023;

std::string Join(const std::string& directory, const std::string& name) {
  return directory + platform::file_system().path_separator() + name;
}

void ClearReadOnly(const std::string& path, uint32_t attributes) {
  if (attributes & platform::FILE_ATTR_READONLY) {
    platform::file_system().set_attributes(path, attributes & ~platform::FILE_ATTR_READONLY);
  }
}

}  // namespace

bool DeleteWithRetry(const std::string& path, bool is_directory) {
  platform::FileSystem& fs = platform::file_system();
  const int attempts = is_directory ? 3 : 150;
  const uint32_t pause_ms = is_directory ? 1000 : 2000;
  for (int i = 0; i < attempts; ++i) {
    platform::Error e = is_directory ? fs.remove_directory(path) : fs.delete_file(path);
    if (e == platform::Error::none) return true;
    if (e == platform::Error::sharing_violation) platform::monotonic_clock().sleep_ms(pause_ms);
  }
  return false;
}

bool RemoveTree(const std::string& path) {
  if (path.empty()) return true;
  platform::FileSystem& fs = platform::file_system();
  platform::FileStatus status;
  fs.status(path, status);
  if (status.kind == platform::FileKind::symlink) {
    // The link goes, never what it points to. A directory junction on
    // Windows is removed as a directory.
    DeleteWithRetry(path, (status.attributes & platform::FILE_ATTR_DIRECTORY) != 0);
    return false;
  }
  std::vector<platform::DirectoryEntry> entries;
  if (status.kind != platform::FileKind::directory ||
      fs.list_directory(path, entries) != platform::Error::none) {
    DeleteWithRetry(path, false);
    return false;
  }
  // A read-only directory would keep its entries on POSIX, where deleting
  // needs write permission on the directory; Windows ignores the bit here.
  ClearReadOnly(path, status.attributes);
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string entry_path = Join(path, entry.name);
    const bool is_directory = (entry.attributes & platform::FILE_ATTR_DIRECTORY) != 0;
    if (entry.is_symlink) {
      DeleteWithRetry(entry_path, is_directory);
      continue;
    }
    ClearReadOnly(entry_path, entry.attributes);
    if (is_directory) {
      RemoveTree(entry_path);
    } else {
      DeleteWithRetry(entry_path, false);
    }
  }
  return DeleteWithRetry(path, true);
}

void ProcessDeleteList(const std::string& directory) {
  const std::string list_path = Join(directory, "to_be_deleted");
  std::string content;
  if (platform::private_file().read_own_file(list_path, content) != platform::Error::none) return;
  // Read as fgets into a 1,024-byte buffer would: a line longer than 1,023
  // characters becomes several paths.
  size_t at = 0;
  while (at < content.size()) {
    size_t newline = content.find('\n', at);
    size_t end = newline == std::string::npos ? content.size() : newline + 1;
    if (end - at > kListReadLimit) end = at + kListReadLimit;
    std::string line = content.substr(at, end - at);
    at = end;
    line.resize(line.find_first_of("\r\n") == std::string::npos ? line.size() : line.find_first_of("\r\n"));
    RemoveTree(line);
  }
  RemoveTree(list_path);
}

bool CleanUp() {
  LauncherState& s = State();
  platform::FileSystem& fs = platform::file_system();
  if (!s.saved_directory.empty()) fs.set_current_directory(s.saved_directory);
  if (s.temp_base) ProcessDeleteList(*s.temp_base);
  if (s.extraction_dir) {
    ProcessDeleteList(*s.extraction_dir);
    RemoveTree(*s.extraction_dir);
  }
  s.extraction_dir.reset();
  s.temp_base.reset();
  return true;
}

}  // namespace launcher
