// The AUTORUN.INF check.
#include "autorun_check.h"

#include <algorithm>

namespace sfxpack {
namespace {

constexpr size_t LAUNCHER_READ_LIMIT = 4096;
constexpr size_t NESTED_LIST_LIMIT = 511;

struct LaunchKey {
  const char* key;
  const char* mode;
};
constexpr LaunchKey LAUNCH_KEYS[] = {
    {"SILENT=", "silent"},
    {"CONSOLE=", "console"},
    {"OPEN=", "graphical"},
};

bool only_blanks(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// A key found inside another line (not after a line end) is still what the
// launcher takes; usually a sign that a value contains another key's text.
bool starts_line(std::string_view text, size_t at) { return at == 0 || text[at - 1] == '\n'; }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Whether UNZIPTO= names the extraction directory or a directory below it,
// by its text, with either separator (the payload may be meant for
// Windows): not absolute, no drive or stream (":"), and no ".." that climbs
// above where it starts.
bool stays_inside(const std::string& target) {
  if (target.empty()) return true;
  if (target[0] == '/' || target[0] == '\\' || target.find(':') != std::string::npos) return false;
  int depth = 0;
  size_t start = 0;
  while (start <= target.size()) {
    const size_t end = std::min(target.find_first_of("/\\", start), target.size());
    const std::string part = target.substr(start, end - start);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string_view launcher_view(std::string_view file) {
  std::string_view text = file.substr(0, std::min(file.size(), LAUNCHER_READ_LIMIT));
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::optional<std::string> find_launch_key(std::string_view text, std::string_view key) {
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  const size_t value = at + key.size();
  const size_t cr = text.find('\r', value);
  if (cr == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(value, cr - value));
}

std::vector<std::string> split_nested_list(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    if (comma > start) names.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return names;
}

AutorunFindings check_autorun(std::string_view file, const std::function<bool(const std::string&)>& payload_file) {
  AutorunFindings f;
  const std::string_view text = launcher_view(file);

  bool lf_only = false;
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] == '\n' && (i == 0 || file[i - 1] != '\r')) lf_only = true;
  }
  if (lf_only) {
    f.problems.push_back(
        "AUTORUN.INF has line ends without a carriage return; the launcher reads a value up to a "
        "carriage return, so save the file with CR LF line ends");
  }

  // Why a key the author may have written is not found by the launcher.
  auto explain_missing = [&](const std::string& key) -> std::string {
    if (file.find(key) == std::string_view::npos) return "AUTORUN.INF has no " + key + " line";
    if (text.find(key) == std::string_view::npos) {
      return "AUTORUN.INF has its " + key + " line beyond what the launcher reads (the first 4,096 "
             "bytes, up to a NUL byte)";
    }
    return "AUTORUN.INF has no carriage return after " + key + " (every line, the last one too, must "
           "end with CR LF)";
  };
  auto warn_if_inside = [&](const std::string& key) {
    const size_t at = text.find(key);
    if (at != std::string_view::npos && !starts_line(text, at)) {
      f.warnings.push_back("the launcher finds " + key + " first inside another line of AUTORUN.INF (it "
                           "takes the first occurrence anywhere in the text)");
    }
  };

  for (const LaunchKey& k : LAUNCH_KEYS) {
    const std::optional<std::string> value = find_launch_key(text, k.key);
    if (!value) {
      if (!lf_only || file.find(k.key) == std::string_view::npos)
        f.problems.push_back(explain_missing(k.key) + ", so " + k.mode + " mode cannot start");
      continue;
    }
    warn_if_inside(k.key);
    if (only_blanks(*value)) {
      f.problems.push_back(std::string("AUTORUN.INF has an empty ") + k.key + " value, so " + k.mode +
                           " mode has no installer command");
    }
  }

  const std::optional<std::string> nested = find_launch_key(text, "UNZIP=");
  const std::optional<std::string> target = find_launch_key(text, "UNZIPTO=");
  if (!nested) {
    if (target) f.warnings.push_back("AUTORUN.INF has UNZIPTO= but no UNZIP=; no nested archive is extracted");
    return f;
  }
  warn_if_inside("UNZIP=");
  if (!target) {
    f.warnings.push_back("AUTORUN.INF has UNZIP= but no UNZIPTO=; the launcher extracts no nested archive");
  } else if (target->empty()) {
    f.warnings.push_back("AUTORUN.INF has an empty UNZIPTO=; nested archives go into the extraction directory");
  } else if (!stays_inside(*target)) {
    f.problems.push_back("AUTORUN.INF puts the nested archives into " + quoted(*target) +
                         " (UNZIPTO=), which is not inside the extraction directory; the launcher refuses it");
  }
  if (nested->size() > NESTED_LIST_LIMIT) {
    f.problems.push_back("the UNZIP= list of AUTORUN.INF is longer than " + std::to_string(NESTED_LIST_LIMIT) +
                         " characters, more than the launcher can hold");
    return f;
  }
  const std::vector<std::string> names = split_nested_list(*nested);
  if (names.empty()) f.warnings.push_back("the UNZIP= list of AUTORUN.INF names no archive");
  for (const std::string& name : names) {
    std::string member = name;
    std::replace(member.begin(), member.end(), '\\', '/');
    if (!payload_file(member)) {
      f.problems.push_back("AUTORUN.INF names the nested archive " + quoted(name) +
                           " in UNZIP=, but the payload holds no such file");
    }
  }
  return f;
}

}  // namespace sfxpack
