// Fuzz target: imploded streams. The first byte gives the flags (both
// dictionary sizes, with or without the literal tree) and the input chunk
// size, the next two the uncompressed size; the decoder must stay inside
// its input and window and report its result and bytes used coherently.
#include <cstddef>
#include <cstdint>

#include "decoders/decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint16_t flags = static_cast<uint16_t>(data[0] & 6);
  static const size_t chunks[] = {1, 5, 64, 8192};
  uint32_t out_size = static_cast<uint32_t>(data[1] | data[2] << 8) * 3;
  memory_decoder d(std::vector<uint8_t>(data + 3, data + size), chunks[(data[0] >> 3) & 3]);
  explode_tables tables;
  int64_t used = -1;
  int r = explode_stream(d.io, tables, {flags, out_size}, &used);
  if (r < 0 || r > 5) __builtin_trap();
  if (r == 0 && d.output.size() != out_size) __builtin_trap();
  if (r == 5 && (used < 0 || used == static_cast<int64_t>(size - 3))) __builtin_trap();
  return 0;
}
