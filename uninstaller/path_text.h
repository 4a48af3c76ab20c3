// The path texts of the record, tidied once before anything uses them: the
// separators the platform takes ('/' on POSIX; '\' and '/' on Windows),
// doubled ones merged, "." steps and trailing separators dropped. A ".."
// step is refused: once links are involved only the system could say what
// it means, and a record has no reason to write one.
#pragma once

#include <string>

enum class PathText {
  ok,
  empty,        // nothing left to name (or a Windows share without its name)
  relative,     // TidyAbsolutePath: not absolute (C:x and \x are relative too)
  absolute,     // TidyRelativeName: not relative
  parent_step,  // a ".." step
};

// An absolute path: POSIX "/...", Windows "X:\..." or "\\server\share\...".
// `out` is written with the platform's separator; a root keeps its own
// ("/", "C:\").
PathText TidyAbsolutePath(const std::string& text, std::string& out);

// A name of one or more steps below another directory (the start-menu
// folder below the programs folder).
PathText TidyRelativeName(const std::string& text, std::string& out);
