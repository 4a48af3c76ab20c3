// Fuzz target: raw Deflate streams. The first byte picks how the input is
// handed over (a byte at a time up to whole 8 KiB blocks), each piece in a
// buffer of its own size, so a read past the input or a write past the
// window is caught by the address sanitizer; the output must also never
// exceed what the flushes could have produced.
#include <cstddef>
#include <cstdint>

#include "decoders/decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const size_t chunks[] = {1, 2, 3, 7, 16, 100, 4096, 8192};
  memory_decoder d(std::vector<uint8_t>(data + 1, data + size), chunks[data[0] & 7]);
  int message = 0;
  int r = d.inflate(&message);
  if (r < 0 || r > 3) __builtin_trap();
  if (message && r != 1) __builtin_trap();
  for (size_t i = 0; i + 1 < d.flush_sizes.size(); ++i)
    if (d.flush_sizes[i] != DECODER_WINDOW_SIZE) __builtin_trap();
  return 0;
}
