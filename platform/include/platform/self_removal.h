// Portable. No OS headers.
//
// A program that cannot delete its own file hands that over to a script run
// by the command interpreter after it has exited. This service knows the
// script language and how to start the script so that it runs only after
// the program has gone. Win32: a ".cmd" script for COMSPEC, started hidden
// through ShellExecuteExA at idle priority while the caller runs at
// real-time priority. POSIX: a ".sh" script for /bin/sh, started in a new
// session at nice 19 with its output discarded, the caller raised to the
// highest priority it is allowed.
#pragma once

#include <string>

#include "platform/error.h"
#include "platform/service.h"

namespace platform {

class SelfRemoval {
 public:
  virtual ~SelfRemoval() = default;

  // ---- Paths. `path` (UTF-8) as a script line must write it so that the
  // interpreter reads exactly that path, quotes included. Win32: in the
  // console's OEM code page (cmd reads its scripts in it), every '%'
  // doubled, in double quotes; a path the OEM code page cannot write is
  // given by its short (8.3) form. not_found when it cannot be written and
  // does not exist (a line about it would have nothing to do); unsupported
  // when it exists but has no form a script can write, or holds characters
  // no Windows path holds. POSIX: in single quotes, every byte literal.
  virtual Error script_path(const std::string& path, std::string& out) const = 0;

  // ---- Script lines, each ending with "\n" (written in text mode). Paths
  // are given as script_path wrote them.
  // ".cmd" or ".sh".
  virtual std::string script_extension() const = 0;
  // Leaves any directory that is to be removed.
  virtual std::string change_to_root() const = 0;
  // Opens the block of deletion attempts that end_if_missing leaves
  // ("" for .cmd, whose jump needs no block).
  virtual std::string begin_attempts() const = 0;
  // Leaves the block of attempts when `path` no longer exists.
  virtual std::string end_if_missing(const std::string& path) const = 0;
  // Closes the block of attempts; where end_if_missing lands.
  virtual std::string end_attempts() const = 0;
  virtual std::string delete_file(const std::string& path) const = 0;
  // Removes a directory if it is empty, quietly otherwise.
  virtual std::string remove_directory(const std::string& path) const = 0;
  // Runs `program` with the one argument `argument` (a plain word) and
  // waits for it.
  virtual std::string run(const std::string& program, const std::string& argument) const = 0;

  // ---- Starting the script.
  // The command interpreter (COMSPEC; /bin/sh). not_found when unknown.
  virtual Error command_interpreter(std::string& out) = 0;
  // Starts `interpreter` on `script`, hidden, its output discarded, at the
  // lowest priority, after raising the caller's own priority so that the
  // caller can exit first. `deleted_item` is the path the shell is told was
  // deleted (Win32 only). On failure the caller's priority is set back and
  // false is returned.
  virtual bool start_script(const std::string& interpreter, const std::string& script,
                            const std::string& deleted_item) = 0;
};

inline SelfRemoval& self_removal() { return current<SelfRemoval>(); }

}  // namespace platform
