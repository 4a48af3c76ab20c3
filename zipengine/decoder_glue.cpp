// Portable. The decoders' engine calls: they point a decoder_io at the
// engine context (its input buffer, byte reader refill, window and output
// flush) and turn the decoders' results into the engine's.
#include <cstring>

#include "context.h"
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
  return io;
}

void send_tree_message(EngineContext& ctx, int which) {
  if (which == INFLATE_NO_TREE_MESSAGE || ctx.quiet_level != 0 || !ctx.message_hook) return;
  const char* text = which == INFLATE_INCOMPLETE_LTREE ? "(incomplete l-tree)  " : "(incomplete d-tree)  ";
  ctx.message_hook(ctx, text, static_cast<uint32_t>(std::strlen(text)), MSG_DECODER);
}

}  // namespace

int inflate_entry(EngineContext& ctx) {
  decoder_io io = engine_io(ctx);
  int tree_message = INFLATE_NO_TREE_MESSAGE;
  int r = inflate_stream(io, ctx.decoder.tables.inflate, &tree_message);
  send_tree_message(ctx, tree_message);
  return r;
}

int release_fixed_tables(EngineContext&) { return 0; }

int explode_entry(EngineContext& ctx) {
  decoder_io io = engine_io(ctx);
  explode_params params{ctx.local.flags, ctx.local.uncompressed_size};
  int64_t used = 0;
  int r = explode_stream(io, ctx.decoder.tables.explode, params, &used);
  if (r == DECODE_WRONG_LENGTH) ctx.explode_bytes_used = used;
  return r;
}

int memory_flush(EngineContext& ctx, const uint8_t* block, uint32_t length) {
  decoder_state& d = ctx.decoder;
  if (length > d.memory_room) return RC_DISK_FULL;
  if (length) std::memcpy(d.memory_target, block, length);
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
