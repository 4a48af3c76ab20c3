// Portable. No OS headers.
//
// Files that a program writes for people or for a command interpreter: a
// log named on the command line and a generated script in the temporary
// directory. Both are places where another user may have planted a link, so
// neither open follows one. Text mode: a line end is "\r\n" on Windows and
// "\n" on POSIX.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/service.h"

namespace platform {

class TextFiles {
 public:
  virtual ~TextFiles() = default;
  // Creates `path` or empties the regular file there, for writing. Refuses
  // (access_denied) a final symbolic link or reparse point, a directory, a
  // device or pipe, and on POSIX a file with more than one hard link.
  virtual Error create_no_follow(const std::string& path, File& out) = 0;
  // Creates a new file "<directory><prefix><unique><extension>" that did not
  // exist before (exclusive create, links not followed; on POSIX readable by
  // the owner only), retrying on a clash. `path`: its full name.
  virtual Error create_unique(const std::string& directory, const std::string& prefix,
                              const std::string& extension, std::string& path, File& out) = 0;
  // What "\n" becomes in a file written in text mode.
  virtual std::string_view line_end() const = 0;
};

inline TextFiles& text_files() { return current<TextFiles>(); }

// Writes text to a file, turning each "\n" into the platform's line end.
// Errors are remembered, not thrown: ok() answers whether all went well.
class TextWriter {
 public:
  explicit TextWriter(File& file) : file_(file), line_end_(text_files().line_end()) {}
  void write(std::string_view text);
  bool ok() const { return ok_; }

 private:
  File& file_;
  std::string_view line_end_;
  bool ok_ = true;
};

}  // namespace platform
