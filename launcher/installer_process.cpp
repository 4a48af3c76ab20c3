// Nested archives and the installer process.
#include "installer_process.h"

#include <cerrno>
#include <cstdio>

#include "command_line.h"
#include "engine_calls.h"
#include "extraction_directory.h"
#include "launcher_state.h"
#include "platform/command_line.h"
#include "platform/dialogs.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/process.h"

namespace launcher {
namespace {

constexpr size_t kMaxPath = 260;
constexpr size_t kNestedListLimit = 511;
constexpr const char kTmpDir[] = "-Djava.io.tmpdir=";

// Splits the nested archive list at ",", empty names skipped.
std::vector<std::string> NestedNames() {
  std::string list = State().nested_archives.substr(0, kNestedListLimit);
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (comma > start) names.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return names;
}

bool Exists(const std::string& path) {
  platform::FileStatus st;
  return platform::file_system().status(path, st) == platform::Error::none &&
         st.kind != platform::FileKind::missing;
}

// The launcher executable's file name without its extension: the title of
// the framework's own message boxes.
std::string ApplicationName() {
  std::string self;
  if (platform::file_system().program_path(self) != platform::Error::none) return "setupstub";
  size_t slash = self.find_last_of("/\\");
  std::string name = slash == std::string::npos ? self : self.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& text) {
  return platform::split_command_line(text);
}

std::string QuoteIfBlank(const std::string& argument) {
  if (argument.find_first_of(" \t") != std::string::npos) return "\"" + argument + "\"";
  return argument;
}

bool LocateProgram(const std::string& name, std::string& result) {
  if (Exists(name)) {
    result = name;
    return true;
  }
  std::optional<std::string> path = platform::environment().get("PATH");
  if (!path) return false;
  platform::FileSystem& fs = platform::file_system();
  const char list_separator = fs.path_list_separator();
  size_t start = 0;
  while (start <= path->size()) {
    size_t end = path->find(list_separator, start);
    if (end == std::string::npos) end = path->size();
    if (end > start) {
      std::string candidate = path->substr(start, end - start) + fs.path_separator() + name;
      if (candidate.size() <= kMaxPath && Exists(candidate)) {
        result = candidate;
        return true;
      }
    }
    start = end + 1;
  }
  return false;
}

std::vector<std::string> BuildInstallerArguments(const std::vector<std::string>& configured) {
  LauncherState& s = State();
  const std::vector<std::string>& own = s.arguments;
  std::vector<std::string> entries;
  entries.reserve(own.size() + configured.size() + 1);
  entries.push_back(QuoteIfBlank(configured.empty() ? std::string() : configured[0]));

  std::string& base = *(s.temp_base ? &*s.temp_base : &s.temp_base.emplace());
  const char separator = platform::file_system().path_separator();
  // One separator comes off, but a root ("/") stays a root.
  if (base.size() > 1 && base.back() == separator) base.pop_back();
  entries.push_back("\"" + std::string(kTmpDir) + base + "\"");

  for (size_t i = 1; i < own.size(); ++i) {
    if (StartsWith(own[i], "-D") && !StartsWith(own[i], kTmpDir)) entries.push_back(own[i]);
  }
  for (size_t j = 1; j < configured.size(); ++j) entries.push_back(QuoteIfBlank(configured[j]));
  for (size_t i = 1; i < own.size(); ++i) {
    const std::string& a = own[i];
    if (StartsWith(a, "-D")) continue;
    if (StartsWith(a, "-log=") && s.log_option) {
      entries.push_back(*s.log_option);
    } else if (StartsWith(a, "-silent_xml=") && s.silent_xml_option) {
      entries.push_back(*s.silent_xml_option);
    } else {
      entries.push_back(a);
    }
  }
  entries.resize(own.size() + configured.size() + 1);
  return entries;
}

std::string JoinCommandLine(const std::vector<std::string>& entries) {
  std::string line;
  for (const std::string& e : entries) {
    if (e.empty()) continue;
    if (!line.empty()) line.push_back(' ');
    line += e;
  }
  return line;
}

int RunAndWait(const std::vector<std::string>& entries) {
  std::string line = JoinCommandLine(entries);
  platform::ChildProcess child;
  if (platform::process().start(line, std::string(), child) != platform::Error::none) return -1;
  // An interruption now reaches the installer too, and we wait for it to
  // end before anything of its extraction directory is removed.
  platform::interruptions().share_with(&child);
  int exit_code = -1;
  const platform::Error waited = platform::process().wait(child, exit_code);
  platform::interruptions().share_with(nullptr);
  if (waited != platform::Error::none) return -1;
  return exit_code;
}

bool NestedTargetInside(const std::string& target) {
  platform::FileSystem& fs = platform::file_system();
  const char separator = fs.path_separator();
  auto trim = [&](std::string path) {
    while (path.size() > 1 && path.back() == separator) path.pop_back();
    return path;
  };
  std::string root;
  if (State().extraction_dir) {
    root = *State().extraction_dir;
  } else if (fs.current_directory(root) != platform::Error::none) {
    return false;
  }
  root = trim(root);
  if (target.empty()) return true;  // the extraction directory itself
  std::string full;
  if (fs.full_path(target, full) != platform::Error::none) return false;
  full = trim(full);
  if (full == root) return true;
  if (full.compare(0, root.size() + 1, root + separator) != 0) return false;
  // Inside by its text; and no directory on the way is a link (which a
  // payload could have brought) leading somewhere else.
  for (size_t at = root.size() + 1; at <= full.size(); ++at) {
    if (at != full.size() && full[at] != separator) continue;
    platform::FileStatus status;
    if (fs.status(full.substr(0, at), status) != platform::Error::none) return false;
    if (status.kind == platform::FileKind::missing) return true;  // the engine makes the rest
    if (status.kind != platform::FileKind::directory) return false;
  }
  return true;
}

namespace {

// Shown where the nested archives cannot be extracted, as the framework's
// standard box (titled with the application's name) or on stderr.
void ShowNestedProblem(const std::string& text) {
  LauncherState& s = State();
  if (s.mode == LAUNCH_GUI) {
    platform::MessageBoxRequest request;
    request.text = text;
    request.title = ApplicationName();
    request.icon = platform::MessageIcon::exclamation;
    platform::dialogs().message_box(s.main_window, request);
  } else {
    std::fprintf(stderr, "\n%s\n", text.c_str());
  }
}

}  // namespace

bool ExtractNestedArchives() {
  LauncherState& s = State();
  if (!s.nested_enabled) return true;
  if (!NestedTargetInside(s.nested_target)) {
    ShowNestedProblem("The launch configuration puts the nested archives into \"" + s.nested_target +
                      "\", which is not inside the extraction directory.");
    s.launch_refused = true;
    return false;
  }
  for (const std::string& name : NestedNames()) ListNestedArchive(name);
  const std::string base = s.temp_base.value_or(std::string());
  if (FreeSpace(base) > s.nested_total) {
    for (const std::string& name : NestedNames()) ExtractNestedArchive(name);
    return true;
  }
  const uint64_t mebibytes = (s.payload_total + s.nested_total + 1048575u) / 1048576u;
  ShowNestedProblem("The directory \"" + base + "\" does not have enough space. " + std::to_string(mebibytes) +
                    "M diskspace space is required.");
  s.launch_refused = true;
  return false;
}

int LaunchInstaller() {
  LauncherState& s = State();
  if (RunStopped()) return 0;
  if (s.nested_enabled && !ExtractNestedArchives()) return 0;
  // An interruption may have stopped the nested extraction.
  if (RunStopped()) return 0;
  std::vector<std::string> configured = SplitCommandLine(s.launch_command);
  if (configured.empty()) {
    errno = ENOENT;
    return -1;
  }
  std::vector<std::string> entries = BuildInstallerArguments(configured);
  std::string found;
  if (LocateProgram(entries[0], found)) entries[0] = found;
  return RunAndWait(entries);
}

}  // namespace launcher
