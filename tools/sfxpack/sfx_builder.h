// Builds a self-extracting installer: a copy of the stub with a ZIP payload
// appended (from a directory or an existing ZIP), checked for what the
// launcher needs and verified with the engine. Also writes plain ZIP
// archives (no stub, no launch configuration), such as nested archives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sfxpack {

struct PackOptions {
  std::optional<std::filesystem::path> stub;  // none: a plain ZIP archive
  std::filesystem::path source;               // a directory or a .zip file
  std::filesystem::path output;
  int level = 6;        // Deflate level, 0 stores
  bool verify = true;   // list and test the result with the engine
  bool unix_host = std::filesystem::path::preferred_separator == '/';
};

struct PackResult {
  size_t entries = 0;
  uint64_t stub_bytes = 0;
  uint64_t output_bytes = 0;
  uint64_t uncompressed_bytes = 0;
  std::vector<std::string> warnings;
  std::vector<std::string> notes;
};

// Throws PackError with a complete sentence; on failure nothing is left at
// `output` that was not there before.
PackResult pack(const PackOptions& options);

}  // namespace sfxpack
