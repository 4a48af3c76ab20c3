// Portable. One entry: open the output, run the decoder its method needs,
// close the output, compare the CRC-32, and say how it went.
#include "entry_extract.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "central_directory.h"
#include "crc32.h"
#include "decode_ahead.h"
#include "decoder_state.h"
#include "explode.h"
#include "file_metadata.h"
#include "inflate.h"
#include "input.h"
#include "messages.h"
#include "output.h"

namespace {

const char* type_label(const EngineContext& ctx, bool with_empty) {
  if (ctx.text_conversion != 1) return "";
  if (with_empty && ctx.local.uncompressed_size == 0) return "[empty] ";
  return ctx.info->text ? "[text]  " : "[binary]";
}

void announce(EngineContext& ctx, const char* verb, const char* label) {
  if (ctx.quiet_level != 0 || ctx.test_only) return;
  message(ctx, "%8sing: %-22s  %s%s", verb, display_form(ctx.output_name).c_str(), label,
          ctx.data_to_print ? "\r\n" : "");
}

void decoder_error(EngineContext& ctx, bool memory, const char* what) {
  const char* kind = memory ? "not enough memory to " : "invalid compressed data to ";
  if (ctx.quiet_level != 0)
    message(ctx, "  error:  %s%s %s\n", kind, what, display_form(ctx.output_name).c_str());
  else
    message(ctx, "\n  error:  %s%s\n", kind, what);
}

// The stored compressed size of the entry's data (without an encryption header).
int64_t stored_data_size(const EngineContext& ctx) {
  int64_t c = static_cast<int64_t>(ctx.local.compressed_size);
  if (ctx.info->encrypted) c -= 12;
  return c;
}

// The entry's data through its decoder, or played back when a worker
// decoded it ahead.
decoded_result decode_data(EngineContext& ctx) {
  decoded_result d;
  if (!play_back_entry(ctx, d)) decode_entry(ctx, d);
  return d;
}

int run_decoder(EngineContext& ctx) {
  switch (ctx.local.method) {
    case 0:
      announce(ctx, "extract", type_label(ctx, true));
      return decode_data(ctx).result;
    case 6: {
      announce(ctx, "explod", type_label(ctx, false));
      const decoded_result d = decode_data(ctx);
      const int r = d.result;
      if (r == 0) return 0;
      if (r == DECODE_WRONG_LENGTH) {
        const int64_t used = d.explode_used, stored = stored_data_size(ctx);
        const bool warning = used <= stored;
        const bool q = ctx.quiet_level != 0;
        std::string name = display_form(ctx.output_name);
        message(ctx, "%s  %s:  %lld bytes required to uncompress to %llu bytes;\n    %s      supposed to require %lld bytes%s%s%s\n",
                q ? "" : "\n", warning ? "warning" : "error", static_cast<long long>(used),
                static_cast<unsigned long long>(ctx.local.uncompressed_size), warning ? "  " : "",
                static_cast<long long>(stored), q ? " [" : "", q ? name.c_str() : "", q ? "]" : ".");
        return warning ? RC_WARNING : RC_ERROR;
      }
      if (r == DECODE_NO_MEMORY) {
        decoder_error(ctx, true, "explode");
        return RC_NO_MEMORY_INFLATE;
      }
      if (r < RC_DISK_FULL) {
        decoder_error(ctx, false, "explode");
        return RC_ERROR;
      }
      return r;
    }
    case 8: {
      announce(ctx, "inflat", type_label(ctx, true));
      const decoded_result d = decode_data(ctx);
      send_tree_message(ctx, d.tree_message);
      const int r = d.result;
      if (r == 0 || r >= RC_DISK_FULL) return r;
      decoder_error(ctx, r == DECODE_NO_MEMORY, "inflate_installer");
      return r == DECODE_NO_MEMORY ? RC_NO_MEMORY_INFLATE : RC_ERROR;
    }
    default:
      return -1;
  }
}

int truncated_block(EngineContext& ctx, uint32_t size, uint32_t offset, bool security) {
  message(ctx, security ? " compressed WinNT security data missing (%d bytes)%s" : " compressed EA data missing (%d bytes)%s",
          static_cast<int>(size) - static_cast<int>(offset + 6), "\n");
  return RC_BLOCK_TRUNCATED;
}

// Tests one compressed block: its data `d` of `size` bytes, the compressed
// part at `offset`.
int test_block(EngineContext& ctx, const uint8_t* d, uint32_t size, uint32_t offset, bool security) {
  if (size <= 3) return truncated_block(ctx, size, offset, security);
  const uint32_t ulen = get32(d);
  if (size < offset + 6) {
    // Not even the method and CRC: nothing can be checked. An empty
    // block is fine, anything else is cut short.
    if (ulen == 0) return RC_OK;
    return truncated_block(ctx, size, offset, security);
  }
  if (ulen != 0 && size <= offset + 6) return truncated_block(ctx, size, offset, security);
  const uint16_t method = get16(d + offset);
  const uint32_t crc = get32(d + offset + 2);
  const uint8_t* data = d + offset + 6;
  const uint32_t clen = size - offset - 6;
  if (method != 0 && method != 8) {
    message(ctx, " unknown compression method for EAs (%u)\n", static_cast<unsigned>(method));
    return method * 256 + 2;
  }
  // The claimed length is checked against what the block can hold before
  // anything is allocated for it.
  if (ulen > block_expansion_limit(method, clen)) {
    if (method == 0) {
      message(ctx, " bad CRC for extended attributes\n");
      return 8 * 256 + 2;
    }
    message(ctx, " invalid compressed data for EAs\n");
    return RC_ERROR;
  }
  std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[ulen ? ulen : 1]);
  if (!out) {
    message(ctx, " out of memory while inflating EAs\n");
    return RC_NO_MEMORY_BLOCK;
  }
  uint32_t produced = ulen;
  if (method == 0) {
    std::memcpy(out.get(), data, ulen);
  } else {
    int r = inflate_to_memory(ctx, data, clen, out.get(), ulen, &produced);
    if (r == DECODE_NO_MEMORY) {
      message(ctx, " out of memory while inflating EAs\n");
      return RC_NO_MEMORY_INFLATE;
    }
    if (r != 0) {
      message(ctx, " invalid compressed data for EAs\n");
      return RC_ERROR;
    }
  }
  if (produced != ulen || crc32_update(0, out.get(), ulen) != crc) {
    message(ctx, " bad CRC for extended attributes\n");
    return 8 * 256 + 2;
  }
  if (security && !validate_security(out.get(), ulen)) {
    message(ctx, " EAs fail security check\n");
    return RC_WARNING;
  }
  return RC_OK;
}

// The entry's data went on past its declared size (decoding was stopped
// there), or ended short of it.
void report_bad_length(EngineContext& ctx, const std::string& name) {
  const output_state& out = ctx.output;
  const unsigned long long declared = ctx.local.uncompressed_size;
  if (ctx.quiet_level != 0) message(ctx, "%-22s ", name.c_str());
  if (out.past_size)
    message(ctx, " bad length: more than the declared %llu bytes\n", declared);
  else
    message(ctx, " bad length %llu  (should be %llu)\n", declared - out.size_left, declared);
}

}  // namespace

int test_extra_field_blocks(EngineContext& ctx, const uint8_t* extra, uint32_t length) {
  int result = RC_OK;
  uint32_t pos = 0;
  while (length - pos >= 4) {
    const uint16_t id = get16(extra + pos);
    const uint32_t size = get16(extra + pos + 2);
    const uint32_t left = length - pos - 4;
    if (size > left) {
      if (ctx.quiet_level != 0) message(ctx, "%-22s ", display_form(ctx.output_name).c_str());
      message(ctx, "bad extra-field entry:\n      EF block length (%u bytes) exceeds remaining EF data (%u bytes)\n",
              size, left);
      return RC_ERROR;
    }
    const uint8_t* d = extra + pos + 4;
    int r = RC_OK;
    switch (id) {
      case 0x0009:
      case 0x4C41:
        r = test_block(ctx, d, size, 4, false);
        break;
      case 0x334D:
        // Stored uncompressed when flagged so and sized exactly.
        if (!(size > 13 && (get16(d + 4) & 4) && size == get32(d) + 14)) r = test_block(ctx, d, size, 14, false);
        break;
      case 0x4453:
        if (size <= 4) {
          r = truncated_block(ctx, size, 5, true);
        } else if (d[4] != 0) {
          message(ctx, " unsupported NTSD EAs version %d\n", d[4]);
          r = RC_WARNING;
        } else {
          r = test_block(ctx, d, size, 5, true);
        }
        break;
      case 0x6542:
        if (!(size > 4 && (d[4] & 1) && size == get32(d) + 5)) r = test_block(ctx, d, size, 5, false);
        break;
      default:
        break;
    }
    result = std::max(result, r);
    pos += 4 + size;
  }
  if (result == RC_OK && ctx.quiet_level == 0) message(ctx, " OK\n");
  return result;
}

int extract_or_test_entry(EngineContext& ctx) {
  output_state& out = ctx.output;
  out.new_file = true;
  out.crc = 0;
  out.size_left = ctx.local.uncompressed_size;
  out.past_size = false;
  const std::string name = display_form(ctx.output_name);

  if (!ctx.test_only) {
    if (!ctx.data_to_print && open_output_file(ctx) != 0) return RC_DISK_FULL;
  } else if (ctx.quiet_level == 0) {
    message(ctx, "%8sing: %-22s  %s%s", "test", name.c_str(), "", "");
  }

  int result = run_decoder(ctx);
  if (result < 0) {
    message(ctx, "%s:  unknown compression method\n", name.c_str());
    if (!ctx.test_only && !ctx.data_to_print) close_output_file(ctx);
    restore_deferred_input(ctx);
    return RC_WARNING;
  }

  int security = 0;
  if (!ctx.test_only && !ctx.data_to_print) security = close_output_file(ctx);
  if (result == OUTPUT_PAST_SIZE) {
    report_bad_length(ctx, name);
    result = RC_ERROR;
  }

  if (ctx.output.disk_full) {
    result = RC_WARNING;
    if (ctx.output.disk_full == OUTPUT_DISK_FULL) {
      message(ctx, "warning:  %s is probably truncated\n", name.c_str());
      result = RC_DISK_FULL;
    }
  }

  if (result < RC_ERROR) {
    if (out.size_left != 0) {
      report_bad_length(ctx, name);
      result = RC_ERROR;
    } else if (ctx.output.crc != ctx.local.crc32) {
      if (ctx.quiet_level != 0) message(ctx, "%-22s ", name.c_str());
      message(ctx, " bad CRC %08lx  (should be %08lx)\n", static_cast<unsigned long>(ctx.output.crc),
              static_cast<unsigned long>(ctx.local.crc32));
      if (ctx.info->encrypted) message(ctx, "    (may instead be incorrect password)\n");
      result = RC_ERROR;
    } else if (ctx.test_only) {
      if (ctx.extra_field && ctx.extra_field_length)
        result = std::max(result, test_extra_field_blocks(ctx, ctx.extra_field, ctx.extra_field_length));
      else if (ctx.quiet_level == 0)
        message(ctx, " OK\n");
    } else if (ctx.quiet_level == 0 && result == RC_OK) {
      message(ctx, "\n");
    }
  }
  restore_deferred_input(ctx);
  return std::max(result, security);
}
