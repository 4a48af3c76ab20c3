// Portable. The ratio rule: tenths of a per cent, rounded, then the whole
// per cent of the magnitude. Worked in 64 bits so that a compressed size far
// above the uncompressed one cannot wrap.
#include "ratio.h"

#include <climits>

int ratio_percent(uint32_t uncompressed, uint32_t compressed) {
  const uint64_t u = uncompressed, c = compressed;
  if (u == 0) return 0;
  uint64_t tenths;
  if (u <= 2000000) {
    tenths = c <= u ? ((u - c) * 1000 + u / 2) / u : ((c - u) * 1000 + u / 2) / u;
  } else {
    tenths = c <= u ? (u + u / 2000 - c) / (u / 1000) : (c + u / 2000 - u) / (u / 1000);
  }
  uint64_t percent = (tenths + 5) / 10;
  return percent > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(percent);
}
