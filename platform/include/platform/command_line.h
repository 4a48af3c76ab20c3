// Portable. No OS headers.
//
// The Windows C runtime's rules for splitting one command line into
// arguments (blanks and tabs separate; double quotes group; backslashes
// escape only before a double quote). The launcher splits its configured
// installer command with them, and the POSIX process backend splits a
// joined command line again before it starts the program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::vector<std::string> split_command_line(std::string_view text);

}  // namespace platform
