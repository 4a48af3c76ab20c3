// Test helper: a fresh, empty directory under the system's temporary
// directory, removed with everything in it when the object goes. Made and
// removed through the native file system (never a fake a test installed),
// so injected failures cannot leave it behind.
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace fakes {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "qel") {
    auto& fs = platform::native<platform::FileSystem>();
    std::string base;
    if (fs.temp_directory(base) != platform::Error::none) return;
    // A unique file name reserves the name; the directory takes its place.
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::string name;
      if (fs.unique_temp_file(base, prefix, name) != platform::Error::none) return;
      fs.delete_file(name);
      if (fs.create_directory(name + ".d") == platform::Error::none) path_ = name + ".d";
    }
  }
  ~TempDir() {
    if (!path_.empty()) remove_tree(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, without a trailing separator; empty when it could not
  // be made.
  const std::string& path() const { return path_; }
  // path() + separator + name.
  std::string operator/(const std::string& name) const {
    return path_ + platform::native<platform::FileSystem>().path_separator() + name;
  }

  // Removes a file or a whole tree (read-only entries included; symbolic
  // links are removed, never followed).
  static void remove_tree(const std::string& path) {
    auto& fs = platform::native<platform::FileSystem>();
    platform::FileStatus st;
    if (fs.status(path, st) != platform::Error::none || st.kind == platform::FileKind::missing) return;
    if (st.attributes & platform::FILE_ATTR_READONLY)
      fs.set_attributes(path, st.attributes & ~platform::FILE_ATTR_READONLY);
    if (st.kind != platform::FileKind::directory) {
      fs.delete_file(path);
      return;
    }
    std::vector<platform::DirectoryEntry> entries;
    if (fs.list_directory(path, entries) == platform::Error::none) {
      for (auto& e : entries) {
        if (e.name == "." || e.name == "..") continue;
        remove_tree(path + fs.path_separator() + e.name);
      }
    }
    fs.remove_directory(path);
  }

 private:
  std::string path_;
};

}  // namespace fakes
