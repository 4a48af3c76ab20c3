// Fuzz target: raw Deflate streams. The first byte picks the fast loop (the
// 64-bit one or the one of 32-bit processors), the destination size below,
// and how the input is handed over (a byte at a time up to whole 8 KiB
// blocks), each piece in a buffer of its own size, so a read past the input
// or a write past the window is caught by the address sanitizer; the output
// must also never exceed what the flushes could have produced. The stream is
// decoded a second time in pieces of the other extreme (single bytes, or 8
// KiB), which must give the same result, tree message, flushes and bytes:
// the fast loops and the careful one must agree, on errors too. Then it is
// decoded straight into a destination of exactly its output's size (or a
// little or much more, or half of it), which must change nothing the caller
// sees and never store past the destination's end.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "decoders/decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const size_t chunks[] = {1, 2, 3, 7, 16, 100, 4096, 8192};
  const size_t chunk = chunks[data[0] & 7];
  inflate_use_narrow_loop((data[0] & 0x20) != 0);
  std::vector<uint8_t> stream(data + 1, data + size);
  memory_decoder d(stream, chunk);
  int message = 0;
  int r = d.inflate(&message);
  if (r < 0 || r > 3) __builtin_trap();
  if (message && r != 1) __builtin_trap();
  for (size_t i = 0; i + 1 < d.flush_sizes.size(); ++i)
    if (d.flush_sizes[i] != DECODER_WINDOW_SIZE) __builtin_trap();

  memory_decoder other(stream, chunk >= 16 ? 1 : 8192);
  int other_message = 0;
  if (other.inflate(&other_message) != r || other_message != message) __builtin_trap();
  if (other.flush_sizes != d.flush_sizes || other.output != d.output) __builtin_trap();

  const size_t n = d.output.size();
  const size_t sizes[] = {n, n + 383, n + 40000, n / 2};
  const size_t room = sizes[(data[0] >> 3) & 3];
  memory_decoder direct(stream, chunk);
  direct.use_destination(room, true);
  int direct_message = 0;
  const int direct_result = direct.inflate(&direct_message);
  // Into a destination too small, the staged decoding's flushes are refused
  // at the same block.
  std::optional<memory_decoder> staged;
  const memory_decoder* expected = &d;
  int expected_result = r, expected_message = message;
  if (room < n) {
    staged.emplace(stream, chunk);
    staged->use_destination(room, false);
    expected_result = staged->inflate(&expected_message);
    expected = &*staged;
  }
  if (direct_result != expected_result || direct_message != expected_message) __builtin_trap();
  if (direct.flush_sizes != expected->flush_sizes || direct.output != expected->output) __builtin_trap();
  return 0;
}
