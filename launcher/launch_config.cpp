// AUTORUN.INF is searched, not parsed: each key text is looked for in the
// first 4,096 bytes and its value ends at the next carriage return. Stored
// configurations rely on exactly this (keys need not start a line; an
// LF-only file finds nothing). The file is ANSI, or UTF-8 behind a
// byte-order mark; its values go on in UTF-8.
#include "launch_config.h"

#include <algorithm>

#include "launcher_state.h"
#include "platform/code_page.h"
#include "platform/command_line.h"
#include "platform/file_system.h"

namespace launcher {
namespace {

constexpr size_t kConfigLimit = 4096;
const char* const kLaunchKeys[] = {"SILENT=", "CONSOLE=", "OPEN="};

}  // namespace

std::optional<std::string> FindKeyValue(std::string_view text, std::string_view key) {
  size_t at = text.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  size_t start = at + key.size();
  size_t end = text.find('\r', start);
  if (end == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(start, end - start));
}

int ReadLaunchConfig() {
  LauncherState& s = State();
  platform::File file;
  if (platform::file_system().open_read("AUTORUN.INF", file) != platform::Error::none) return -1;
  std::string bytes(kConfigLimit, '\0');
  size_t got = 0;
  while (got < kConfigLimit) {
    platform::IoResult r = file.read(bytes.data() + got, kConfigLimit - got);
    if (!r.ok()) return -1;
    if (r.value == 0) break;
    got += static_cast<size_t>(r.value);
  }
  file.close();
  bytes.resize(got);
  bytes.resize(std::min(bytes.find('\0'), bytes.size()));
  const std::string converted = platform::code_page().text_file_to_utf8(bytes);
  std::string_view text(converted);

  int mode = static_cast<int>(s.mode);
  if (mode < LAUNCH_SILENT || mode > LAUNCH_GUI) return -1;
  std::optional<std::string> command = FindKeyValue(text, kLaunchKeys[mode]);
  if (!command) return -1;
  s.launch_command = *command;
  if (std::optional<std::string> archives = FindKeyValue(text, "UNZIP=")) {
    s.nested_archives = *archives;
    if (std::optional<std::string> target = FindKeyValue(text, "UNZIPTO=")) {
      s.nested_target = *target;
      s.nested_enabled = true;
    }
  }
  // A command of blanks alone names no program to start.
  if (platform::split_command_line(s.launch_command).empty()) return -1;
  return 0;
}

}  // namespace launcher
