// Portable. The input side of the engine: aligned block reads of the archive,
// the entry byte reader with its refill, and the leftover bookkeeping that
// keeps decoders inside their entry's data.
#include "input.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "messages.h"
#include "platform/file.h"

#include "traditional_crypt.h"

namespace {

platform::File& data_file(EngineContext& ctx) { return ctx.data_file ? *ctx.data_file : *ctx.archive_file; }

// Reads the block starting at physical offset `block_start` (a multiple of
// the buffer size). Returns the bytes read, 0 at end of file, -1 on error.
int32_t load_block_at(EngineContext& ctx, int64_t block_start) {
  ctx.pending_position = -1;
  ctx.buffer_file_position = block_start;
  ctx.buffer_decrypted = 0;
  platform::IoResult got = ctx.archive_file->read_at(block_start, ctx.input_buffer, INPUT_BUFFER_SIZE);
  if (!got.ok()) {
    ctx.buffer_length = 0;
    return -1;
  }
  ctx.buffer_length = static_cast<int32_t>(got.value);
  return ctx.buffer_length;
}

// Reads the block after the one in the buffer (a sequential read).
// Returns the bytes read, 0 at end of file, -1 on error.
int32_t load_next_block(EngineContext& ctx) {
  const int64_t next = ctx.buffer_file_position + ctx.buffer_length;
  platform::IoResult got = ctx.archive_file->read_at(next, ctx.input_buffer, INPUT_BUFFER_SIZE);
  if (!got.ok()) return -1;
  if (got.value == 0) return 0;
  ctx.buffer_file_position = next;
  ctx.buffer_length = static_cast<int32_t>(got.value);
  ctx.buffer_decrypted = 0;
  ctx.read_ptr = ctx.input_buffer;
  return ctx.buffer_length;
}

void decrypt_buffered(EngineContext& ctx) {
  uint8_t* p = ctx.read_ptr;
  for (int32_t n = ctx.unread_count; n > 0; --n, ++p) {
    uint8_t plain = static_cast<uint8_t>(*p ^ crypt_decrypt_byte(ctx));
    crypt_update_keys(ctx, plain);
    *p = plain;
  }
  if (!ctx.data_in_buffer) ctx.buffer_decrypted = 1;
}

// Keeps the buffered bytes beyond the entry's remaining compressed count
// aside, then counts the rest as loaded.
void set_aside_leftover_input(EngineContext& ctx) {
  int64_t r = std::max<int64_t>(ctx.remaining_compressed, 0);
  if (r < ctx.unread_count) {
    ctx.leftover_ptr = ctx.read_ptr + r;
    ctx.leftover_count = ctx.unread_count - static_cast<int32_t>(r);
    ctx.unread_count = static_cast<int32_t>(r);
  } else {
    ctx.leftover_count = 0;
  }
  ctx.remaining_compressed -= ctx.unread_count;
}

// The refill shared by the slow path and the bulk refill. Returns false at
// the end of the entry's data; throws on a read error.
bool refill(EngineContext& ctx) {
  if (ctx.memory_input) return false;
  if (ctx.remaining_compressed <= 0) {
    ctx.remaining_compressed -= 1;
    ctx.unread_count = 0;
    return false;
  }
  if (ctx.unread_count <= 0) {
    if (!ctx.data_buffer) {
      ctx.data_buffer = static_cast<uint8_t*>(std::malloc(DATA_BUFFER_SIZE));
      if (!ctx.data_buffer) throw std::bad_alloc();
    }
    const int64_t want = std::min<int64_t>(ctx.remaining_compressed, DATA_BUFFER_SIZE);
    platform::IoResult got = data_file(ctx).read_at(ctx.data_next, ctx.data_buffer, static_cast<size_t>(want));
    if (!got.ok()) {
      message(ctx, "error:  zipfile read error\n");
      throw input_read_error{};
    }
    ctx.data_in_buffer = true;
    ctx.read_ptr = ctx.data_buffer;
    ctx.unread_count = static_cast<int32_t>(got.value);
    if (got.value == 0) return false;  // the file ends inside the entry
    ctx.data_next += got.value;
    ctx.remaining_compressed -= got.value;
    if (ctx.input_encrypted) decrypt_buffered(ctx);
  }
  return true;
}

// Block reads go on where the last entry's data ended (see
// restore_deferred_input); false when that place cannot be loaded.
bool settle_position(EngineContext& ctx) {
  if (ctx.pending_position < 0) return true;
  return seek_physical(ctx, ctx.pending_position) == RC_OK;
}

}  // namespace

int seek_archive(EngineContext& ctx, int64_t archive_offset) {
  return seek_physical(ctx, archive_offset + ctx.preceding_bytes);
}

int seek_physical(EngineContext& ctx, int64_t p) {
  if (p < 0) {
    message(ctx, "error [%s]:  attempt to seek before beginning of zipfile\n%s",
            display_form(ctx.current_archive).c_str(), REPORT_TEXT);
    return RC_SEVERE;
  }
  int64_t block_start = p - p % INPUT_BUFFER_SIZE;
  int32_t in_block = static_cast<int32_t>(p % INPUT_BUFFER_SIZE);
  if (block_start == ctx.buffer_file_position && ctx.buffer_length > 0 && !ctx.buffer_decrypted) {
    ctx.pending_position = -1;
    ctx.read_ptr = ctx.input_buffer + in_block;
    ctx.unread_count = ctx.buffer_length - in_block;
    return RC_OK;
  }
  int32_t got = load_block_at(ctx, block_start);
  if (got <= 0) {
    ctx.read_ptr = ctx.input_buffer;
    ctx.unread_count = 0;
    return RC_EARLY_EOF;
  }
  ctx.read_ptr = ctx.input_buffer + in_block;
  ctx.unread_count = got - in_block;
  return RC_OK;
}

int64_t archive_position(const EngineContext& ctx) {
  if (ctx.pending_position >= 0) return ctx.pending_position - ctx.preceding_bytes;
  return ctx.buffer_file_position + (ctx.read_ptr - ctx.input_buffer) - ctx.preceding_bytes;
}

int skip_archive_bytes(EngineContext& ctx, int64_t n) {
  return seek_archive(ctx, archive_position(ctx) + n);
}

uint32_t read_block(EngineContext& ctx, void* dest, uint32_t n) {
  if (!settle_position(ctx)) return 0;
  uint8_t* out = static_cast<uint8_t*>(dest);
  uint32_t left = n;
  while (left > 0) {
    if (ctx.unread_count < 1) {
      int32_t got = load_next_block(ctx);
      if (got == 0) return n - left;
      if (got < 0) {
        message(ctx, "error:  zipfile read error\n");
        return 0;
      }
      ctx.unread_count = got;
    }
    uint32_t take = std::min(left, static_cast<uint32_t>(ctx.unread_count));
    std::memcpy(out, ctx.read_ptr, take);
    out += take;
    ctx.read_ptr += take;
    ctx.unread_count -= static_cast<int32_t>(take);
    left -= take;
  }
  return n;
}

int read_entry_byte_slow(EngineContext& ctx) {
  // The fast path has already lowered the count; a refill resets it.
  if (!refill(ctx)) return INPUT_EOF;
  --ctx.unread_count;
  return *ctx.read_ptr++;
}

bool refill_entry_input(EngineContext& ctx) {
  if (ctx.unread_count > 0) return true;
  return refill(ctx);
}

void begin_entry_data(EngineContext& ctx, int64_t compressed) {
  const int64_t start = ctx.buffer_file_position + (ctx.read_ptr - ctx.input_buffer);
  ctx.data_in_buffer = false;
  if (ctx.unread_count < 0) ctx.unread_count = 0;
  ctx.remaining_compressed = compressed;
  set_aside_leftover_input(ctx);
  ctx.data_next = start + ctx.unread_count;
  ctx.data_end = start + compressed;
}

void begin_entry_data_at(EngineContext& ctx, int64_t start, int64_t compressed, const uint8_t* prefix,
                         int32_t prefix_length) {
  ctx.data_in_buffer = true;  // not the input buffer: nothing there is ours
  ctx.leftover_count = 0;
  ctx.read_ptr = const_cast<uint8_t*>(prefix);  // read only: only decryption writes, and it is not used here
  ctx.unread_count = prefix_length;
  ctx.remaining_compressed = compressed - prefix_length;
  ctx.data_next = start + prefix_length;
  ctx.data_end = start + compressed;
}

bool align_entry_data(EngineContext& ctx) {
  if (ctx.input_encrypted || ctx.memory_input || ctx.data_in_buffer || ctx.remaining_compressed <= 0) return false;
  if (ctx.unread_count > 0) {
    ctx.data_next -= ctx.unread_count;
    ctx.remaining_compressed += ctx.unread_count;
    ctx.unread_count = 0;
  }
  return true;
}

void restore_deferred_input(EngineContext& ctx) {
  if (ctx.unread_count > 0) ctx.remaining_compressed += ctx.unread_count;
  // Whatever the decoder left unread lies right before the end of the data;
  // a decoder that read past its data leaves a negative count, and input
  // then simply continues after it.
  const int64_t r = std::max<int64_t>(ctx.remaining_compressed, 0);
  if (!ctx.data_in_buffer) {
    if (ctx.leftover_count > 0) {
      ctx.unread_count = ctx.leftover_count + static_cast<int32_t>(r);
      ctx.read_ptr = ctx.leftover_ptr - r;
      ctx.leftover_count = 0;
    } else if (ctx.unread_count < 0) {
      ctx.unread_count = 0;
    }
    return;
  }
  // The data went on past the input buffer, whose block is still there: the
  // next block read starts after the data, from that block when it holds
  // the place.
  ctx.data_in_buffer = false;
  ctx.leftover_count = 0;
  const int64_t next = ctx.data_end - r;
  const int64_t in_block = next - ctx.buffer_file_position;
  if (in_block >= 0 && in_block < ctx.buffer_length && !ctx.buffer_decrypted) {
    ctx.pending_position = -1;
    ctx.read_ptr = ctx.input_buffer + in_block;
    ctx.unread_count = ctx.buffer_length - static_cast<int32_t>(in_block);
  } else {
    ctx.pending_position = next;
    ctx.read_ptr = ctx.input_buffer;
    ctx.unread_count = 0;
  }
}
