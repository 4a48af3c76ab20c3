// Fuzz target: a deletion list's text, split into paths and each turned
// into the path clean-up would act on. Nothing is removed here: the target
// checks that every path is a line of the list cut as the launcher cuts
// lines (non-empty, at most 1,023 characters, no CR or LF), and that every
// path taken is absolute, ends without a separator and holds no "." or ".."
// step, so the system never resolves any part of it through a link.
#include <cstdint>
#include <string>

#include "clean_up.h"
#include "launcher_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  size_t total = 0;
  for (const std::string& line : launcher::SplitDeleteList(content)) {
    total += line.size();
    if (line.empty() || line.size() > 1023) __builtin_trap();
    if (line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
    if (content.find(line) == std::string::npos) __builtin_trap();
    launcher::ResetState();
    std::string path;
    if (!launcher::ListedPath(line, path)) continue;
    if (path.size() < 2 || path[0] != '/' || path.back() == '/') __builtin_trap();
    if (path.find("//") != std::string::npos) __builtin_trap();
    const std::string steps = path + "/";
    if (steps.find("/./") != std::string::npos || steps.find("/../") != std::string::npos) __builtin_trap();
  }
  if (total > size) __builtin_trap();
  return 0;
}
