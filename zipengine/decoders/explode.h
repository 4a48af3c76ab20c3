// Portable. PKWARE Implode decoding (method 6): the decoder proper works on
// a decoder_io; the engine runs it through decode_entry (decoder_state.h).
#pragma once

#include <cstdint>

#include "decoder_io.h"
#include "huffman_table.h"

struct EngineContext;

// General-purpose flag bits that shape an imploded entry.
inline constexpr uint16_t EXPLODE_FLAG_8K_DICTIONARY = 0x0002;
inline constexpr uint16_t EXPLODE_FLAG_LITERAL_TREE = 0x0004;

// Decoding tables of one entry. Implode's trees give every symbol a length
// and must be complete, which bounds their sub-tables.
struct explode_tables {
  static constexpr unsigned LITERAL_SIZE = huff_table_bound(256, 16, 10, true);
  static constexpr unsigned SMALL_SIZE = huff_table_bound(64, 16, 8, true);
  uint32_t literal[LITERAL_SIZE];
  uint32_t length[SMALL_SIZE];
  uint32_t distance[SMALL_SIZE];
};

struct explode_params {
  uint16_t flags;              // general-purpose flags of the entry
  uint64_t uncompressed_size;  // output to produce (zip64 entries go beyond 4 GiB)
};

// Decodes one imploded stream from io, producing params.uncompressed_size
// bytes (fewer only when the data ends far too early). Returns a
// decoder_result or a flush result. On DECODE_WRONG_LENGTH, *bytes_used
// holds the compressed bytes the decoder actually used (more than it was
// given when the data ran short).
int explode_stream(decoder_io& io, explode_tables& tables, const explode_params& params,
                   int64_t* bytes_used);

