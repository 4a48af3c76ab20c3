// The output side of extraction: the output file is created fresh for each
// entry (an old file or link is removed, never written through), and every
// decoder block passes through flush_output, which keeps the CRC, reports
// progress, converts line ends and writes with one system call per block.
#include "output.h"

#include <string>

#include "context.h"
#include "file_metadata.h"
#include "messages.h"
#include "output_state.h"
#include "platform/file_system.h"

#if __has_include("crc32.h")
#include "crc32.h"
#define OUTPUT_CRC(crc, data, n) crc32_update(crc, data, n)
#else
namespace {
// Bitwise CRC-32 until the table-driven one is in the tree.
uint32_t output_crc(uint32_t crc, const uint8_t* data, uint32_t n) {
  crc = ~crc;
  for (uint32_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}
}  // namespace
#define OUTPUT_CRC(crc, data, n) output_crc(crc, data, n)
#endif

namespace {

int report_disk_error(EngineContext& ctx) {
  message(ctx, "%s:  write error (disk full?).\n", display_form(ctx.output_name).c_str());
  ctx.output.disk_full = OUTPUT_DISK_FULL;
  return RC_DISK_FULL;
}

// Writes a finished block to the file, or hands it to print.
int deliver(EngineContext& ctx, const uint8_t* data, uint32_t n) {
  if (ctx.data_to_print) {
    message_bytes(ctx, data, n);
    return 0;
  }
  if (stream_write(ctx, data, n) < n) return report_disk_error(ctx);
  return 0;
}

uint8_t* conversion_buffer(EngineContext& ctx) {
  if (ctx.output_buffer) return ctx.output_buffer;
  if (!ctx.output.buffer) ctx.output.buffer.reset(new (std::nothrow) uint8_t[OUTPUT_BUFFER_SIZE]);
  return ctx.output.buffer.get();
}

}  // namespace

int open_output_file(EngineContext& ctx) {
  auto& fs = platform::file_system();
  output_state& out = ctx.output;
  out.opened = false;
  const std::string name(ctx.output_name);
  // Creating exclusively costs one call for a new file and never follows a
  // link that may stand at the name. A Unix-host entry's permission bits are
  // given as it is made (less the umask, as a later change would be), which
  // saves a change by name after the close.
  const uint32_t attributes = ctx.info ? ctx.info->file_attributes : 0;
  out.mode_given = (attributes & ENTRY_ATTR_HAS_UNIX_MODE) != 0;
  const uint32_t mode = (attributes >> ENTRY_ATTR_UNIX_SHIFT) & 0777;
  auto create = [&] {
    return out.mode_given ? fs.create_exclusive_with_mode(name, mode, out.file) : fs.create_exclusive(name, out.file);
  };
  platform::Error e = create();
  if (e == platform::Error::already_exists) {
    platform::FileStatus st;
    if (fs.status(name, st) == platform::Error::none && st.kind == platform::FileKind::file &&
        (st.attributes & platform::FILE_ATTR_READONLY))
      fs.set_attributes(name, st.attributes & 0x27 & ~platform::FILE_ATTR_READONLY);
    if (fs.delete_file(name) != platform::Error::none) {
      message(ctx, "error:  cannot delete old %s\n", display_form(ctx.output_name).c_str());
      return 1;
    }
    e = create();
  }
  if (e != platform::Error::none) {
    message(ctx, "error:  cannot create %s\n", display_form(ctx.output_name).c_str());
    return 1;
  }
  out.opened = true;
  return 0;
}

uint32_t stream_write(EngineContext& ctx, const uint8_t* data, uint32_t length) {
  output_state& out = ctx.output;
  if (!out.file.is_open()) {
    if (!ctx.data_to_print) return 0;
    message_bytes(ctx, data, length);
    return length;
  }
  platform::IoResult r = out.file.write(data, length);
  if (r.value < 0) return 0;
  return static_cast<uint32_t>(r.value);
}

namespace {

// Takes a block that lies within the entry's declared size.
int take_block(EngineContext& ctx, const uint8_t* block, uint32_t length) {
  output_state& out = ctx.output;
  if (out.given_crc)
    out.crc = *out.given_crc;
  else if (length > 0)
    out.crc = OUTPUT_CRC(out.crc, block, length);
  if (ctx.progress_hook) {
    uint32_t value = length;
    if (ctx.progress_hook(ctx, PROGRESS_DATA, ctx.current_archive, ctx.output_name, &value))
      return RC_CANCELLED;
  }
  if (ctx.test_only || length == 0) return 0;
  if (out.disk_full) return RC_DISK_FULL;
  if (!ctx.info || !ctx.info->text_mode) return deliver(ctx, block, length);

  uint8_t* buffer = conversion_buffer(ctx);
  if (!buffer) return RC_NO_MEMORY;
  if (out.new_file) {
    out.new_file = false;
    out.last_was_cr = false;
  }
  const uint8_t* p = block;
  const uint8_t* end = block + length;
  // CR at the end of the last block and LF at the start of this one are one line end.
  if (*p == '\n' && out.last_was_cr) ++p;
  out.last_was_cr = false;
  uint8_t* q = buffer;
  while (p < end) {
    // Blocks larger than the decoders' never overrun the buffer either.
    if (q - buffer > static_cast<long>(OUTPUT_BUFFER_SIZE) - 3) {
      int r = deliver(ctx, buffer, static_cast<uint32_t>(q - buffer));
      if (r != 0) return r;
      q = buffer;
    }
    uint8_t c = *p++;
    if (c == '\r') {
      *q++ = '\r';
      *q++ = '\n';
      if (p == end)
        out.last_was_cr = true;
      else if (*p == '\n')
        ++p;
    } else if (c == '\n') {
      *q++ = '\r';
      *q++ = '\n';
    } else {
      *q++ = c;
    }
  }
  if (q == buffer) return 0;
  return deliver(ctx, buffer, static_cast<uint32_t>(q - buffer));
}

}  // namespace

int flush_output(EngineContext& ctx, const uint8_t* block, uint32_t length) {
  output_state& out = ctx.output;
  if (out.blocks_to_skip > 0) {
    --out.blocks_to_skip;
    return 0;
  }
  // An entry never delivers more than it declared: a bomb that claims a
  // small size is stopped at that size, not when the disk is full.
  const uint32_t flushed = length;
  if (length > out.size_left) {
    length = static_cast<uint32_t>(out.size_left);
    out.past_size = true;
  }
  out.size_left -= length;
  int r = out.sink ? out.sink(ctx, block, flushed, length) : take_block(ctx, block, length);
  return r == 0 && out.past_size ? OUTPUT_PAST_SIZE : r;
}
