// Builds a self-extracting installer: a copy of the stub with a ZIP payload
// appended (from a directory or an existing ZIP), checked for what the
// launcher needs and verified with the engine. Also writes plain ZIP
// archives (no stub, no launch configuration), such as nested archives.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sfxpack {

// How far a pack has come: the bytes of entry data taken in so far while
// packing, then the bytes the engine has checked.
struct PackProgress {
  enum Phase { packing, checking } phase = packing;
  uint64_t done = 0;
  uint64_t total = 0;
};

struct PackOptions {
  std::optional<std::filesystem::path> stub;  // none: a plain ZIP archive
  std::filesystem::path source;               // a directory or a .zip file
  std::filesystem::path output;
  int level = 6;        // Deflate level, 0 stores
  bool verify = true;   // list and test the result with the engine
  bool unix_host = std::filesystem::path::preferred_separator == '/';
  // SOURCE_DATE_EPOCH of a release build (see reproducible_pack.h).
  std::optional<std::time_t> source_date_epoch;
  std::function<void(const PackProgress&)> progress;  // optional
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
