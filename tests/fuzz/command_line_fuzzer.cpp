// Fuzz target: command lines. The splitter must give at most one argument
// more than there are runs of blanks and tabs, and each argument quoted by
// the C runtime's rules must come back unchanged from a second split. The
// split arguments then go through the launcher's own command line and the
// installer's command line built from a configured command (the input's
// first line): the entry count and the temporary-directory entry are what
// the installer relies on.
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"
#include "installer_process.h"
#include "launcher_state.h"
#include "platform/command_line.h"

namespace {

// The reference quoting: every argument in double quotes, backslashes
// doubled where they come before a quote, quotes escaped.
std::string Quote(const std::string& arg) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

size_t BlankRuns(std::string_view text) {
  size_t runs = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool blank = text[i] == ' ' || text[i] == '\t';
    if (blank && (i == 0 || !(text[i - 1] == ' ' || text[i - 1] == '\t'))) ++runs;
  }
  return runs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const size_t newline = text.find('\n');
  const std::string_view configured = newline == std::string_view::npos ? text : text.substr(0, newline);
  const std::string_view own = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);

  for (std::string_view line : {configured, own}) {
    const std::vector<std::string> args = platform::split_command_line(line);
    if (args.size() > BlankRuns(line) + 1) __builtin_trap();
    std::string joined;
    for (const std::string& a : args) joined += (joined.empty() ? "" : " ") + Quote(a);
    if (platform::split_command_line(joined) != args) __builtin_trap();
  }

  launcher::ResetState();
  std::vector<std::string> arguments = {"setup"};
  for (std::string& a : platform::split_command_line(own)) arguments.push_back(std::move(a));
  launcher::ParseCommandLine(arguments);
  const launcher::LauncherState& s = launcher::State();
  if (s.mode < launcher::LAUNCH_SILENT || s.mode > launcher::LAUNCH_GUI) __builtin_trap();
  const std::vector<std::string> command = launcher::SplitCommandLine(std::string(configured));
  if (command.empty()) return 0;
  const std::vector<std::string> entries = launcher::BuildInstallerArguments(command);
  if (entries.size() != arguments.size() + command.size() + 1) __builtin_trap();
  if (entries[1].rfind("\"-Djava.io.tmpdir=", 0) != 0 || entries[1].back() != '"') __builtin_trap();
  launcher::JoinCommandLine(entries);
  return 0;
}
