// Portable. What a decoder sees of the engine: the entry's compressed bytes
// as a buffer that can be refilled, a 32 KiB window, and a flush that takes
// the window's finished bytes. The engine glue points these at the engine
// context; tests point them at memory.
#pragma once

#include <cstdint>

inline constexpr uint32_t DECODER_WINDOW_SIZE = 32768;

struct decoder_io {
  // The unread input: read_ptr[0 .. unread_count) belongs to the entry. A
  // count of 0 or less means nothing is buffered.
  uint8_t** read_ptr;
  int32_t* unread_count;
  // Makes more input available without consuming any (false at the end of
  // the entry's data). Called only when the unread count is 0 or less.
  bool (*refill)(void* opaque);
  // Compressed bytes of the entry not loaded into the buffer yet (below 0
  // once refill has been asked for more than there was).
  int64_t (*unloaded)(void* opaque);
  // Takes window[0 .. length); returns 0 or a code that ends the decoding.
  int (*flush)(void* opaque, const uint8_t* block, uint32_t length);
  void* opaque;
  uint8_t* window;  // DECODER_WINDOW_SIZE bytes, no contents expected
  // Optional, Deflate only: memory that is to receive the whole output, in
  // order from its start. The decoder may then decode straight into it, so
  // that the flushes hand over blocks already in place (a flush whose block
  // is where its bytes belong has nothing to copy). Bytes past what has
  // been flushed may be written over meanwhile.
  uint8_t* direct = nullptr;
  uint32_t direct_size = 0;
};

// Result of the decoders (codes passed on from flush keep their values).
enum decoder_result : int {
  DECODE_OK = 0,
  DECODE_BAD_DATA = 1,        // invalid or truncated data, invalid code, incomplete code set
  DECODE_BAD_BLOCK = 2,       // invalid block type or over-subscribed code set
  DECODE_NO_MEMORY = 3,
  DECODE_BAD_TREE = 4,        // Implode: invalid tree description
  DECODE_WRONG_LENGTH = 5,    // Implode: compressed data not consumed exactly
};
