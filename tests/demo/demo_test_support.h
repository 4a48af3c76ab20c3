// Test support for the demo: scratch files and the demo programs run as
// real processes with their output and exit code captured.
#pragma once

#include "support/shell_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace demo_test {

namespace fs = std::filesystem;

using shell_files::CommandResult;
using shell_files::quote;
using shell_files::read_file;
using shell_files::write_file;


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
  r.exit_code = shell_files::exit_code_of(status);
  return r;
}

inline std::string silent_xml(const std::string& install_dir) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<installation>\n  <installdir>" + install_dir +
         "</installdir>\n</installation>\n";
}

}  // namespace demo_test
