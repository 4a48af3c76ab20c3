// Tidying the record's path texts (path_text.h).
#include "path_text.h"

#include <cctype>
#include <vector>

#include "platform/file_system.h"

namespace {

bool OnWindows() { return platform::file_system().path_separator() == '\\'; }

bool IsSeparator(char c) { return c == '/' || (c == '\\' && OnWindows()); }

// The length of the root of `text` when it has one, else 0. `root` gets the
// root as written with the platform's separators.
size_t RootOf(const std::string& text, std::string& root) {
  if (!OnWindows()) {
    if (!text.empty() && text[0] == '/') root = "/";
    return root.size();
  }
  if (text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
      IsSeparator(text[2])) {
    root = text.substr(0, 2) + "\\";
    return 3;
  }
  if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
    // \\server\share\: both names are part of the root.
    size_t at = 2;
    std::string names;
    for (int n = 0; n < 2; ++n) {
      size_t end = at;
      while (end < text.size() && !IsSeparator(text[end])) ++end;
      if (end == at) return std::string::npos;
      names += text.substr(at, end - at) + "\\";
      at = end < text.size() ? end + 1 : end;
    }
    root = "\\\\" + names;
    return at;
  }
  return 0;
}

// The steps of text[from..], or parent_step.
PathText Steps(const std::string& text, size_t from, std::vector<std::string>& steps) {
  size_t start = from;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    std::string step = text.substr(start, end - start);
    if (step == "..") return PathText::parent_step;
    if (!step.empty() && step != ".") steps.push_back(std::move(step));
    start = end + 1;
  }
  return PathText::ok;
}

std::string Joined(std::string out, const std::vector<std::string>& steps) {
  const char sep = platform::file_system().path_separator();
  for (size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) out += sep;
    out += steps[i];
  }
  return out;
}

}  // namespace

PathText TidyAbsolutePath(const std::string& text, std::string& out) {
  std::string root;
  size_t from = RootOf(text, root);
  if (from == std::string::npos) return PathText::empty;
  if (from == 0) return text.empty() ? PathText::empty : PathText::relative;
  std::vector<std::string> steps;
  if (PathText t = Steps(text, from, steps); t != PathText::ok) return t;
  out = Joined(root, steps);
  return PathText::ok;
}

PathText TidyRelativeName(const std::string& text, std::string& out) {
  std::string root;
  // "\x" and "C:x" lean on the current drive: not below anything given.
  bool rooted = RootOf(text, root) != 0 || (!text.empty() && IsSeparator(text[0])) ||
                (OnWindows() && text.size() >= 2 && text[1] == ':');
  if (rooted) return PathText::absolute;
  std::vector<std::string> steps;
  if (PathText t = Steps(text, 0, steps); t != PathText::ok) return t;
  if (steps.empty()) return PathText::empty;
  out = Joined("", steps);
  return PathText::ok;
}
