// Test helper: much data from a small payload (needs zlib, so native
// builds only).
#pragma once

#include <zlib.h>

#include <algorithm>
#include <string>

namespace launcher_test {

// Raw Deflate of `size` zero bytes.
inline std::string DeflatedZeros(size_t size) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string in(1 << 20, '\0'), out;
  std::string chunk(1 << 16, '\0');
  for (size_t left = size; left > 0 || z.avail_in > 0;) {
    size_t n = std::min(left, in.size());
    left -= n;
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(n);
    int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = reinterpret_cast<Bytef*>(chunk.data());
      z.avail_out = static_cast<uInt>(chunk.size());
      deflate(&z, flush);
      out.append(chunk.data(), chunk.size() - z.avail_out);
    } while (z.avail_out == 0);
    if (flush == Z_FINISH) break;
  }
  deflateEnd(&z);
  return out;
}

}  // namespace launcher_test
