// Test support for sfxpack: files in a scratch directory, the sfxpack
// program and the oracle programs run as real processes with their output
// captured.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace sfxpack_test {

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

// Runs a shell command; its output is collected through a file in `scratch`.
inline CommandResult run_command(const std::string& command, const fs::path& scratch) {
  const fs::path out = scratch / "command-output.txt";
  const int status = std::system((command + " >" + quote(out.string()) + " 2>&1").c_str());
  CommandResult r;
  r.output = read_file(out);
  fs::remove(out);
  r.exit_code = (status >= 0 && (status & 0x7f) == 0) ? (status >> 8) & 0xff : -1;
  return r;
}

inline bool have_program(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A valid launch configuration naming `nested` (when not empty).
inline std::string autorun_text(const std::string& nested = "") {
  std::string t =
      "[autorun]\r\n"
      "OPEN=runtime/qelinst -product=product\r\n"
      "CONSOLE=runtime/qelinst -product=product\r\n"
      "SILENT=runtime/qelinst -product=product\r\n";
  if (!nested.empty()) t += "UNZIP=" + nested + "\r\nUNZIPTO=runtime\r\n";
  return t;
}

inline const char* sfxpack_program() { return SFXPACK_EXE; }

}  // namespace sfxpack_test
