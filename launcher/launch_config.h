// Reading AUTORUN.INF: the installer command for the run mode and the
// nested archives that hold what runs the installer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace launcher {

// 0 when a non-empty installer command was found for the mode, else -1.
int ReadLaunchConfig();

// The value of `key` in `text`: everything after its first occurrence
// anywhere in the text up to the next carriage return. None when the key
// is absent or no carriage return follows it.
std::optional<std::string> FindKeyValue(std::string_view text, std::string_view key);

}  // namespace launcher
