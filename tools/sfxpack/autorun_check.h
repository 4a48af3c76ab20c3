// Checks a payload's AUTORUN.INF the way the launcher will read it, so that
// sfxpack refuses an installer whose launcher would stop with "Could not
// locate the launcher command" or start without its nested archives.
//
// The launcher does not parse lines: it takes the first occurrence of each
// key text anywhere in the first 4,096 bytes (up to a NUL), and the value
// runs to the next carriage return.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sfxpack {

inline constexpr const char* AUTORUN_NAME = "AUTORUN.INF";

// What the launcher sees of the file: the first 4,096 bytes, cut at a NUL.
std::string_view launcher_view(std::string_view file);

// The value of `key` as the launcher finds it, or nothing when the key is
// absent or no carriage return follows it.
std::optional<std::string> find_launch_key(std::string_view text, std::string_view key);

// The names of the nested-archive list as the launcher splits it.
std::vector<std::string> split_nested_list(const std::string& list);

struct AutorunFindings {
  std::vector<std::string> problems;  // each one makes the installer unusable
  std::vector<std::string> warnings;  // worth knowing, but the launcher copes
  bool ok() const { return problems.empty(); }
};

// `file`: the bytes of AUTORUN.INF. `payload_file`: answers whether a name
// ('/'-separated, relative to the payload root) is a file of the payload.
AutorunFindings check_autorun(std::string_view file, const std::function<bool(const std::string&)>& payload_file);

}  // namespace sfxpack
