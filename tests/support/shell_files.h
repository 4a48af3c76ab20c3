// Test support for tests that drive programs through a POSIX shell: scratch
// files, shell quoting, and a command's exit code and output.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace shell_files {

namespace fs = std::filesystem;

inline void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Single-quotes a text for /bin/sh.
inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

struct CommandResult {
  int exit_code = -1;
  std::string output;  // stdout and stderr together
};

// The exit code of a std::system status; -1 when the shell was killed.
inline int exit_code_of(int status) { return (status >= 0 && (status & 0x7f) == 0) ? (status >> 8) & 0xff : -1; }

}  // namespace shell_files
