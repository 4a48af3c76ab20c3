// Test support (POSIX): every entry below a directory with its mode, its
// modification time to the nanosecond, and its content (files) or target
// (links), so that a test can tell that nothing there changed at all.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

inline std::map<std::string, std::string> TreeSnapshot(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); ++it) {
    struct stat st;
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    std::string what = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
                       std::to_string(st.st_mode) + " ";
    if (S_ISLNK(st.st_mode)) {
      what += "-> " + fs::read_symlink(it->path()).string();
    } else if (S_ISREG(st.st_mode)) {
      std::ifstream in(it->path(), std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      what += s.str();
    }
    out[it->path().string()] = what;
  }
  return out;
}
