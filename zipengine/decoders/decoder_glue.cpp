// Portable. The decoders' engine calls: they point a decoder_io at the
// engine context (its input buffer, byte reader refill, window and output
// flush) and turn the decoders' results into the engine's.
#include <algorithm>
#include <cstring>

#include "context.h"
#include "decoder_state.h"
#include "input.h"
#include "output.h"

namespace {

EngineContext& context_of(void* opaque) { return *static_cast<EngineContext*>(opaque); }

decoder_io engine_io(EngineContext& ctx) {
  decoder_io io{};
  io.read_ptr = &ctx.read_ptr;
  io.unread_count = &ctx.unread_count;
  io.refill = [](void* o) { return refill_entry_input(context_of(o)); };
  io.unloaded = [](void* o) { return context_of(o).remaining_compressed; };
  io.flush = [](void* o, const uint8_t* block, uint32_t length) {
    EngineContext& ctx = context_of(o);
    return ctx.decoder.memory_output ? memory_flush(ctx, block, length) : flush_output(ctx, block, length);
  };
  io.opaque = &ctx;
  io.window = ctx.window;
  if (ctx.decoder.memory_output) {
    io.direct = ctx.decoder.memory_target;
    io.direct_size = ctx.decoder.memory_room;
  }
  return io;
}

constexpr uint32_t COPY_BLOCK = 32768;

// Stored data, flushed in blocks of 32 KiB. Whole blocks and the entry's
// last piece go to the flush straight from the input; only a block split
// between two reads is gathered in the window first.
int copy_stored(EngineContext& ctx) {
  align_entry_data(ctx);
  uint32_t filled = 0;
  while (refill_entry_input(ctx)) {
    while (filled == 0 && (ctx.unread_count >= static_cast<int32_t>(COPY_BLOCK) ||
                           (ctx.remaining_compressed <= 0 && ctx.unread_count > 0))) {
      const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(ctx.unread_count), COPY_BLOCK);
      const uint8_t* block = ctx.read_ptr;
      ctx.read_ptr += n;
      ctx.unread_count -= static_cast<int32_t>(n);
      int r = flush_output(ctx, block, n);
      if (n < COPY_BLOCK) return r;  // that was the final, partial block
      if (r) return r;
      if (ctx.output.disk_full) return RC_DISK_FULL;
    }
    if (ctx.unread_count <= 0) continue;
    uint32_t take = std::min<uint32_t>(static_cast<uint32_t>(ctx.unread_count), COPY_BLOCK - filled);
    std::memcpy(ctx.window + filled, ctx.read_ptr, take);
    ctx.read_ptr += take;
    ctx.unread_count -= static_cast<int32_t>(take);
    filled += take;
    if (filled == COPY_BLOCK) {
      int r = flush_output(ctx, ctx.window, filled);
      filled = 0;
      if (r) return r;
      if (ctx.output.disk_full) return RC_DISK_FULL;
    }
  }
  return flush_output(ctx, ctx.window, filled);
}

}  // namespace

void send_tree_message(EngineContext& ctx, int which) {
  if (which == INFLATE_NO_TREE_MESSAGE || ctx.quiet_level != 0 || !ctx.message_hook) return;
  const char* text = which == INFLATE_INCOMPLETE_LTREE ? "(incomplete l-tree)  " : "(incomplete d-tree)  ";
  ctx.message_hook(ctx, text, static_cast<uint32_t>(std::strlen(text)), MSG_DECODER);
}

int decode_entry(EngineContext& ctx, decoded_result& d) {
  d = decoded_result{};
  switch (ctx.local.method) {
    case 0:
      d.result = copy_stored(ctx);
      break;
    case 6: {
      decoder_io io = engine_io(ctx);
      explode_params params{ctx.local.flags, ctx.local.uncompressed_size};
      d.result = explode_stream(io, ctx.decoder.tables.explode, params, &d.explode_used);
      break;
    }
    case 8: {
      decoder_io io = engine_io(ctx);
      d.result = inflate_stream(io, ctx.decoder.tables.inflate, &d.tree_message);
      break;
    }
    default:
      d.result = -1;
  }
  return d.result;
}

int inflate_entry(EngineContext& ctx) {
  decoder_io io = engine_io(ctx);
  int tree_message = INFLATE_NO_TREE_MESSAGE;
  int r = inflate_stream(io, ctx.decoder.tables.inflate, &tree_message);
  send_tree_message(ctx, tree_message);
  return r;
}

int release_fixed_tables(EngineContext&) { return 0; }

int memory_flush(EngineContext& ctx, const uint8_t* block, uint32_t length) {
  decoder_state& d = ctx.decoder;
  if (length > d.memory_room) return RC_DISK_FULL;
  // A decoder that decodes straight into the target hands over blocks
  // that are already in place.
  if (length && block != d.memory_target) std::memcpy(d.memory_target, block, length);
  d.memory_target += length;
  d.memory_room -= length;
  d.memory_produced += length;
  return 0;
}

int inflate_to_memory(EngineContext& ctx, const uint8_t* data, uint32_t length, uint8_t* target,
                      uint32_t capacity, uint32_t* produced) {
  // The archive's input state is set aside for the block and put back after.
  uint8_t* saved_ptr = ctx.read_ptr;
  int32_t saved_count = ctx.unread_count;
  int32_t saved_memory = ctx.memory_input;
  int32_t saved_encrypted = ctx.input_encrypted;
  decoder_state& d = ctx.decoder;
  ctx.read_ptr = const_cast<uint8_t*>(data);  // read only
  ctx.unread_count = static_cast<int32_t>(length);
  ctx.memory_input = 1;
  ctx.input_encrypted = 0;
  d.memory_output = true;
  d.memory_target = target;
  d.memory_room = capacity;
  d.memory_produced = 0;
  int r = inflate_entry(ctx);
  *produced = d.memory_produced;
  d.memory_output = false;
  ctx.read_ptr = saved_ptr;
  ctx.unread_count = saved_count;
  ctx.memory_input = saved_memory;
  ctx.input_encrypted = saved_encrypted;
  return r;
}
