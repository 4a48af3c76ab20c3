// What the installer tells: each line goes to the console and, when
// "-log=" named a file, into that log with a time stamp.
#pragma once

#include <fstream>
#include <optional>
#include <string>

namespace qelinst {

class InstallLog {
 public:
  // An unwritable log is no reason to stop installing: it is reported once.
  explicit InstallLog(const std::optional<std::string>& path);
  void info(const std::string& line);
  void error(const std::string& line);  // also on stderr, with the program's name
  bool file_open() const { return file_.is_open(); }

 private:
  std::ofstream file_;
  void to_file(const char* level, const std::string& line);
};

}  // namespace qelinst
