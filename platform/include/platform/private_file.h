// Portable. No OS headers.
//
// Reading a file that tells the program what to delete. Such a file may lie
// in a directory that every user can write (/tmp), so it is read only when
// it is a regular file of the calling user's own, not a symbolic link; the
// checks are made on the opened file, so the name cannot be swapped between
// check and read.
#pragma once

#include <string>

#include "platform/error.h"
#include "platform/service.h"

namespace platform {

class PrivateFile {
 public:
  virtual ~PrivateFile() = default;
  // The whole content of `path`. not_found when missing; access_denied when
  // it is a link, not a regular file, or owned by another user (Win32: a
  // reparse point or a directory).
  virtual Error read_own_file(const std::string& path, std::string& content) = 0;
};

inline PrivateFile& private_file() { return current<PrivateFile>(); }

}  // namespace platform
