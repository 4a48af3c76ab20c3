// Portable. Deflate decoding (method 8, RFC 1951): the decoder proper works
// on a decoder_io; inflate_entry is the engine's call for one entry.
#pragma once

#include <cstdint>

#include "decoder_io.h"
#include "huffman_table.h"
#include "inflate_symbols.h"

struct EngineContext;

// Output staging: 32 KiB of history followed by 32 KiB of new output and a
// little room beyond. History is always contiguous behind the write
// position, so matches never wrap and may be copied in whole words that run
// a few bytes past their end (into bytes that are not history yet). When
// the new half is full it is flushed and moved down to become the history.
// (The move is a copy of all output, but inside the cache; a longer buffer
// that moves less often measured no faster, as its blocks fall out of it.)
inline constexpr uint32_t INFLATE_HISTORY = 32768;
inline constexpr uint32_t INFLATE_FLUSH_AT = 2 * INFLATE_HISTORY;
inline constexpr uint32_t INFLATE_BUFFER_SIZE = INFLATE_FLUSH_AT + 384;

// The decoding tables of one block, literal/length and distance, in one
// object so that the fast loops reach both through one pointer. The first
// levels are always INFLATE_LITLEN_MAIN_BITS and INFLATE_DIST_MAIN_BITS
// wide (narrower codes are repeated), so the loops index by constant masks.
struct inflate_code_tables {
  static constexpr unsigned LITLEN_SIZE = huff_table_bound(288, 15, INFLATE_LITLEN_MAIN_BITS, true);
  static constexpr unsigned DIST_SIZE = huff_table_bound(32, 15, INFLATE_DIST_MAIN_BITS, false);
  uint32_t litlen[LITLEN_SIZE];
  uint32_t dist[DIST_SIZE];
};

// Per-entry workspace: the staging buffer and the decoding tables of one
// dynamic block, sized for the worst case of each code (huff_table_bound),
// so decoding never allocates.
struct inflate_workspace {
  static constexpr unsigned LITLEN_SIZE = inflate_code_tables::LITLEN_SIZE;
  static constexpr unsigned DIST_SIZE = inflate_code_tables::DIST_SIZE;
  static constexpr unsigned PRECODE_SIZE = huff_table_bound(19, 7, INFLATE_PRECODE_MAIN_BITS, true);
  inflate_code_tables codes;
  uint32_t precode[PRECODE_SIZE];
  uint8_t buffer[INFLATE_BUFFER_SIZE];
};

// Which tree message the decoding ended with (sent by inflate_entry).
enum inflate_tree_message : int {
  INFLATE_NO_TREE_MESSAGE = 0,
  INFLATE_INCOMPLETE_LTREE = 1,  // "(incomplete l-tree)  "
  INFLATE_INCOMPLETE_DTREE = 2,  // "(incomplete d-tree)  "
};

// Decodes one raw Deflate stream from io, flushing every 32 KiB of output
// and the rest at the end (io's window is not used). Returns a decoder_result, or the
// first non-zero flush result. On failure *tree_message tells whether one of
// the two tree messages belongs to it.
int inflate_stream(decoder_io& io, inflate_workspace& work, int* tree_message);

// For tests: decode with the fast loop of 32-bit processors (a 32-bit bit
// buffer) on any processor; 32-bit builds always use it. Process-wide, read
// when a decoding starts.
void inflate_use_narrow_loop(bool on);

// The engine's Deflate call for the current entry, positioned at its data:
// 0, 1 invalid or truncated data, 2 invalid block type or over-subscribed
// code, 3 out of memory, or a flush result passed on.
int inflate_entry(EngineContext& ctx);

// The fixed-code tables are constant data built with the engine; there is
// nothing to release. Always 0.
int release_fixed_tables(EngineContext& ctx);
