// Test support for sfxpack: files in a scratch directory, the sfxpack
// program and the oracle programs run as real processes with their output
// captured.
#pragma once

#include "support/shell_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace sfxpack_test {

namespace fs = std::filesystem;

using shell_files::CommandResult;
using shell_files::quote;
using shell_files::read_file;
using shell_files::write_file;


// Runs a shell command; its output is collected through a file in `scratch`.
inline CommandResult run_command(const std::string& command, const fs::path& scratch) {
  const fs::path out = scratch / "command-output.txt";
  const int status = std::system((command + " >" + quote(out.string()) + " 2>&1").c_str());
  CommandResult r;
  r.output = read_file(out);
  fs::remove(out);
  r.exit_code = shell_files::exit_code_of(status);
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
