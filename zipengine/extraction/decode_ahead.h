// Portable. Decoding ahead: while the calling thread writes one entry, a
// worker thread decodes the next ones of the walk's block into a small ring
// of finished blocks. The calling thread plays each block back through
// flush_output when the entry's turn comes, so every file operation and
// every callback (texts, questions, progress) stays on the calling thread,
// in archive order, with exactly the values a single-threaded run gives.
// The worker only reads the archive; what it decoded for an entry that is
// then skipped, refused or cut short is dropped.
#pragma once

#include <cstdint>
#include <memory>

#include "context.h"
#include "decoder_state.h"

struct decode_ahead;

struct decode_ahead_stop {
  void operator()(decode_ahead* ahead) const;  // stops and joins the worker
};
using decode_ahead_ptr = std::unique_ptr<decode_ahead, decode_ahead_stop>;

// When decoding ahead is used: automatically (more than one core and an
// archive of at least a mebibyte), always, or never. Tests compare runs
// both ways; the setting is process-wide and read when a walk starts.
enum class decode_ahead_mode { automatic, always, never };
void set_decode_ahead_mode(decode_ahead_mode mode);

// A worker for the walk over ctx's archive, or null when the run decodes
// on its own thread (one core, a small archive, no memory for the worker).
decode_ahead_ptr start_decode_ahead(EngineContext& ctx);

// Hands the worker the plain entries among ctx.infos[0 .. count).
void submit_entry_block(decode_ahead& ahead, const EngineContext& ctx, int count);

// After the walk has visited the block: drops what was not taken and waits
// until the worker holds nothing of the block any more.
void finish_entry_block(decode_ahead& ahead);

// In the decoder's place for the current entry (ctx.info, positioned at its
// data): when the worker decoded this very data with these parameters,
// plays its blocks back through flush_output and returns true with the
// decoder's result. False: decode here as usual.
bool play_back_entry(EngineContext& ctx, decoded_result& d);
