// Reading the launcher's own command line: the run mode, the base
// temporary directory and the installer options made absolute.
#pragma once

#include <string>
#include <vector>

namespace launcher {

// `args` as the C runtime splits them, argument 0 the program. Sets mode,
// temp_base, log_option, silent_xml_option and keeps the arguments for the
// installer's command line. True when the mode is graphical.
bool ParseCommandLine(const std::vector<std::string>& args);

// "-name=value" -> "-name=\"<full path of value>\"", or the argument
// unchanged when the value has no full path of at most 259 characters.
std::string AbsolutizeOption(const std::string& argument);

// True when `text` begins with `prefix` (byte comparison).
bool StartsWith(const std::string& text, const char* prefix);

}  // namespace launcher
