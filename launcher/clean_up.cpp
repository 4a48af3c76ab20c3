// Clean-up. Trees are removed through held directories (tree_removal.h):
// a link goes itself and is never followed, nothing on another volume is
// touched. Files still held open by what the installer started are retried
// with pauses, all of them out of one shared time budget; what had to be
// left is reported at the end.
#include "clean_up.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "launcher_state.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/private_file.h"
#include "platform/tree_removal.h"

namespace launcher {
namespace {

constexpr size_t kListReadLimit = 1023;
// The graphical report names this many paths, then counts the rest.
constexpr size_t kReportedPaths = 10;

// Pauses before the next attempt on a held file, unless the budget shared
// by all held files is spent (its time counts from the first pause).
bool PauseWithinBudget(uint32_t pause_ms) {
  LauncherState& s = State();
  platform::Clock& clock = platform::monotonic_clock();
  const uint64_t now = clock.now_ms();
  if (s.removal_deadline_ms == 0) s.removal_deadline_ms = now + kHeldFileBudgetMs;
  if (now >= s.removal_deadline_ms) return false;
  clock.sleep_ms(static_cast<uint32_t>(std::min<uint64_t>(pause_ms, s.removal_deadline_ms - now)));
  return true;
}

// What a removal had to leave, for the report. A missing path was not
// there to remove.
void NoteLeftBehind(const platform::TreeRemovalReport& report, const std::string& path) {
  LauncherState& s = State();
  if (report.error != platform::Error::none && report.error != platform::Error::not_found) {
    s.left_behind.emplace_back(path, platform::error_text(report.error));
  }
  for (const platform::LeftPath& left : report.left) {
    const bool failed =
        left.reason == platform::LeftReason::not_removed || left.reason == platform::LeftReason::not_listed;
    s.left_behind.emplace_back(left.path,
                               failed ? platform::error_text(left.error) : platform::left_reason_text(left.reason));
  }
}

void ReportLeftBehind() {
  LauncherState& s = State();
  if (s.left_behind.empty()) return;
  if (s.mode != LAUNCH_GUI) {
    for (const auto& [path, reason] : s.left_behind) {
      std::fprintf(stderr, "**** Could not remove \"%s\": %s.\n", path.c_str(), reason.c_str());
    }
    return;
  }
  std::string text = "Cleaning up had to leave these behind:";
  for (size_t i = 0; i < s.left_behind.size() && i < kReportedPaths; ++i) {
    text += "\n" + s.left_behind[i].first + " (" + s.left_behind[i].second + ")";
  }
  if (s.left_behind.size() > kReportedPaths) {
    text += "\nand " + std::to_string(s.left_behind.size() - kReportedPaths) + " more.";
  }
  platform::MessageBoxRequest request;
  request.text = text;
  request.title = "Qel Installer";
  platform::dialogs().message_box(s.main_window, request);
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory + platform::file_system().path_separator() + name;
}

}  // namespace

bool RemoveTree(const std::string& path) {
  if (path.empty()) return true;
  platform::TreeRemovalOptions options;
  options.file = {150, 2000};
  options.directory = {3, 1000};
  options.pause = PauseWithinBudget;
  const platform::TreeRemovalReport report = platform::remove_path(path, options);
  NoteLeftBehind(report, path);
  return report.top_removed || report.error == platform::Error::not_found;
}

std::vector<std::string> SplitDeleteList(const std::string& content) {
  // Read as fgets into a 1,024-byte buffer would: a line longer than 1,023
  // characters becomes several paths.
  std::vector<std::string> paths;
  size_t at = 0;
  while (at < content.size()) {
    size_t newline = content.find('\n', at);
    size_t end = newline == std::string::npos ? content.size() : newline + 1;
    if (end - at > kListReadLimit) end = at + kListReadLimit;
    std::string line = content.substr(at, end - at);
    at = end;
    line.resize(std::min(line.find_first_of("\r\n"), line.size()));
    if (!line.empty()) paths.push_back(std::move(line));
  }
  return paths;
}

bool ListedPath(const std::string& line, std::string& path) {
  platform::FileSystem& fs = platform::file_system();
  const char separator = fs.path_separator();
  auto trimmed = [&](std::string p) {
    while (p.size() > 1 && p.back() == separator) p.pop_back();
    return p;
  };
  auto same_text = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  };
  std::string full;
  if (fs.full_path(line, full) != platform::Error::none) return false;
  path = trimmed(full);
  std::string root;
  const bool is_root = (fs.volume_root(full, root) == platform::Error::none && same_text(path, trimmed(root))) ||
                       (path.size() == 1 && path[0] == separator) || (path.size() == 2 && path[1] == ':');
  if (is_root) {
    State().left_behind.emplace_back(full, "the root of a volume is never removed");
    return false;
  }
  return true;
}

void ProcessDeleteList(const std::string& directory) {
  const std::string list_path = Join(directory, "to_be_deleted");
  std::string content;
  if (platform::private_file().read_own_file(list_path, content) != platform::Error::none) return;
  // ANSI, or UTF-8 behind a byte-order mark (a scratch folder under a TEMP
  // the ANSI code page cannot name).
  for (const std::string& line : SplitDeleteList(platform::code_page().text_file_to_utf8(content))) {
    std::string path;
    if (ListedPath(line, path)) RemoveTree(path);
  }
  RemoveTree(list_path);
}

bool CleanUp() {
  LauncherState& s = State();
  platform::FileSystem& fs = platform::file_system();
  if (!s.saved_directory.empty()) fs.set_current_directory(s.saved_directory);
  if (s.temp_base) ProcessDeleteList(*s.temp_base);
  if (s.extraction_dir) {
    ProcessDeleteList(*s.extraction_dir);
    RemoveTree(*s.extraction_dir);
  }
  s.extraction_dir.reset();
  s.temp_base.reset();
  ReportLeftBehind();
  return true;
}

}  // namespace launcher
