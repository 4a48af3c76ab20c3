// Portable. The decoders' per-call state, embedded in EngineContext as
// `decoder`: the decoding tables (one entry is decoded at a time, so Deflate
// and Implode share the storage), the keys of traditional decryption, and
// the target of an in-memory expansion.
#pragma once

#include <cstdint>

#include "explode.h"
#include "inflate.h"

struct decoder_state {
  union {
    inflate_workspace inflate;
    explode_tables explode;
  } tables;

  // Traditional PKWARE decryption.
  uint32_t keys[3] = {0, 0, 0};
  // Set by the entry walk when it starts on the entries of an archive; the
  // archive's first encrypted entry clears it and drops the password held
  // from an earlier archive.
  bool new_archive = true;

  // In-memory expansion (compressed extra-field blocks): while
  // memory_output is set, decoded data goes to memory_flush instead of the
  // entry's output.
  bool memory_output = false;
  uint8_t* memory_target = nullptr;  // next byte to write
  uint32_t memory_room = 0;          // bytes left at memory_target
  uint32_t memory_produced = 0;      // bytes written so far

  decoder_state() : tables{} {}
};

struct EngineContext;

// Output sink used instead of the entry's flush during an in-memory
// expansion: copies the block to the target (unless it is there already:
// the decoder may decode straight into it). 50 (and nothing copied) when
// it does not fit in what is left of the target, else 0.
int memory_flush(EngineContext& ctx, const uint8_t* block, uint32_t length);

// Inflates `length` bytes at `data` into target[0 .. capacity), with the
// byte reader in memory-input mode and the output going to memory_flush;
// the archive input state is kept and restored around it. Returns
// inflate_entry's result; *produced is the number of bytes written.
int inflate_to_memory(EngineContext& ctx, const uint8_t* data, uint32_t length, uint8_t* target,
                      uint32_t capacity, uint32_t* produced);

// What a decoder run over an entry's data ended with: its result and what
// the messages after it need.
struct decoded_result {
  int result = 0;
  int tree_message = 0;      // Deflate: inflate_tree_message
  int64_t explode_used = 0;  // Implode: bytes used, on DECODE_WRONG_LENGTH
};

// Runs the decoder of ctx.local.method over the current entry's data, with
// the output going to flush_output; sends no message. -1: not a method the
// engine decodes.
int decode_entry(EngineContext& ctx, decoded_result& d);

// The tree message that belongs to a Deflate failure, if any (not in quiet mode).
void send_tree_message(EngineContext& ctx, int which);
