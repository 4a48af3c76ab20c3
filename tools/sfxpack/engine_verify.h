// Checks a finished installer with the launcher's own engine: a listing
// with the launcher's options (which must succeed without warnings, since
// the launcher counts a warning as failure) and a test of every entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sfxpack {

struct VerifyResult {
  bool ok = true;
  std::string failure;             // set when !ok
  std::vector<std::string> notes;  // steps that could not run, and why
  uint32_t listed_entries = 0;
  uint64_t listed_bytes = 0;
};

// `expected_entries` and `expected_bytes` are what was written; `on_data`
// (optional) hears of the bytes the test has decompressed.
VerifyResult verify_with_engine(const std::string& archive_path, size_t expected_entries, uint64_t expected_bytes,
                                const std::function<void(uint64_t bytes)>& on_data = {});

}  // namespace sfxpack
