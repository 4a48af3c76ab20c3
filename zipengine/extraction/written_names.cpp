// Portable. The hash set of written output names.
#include "written_names.h"

#include <algorithm>

namespace {

// FNV-1a, 64 bits. A collision can only make an archive's own later entry
// look like a repeat of an earlier one; it never lets a file be replaced.
uint64_t hash_of(const char* s) {
  uint64_t h = 0xcbf29ce484222325u;
  for (; *s; ++s) {
    h ^= static_cast<unsigned char>(*s);
    h *= 0x100000001b3u;
  }
  return h;
}

}  // namespace

bool written_names::insert(const char* name) {
  const uint64_t h = hash_of(name);
  const auto sorted_end = hashes_.begin() + static_cast<std::ptrdiff_t>(sorted_);
  if (std::binary_search(hashes_.begin(), sorted_end, h) || std::find(sorted_end, hashes_.end(), h) != hashes_.end())
    return false;
  hashes_.push_back(h);
  if (hashes_.size() - sorted_ >= TAIL_LIMIT) {
    // Merge the sorted tail in from the back, with no buffer beyond it.
    uint64_t tail[TAIL_LIMIT];
    const size_t t = hashes_.size() - sorted_;
    std::copy(hashes_.begin() + static_cast<std::ptrdiff_t>(sorted_), hashes_.end(), tail);
    std::sort(tail, tail + t);
    size_t i = sorted_, j = t, out = hashes_.size();
    while (j > 0) {
      if (i > 0 && hashes_[i - 1] > tail[j - 1])
        hashes_[--out] = hashes_[--i];
      else
        hashes_[--out] = tail[--j];
    }
    sorted_ = hashes_.size();
  }
  return true;
}
