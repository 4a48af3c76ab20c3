// Portable. No OS headers.
//
// The program's own command-line arguments in the text the portable code
// carries (UTF-8): POSIX the bytes of argv; Windows the UTF-16 command line
// (GetCommandLineW, split by CommandLineToArgvW), so that a name outside
// the ANSI code page arrives whole instead of as '?'.
#pragma once

#include <string>
#include <vector>

namespace platform {

std::vector<std::string> program_arguments(int argc, char** argv);

// The same as a C argument vector, for a main written against argc/argv.
class ArgumentVector {
 public:
  ArgumentVector(int argc, char** argv);
  ArgumentVector(const ArgumentVector&) = delete;
  ArgumentVector& operator=(const ArgumentVector&) = delete;
  int argc() const { return static_cast<int>(texts_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;  // into texts_, with a final null
};

}  // namespace platform
