// Portable. The ratio rule: tenths of a per cent, rounded, then the whole
// per cent of the magnitude. Worked in 64 bits so that a compressed size far
// above the uncompressed one, or a zip64 size, cannot wrap.
#include "ratio.h"

#include <algorithm>
#include <climits>

int ratio_percent(uint64_t u, uint64_t c) {
  if (u == 0) return 0;
  uint64_t tenths;
  if (u <= 2000000) {
    // The difference is at most 2,000,000 here, or the result is clamped.
    const uint64_t d = c <= u ? u - c : std::min<uint64_t>(c - u, UINT64_MAX / 2000);
    tenths = (d * 1000 + u / 2) / u;
  } else {
    // Differences first, so that sizes near 2^64 cannot wrap.
    tenths = c <= u ? ((u - c) + u / 2000) / (u / 1000) : ((c - u) + u / 2000) / (u / 1000);
  }
  uint64_t percent = (tenths + 5) / 10;
  return percent > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(percent);
}
