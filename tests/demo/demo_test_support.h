// Test support for the demo: scratch files and the demo programs run as
// real processes with their output and exit code captured.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace demo_test {

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

// Runs a shell command in `directory`, with `input` on its standard input.
inline CommandResult run_command(const std::string& command, const fs::path& directory, const std::string& input = "") {
  const fs::path in = directory / ".command-input", out = directory / ".command-output";
  write_file(in, input);
  const std::string line = "cd " + quote(directory.string()) + " && " + command + " <" + quote(in.string()) + " >" +
                           quote(out.string()) + " 2>&1";
  const int status = std::system(line.c_str());
  CommandResult r;
  r.output = read_file(out);
  fs::remove(in);
  fs::remove(out);
  r.exit_code = (status >= 0 && (status & 0x7f) == 0) ? (status >> 8) & 0xff : -1;
  return r;
}

inline std::string silent_xml(const std::string& install_dir) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<installation>\n  <installdir>" + install_dir +
         "</installdir>\n</installation>\n";
}

}  // namespace demo_test
