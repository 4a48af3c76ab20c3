// The launcher's command line: two passes over the arguments, nothing
// removed, so that every argument still reaches the installer.
#include "command_line.h"

#include <cstring>

#include "launcher_state.h"
#include "platform/file_system.h"

namespace launcher {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string AbsolutizeOption(const std::string& argument) {
  const size_t eq = argument.find('=');
  if (eq == std::string::npos) return argument;
  const std::string name = argument.substr(0, eq + 1);
  const std::string value = argument.substr(eq + 1);
  std::string full;
  platform::Error e = value.empty() ? platform::file_system().current_directory(full)
                                    : platform::file_system().full_path(value, full);
  if (e != platform::Error::none || full.empty() || full.size() > 259) return argument;
  return name + "\"" + full + "\"";
}

bool ParseCommandLine(const std::vector<std::string>& args) {
  LauncherState& s = State();
  s.arguments = args;
  for (size_t i = 1; i < args.size(); ++i) {
    if (StartsWith(args[i], "-log=")) {
      s.log_option = AbsolutizeOption(args[i]);
    } else if (StartsWith(args[i], "-silent_xml=")) {
      s.silent_xml_option = AbsolutizeOption(args[i]);
    }
  }
  s.mode = LAUNCH_GUI;
  static const char kTmpDir[] = "-Djava.io.tmpdir=";
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2) continue;
    if (a == "-mode=silent") {
      s.mode = LAUNCH_SILENT;
    } else if (a == "-mode=console") {
      s.mode = LAUNCH_CONSOLE;
    } else if (StartsWith(a, kTmpDir)) {
      s.temp_base = a.substr(sizeof(kTmpDir) - 1);
    }
  }
  return s.mode == LAUNCH_GUI;
}

}  // namespace launcher
