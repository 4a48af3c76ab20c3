// Portable. The output names the files of one archive were written under,
// kept as 64-bit hashes (8 bytes a file, so that tens of thousands of
// entries stay within the engine's memory budget). A name is found again
// in a few comparisons: most of the hashes lie sorted, the newest few in a
// short unsorted tail that is merged in when it fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class written_names {
 public:
  // Room for `count` names, so that the store does not regrow.
  void reserve(size_t count) { hashes_.reserve(count); }
  // Adds `name`; false when it was there already (or, with odds of one in
  // 2^64 per pair, another name with the same hash was).
  bool insert(const char* name);

 private:
  static constexpr size_t TAIL_LIMIT = 256;
  std::vector<uint64_t> hashes_;  // [0, sorted_) sorted, then the tail
  size_t sorted_ = 0;
};
