// Per-call state of the output side: the entry's output file, the running
// CRC-32, the text-conversion flags and the disk-full state.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/file.h"

// Twice the largest flush block (text conversion can double it), plus one.
inline constexpr uint32_t OUTPUT_BUFFER_SIZE = 65537;
// The largest block a decoder hands to flush_output.
inline constexpr uint32_t OUTPUT_FLUSH_MAX = 32768;
// disk_full after a failed write; the walk ends the run when it sees it.
inline constexpr int OUTPUT_DISK_FULL = 2;

struct EngineContext;

// Where a worker's decoded blocks go instead of the entry's file (see
// decode_ahead.h): `flushed` is what the decoder handed over, `kept` what
// lies within the declared size. Returns 0 or a code that ends the decoding.
using block_sink_fn = int (*)(EngineContext& ctx, const uint8_t* block, uint32_t flushed, uint32_t kept);

struct output_state {
  platform::File file;            // the entry's output file while it is written
  uint32_t crc = 0;               // running CRC-32 of the entry (the walk starts it at 0)
  bool new_file = false;          // set per entry: text conversion starts afresh
  bool last_was_cr = false;       // the previous text block ended in CR
  int disk_full = 0;              // 0, or OUTPUT_DISK_FULL after a short write
  bool opened = false;            // open_output_file created `file` for this entry
  bool mode_given = false;        // `file` was created with the entry's permission bits
  // Bytes the entry may still deliver: its declared uncompressed size, set
  // per entry. Data beyond it is not taken (flush_output stops the decoder).
  uint64_t size_left = UINT64_MAX;
  bool past_size = false;         // the entry's data went on past its declared size
  std::unique_ptr<uint8_t[]> buffer;  // OUTPUT_BUFFER_SIZE bytes, made at the first text block

  // Decoding ahead. On a worker's context every block goes to `sink`. On
  // the caller's, a block played back may bring the running CRC along
  // (`given_crc`), and after a worker gave up midway the decoder is run
  // again here with its first `blocks_to_skip` flushes taken as done.
  block_sink_fn sink = nullptr;
  const uint32_t* given_crc = nullptr;
  uint32_t blocks_to_skip = 0;
};
