// Portable. Decoding of central-directory entries and local headers, and the
// name / extra field / comment fields that follow them.
#include "central_directory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input.h"
#include "messages.h"
#include "platform/code_page.h"

bool signature_is(const uint8_t* bytes, const uint8_t (&sig)[4]) { return std::memcmp(bytes, sig, 4) == 0; }

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

void decode_central_entry(const uint8_t* b, central_entry& c) {
  c.made_by_version = b[0];
  c.made_by_host = b[1];
  c.needed_version = b[2];
  c.needed_host = b[3];
  c.flags = get16(b + 4);
  c.method = get16(b + 6);
  c.dos_time = get32(b + 8);
  c.crc32 = get32(b + 12);
  c.compressed_size = get32(b + 16);
  c.uncompressed_size = get32(b + 20);
  c.name_length = get16(b + 24);
  c.extra_length = get16(b + 26);
  c.comment_length = get16(b + 28);
  c.disk_start = get16(b + 30);
  c.internal_attributes = get16(b + 32);
  c.external_attributes = get32(b + 34);
  c.local_header_offset = get32(b + 38);
}

int read_central_entry(EngineContext& ctx) {
  uint8_t b[CENTRAL_ENTRY_SIZE];
  if (read_block(ctx, b, CENTRAL_ENTRY_SIZE) != CENTRAL_ENTRY_SIZE) return RC_EARLY_EOF;
  central_entry& c = ctx.central;
  decode_central_entry(b, c);

  entry_info& info = *ctx.info;
  info.host_version = c.made_by_version;
  info.host_number = std::min<uint8_t>(c.made_by_host, 19);
  info.lower_case = 0;
  uint8_t h = info.host_number;
  info.volume_label = ((c.external_attributes & 8) && (h == 0 || h == 5 || h == 6 || h == 11)) ? 1 : 0;
  info.high_attributes = (c.external_attributes >> 16) != 0 ? 1 : 0;
  info.utf8 = (c.flags & 0x0800) ? 1 : 0;
  return RC_OK;
}

int read_local_header(EngineContext& ctx) {
  uint8_t b[LOCAL_HEADER_SIZE];
  if (read_block(ctx, b, LOCAL_HEADER_SIZE) != LOCAL_HEADER_SIZE) return RC_EARLY_EOF;
  decode_local_header(b, ctx.local);
  return RC_OK;
}

void decode_local_header(const uint8_t* b, local_header& l) {
  l.needed_version = b[0];
  l.needed_host = b[1];
  l.flags = get16(b + 2);
  l.method = get16(b + 4);
  l.dos_time = get32(b + 6);
  l.crc32 = get32(b + 10);
  l.compressed_size = get32(b + 14);
  l.uncompressed_size = get32(b + 18);
  l.name_length = get16(b + 22);
  l.extra_length = get16(b + 24);
}

bool stored_in_oem(const entry_info& info, bool central) {
  // Names flagged as UTF-8 (bit 11, written by newer tools on every host)
  // were never in the OEM code page; converting them would garble them.
  if (info.utf8) return false;
  uint8_t h = info.host_number, v = info.host_version;
  if (h == 0) return v < 25 || v > 26 || (central && !info.high_attributes);
  return h == 6 || (h == 11 && v == 50);
}

namespace {

// Names and comments go on in UTF-8, the text the output side carries:
// from OEM when the rule says so, as stored when flagged UTF-8, and from
// the ANSI code page otherwise (POSIX: as stored, ANSI is UTF-8 there).
std::string text_form(const std::string& stored, const entry_info& info, bool central) {
  platform::CodePage& cp = platform::code_page();
  if (stored_in_oem(info, central)) return cp.oem_to_utf8_string(stored);
  return info.utf8 ? stored : cp.ansi_to_utf8(stored);
}

void convert_to_utf8(char* text, size_t capacity, const entry_info& info, bool central) {
  std::string converted = text_form(text, info, central);
  // Cut before a character that does not fit whole.
  size_t n = std::min(converted.size(), capacity - 1);
  while (n > 0 && n < converted.size() && (static_cast<unsigned char>(converted[n]) & 0xC0) == 0x80) --n;
  std::memcpy(text, converted.data(), n);
  text[n] = 0;
}

int read_name(EngineContext& ctx, uint32_t n, bool central) {
  char* name = ctx.output_name;
  uint32_t dropped = 0;
  if (n >= NAME_BUFFER_SIZE) {
    message(ctx, "warning:  filename too long--truncating.\n");
    dropped = n - (NAME_BUFFER_SIZE - 1);
    n = NAME_BUFFER_SIZE - 1;
  }
  if (read_block(ctx, name, n) != n) {
    name[0] = 0;
    ctx.stored_name_length = 0;
    return RC_EARLY_EOF;
  }
  name[n] = 0;
  std::memcpy(ctx.stored_name, name, n + 1);
  ctx.stored_name_length = n;
  // A NUL inside the stored name would hide the rest of it from every later
  // step; the name ends there, as it would for any C text.
  convert_to_utf8(name, NAME_BUFFER_SIZE, *ctx.info, central);
  if (ctx.info->lower_case) {
    auto& cp = platform::code_page();
    for (unsigned char* p = reinterpret_cast<unsigned char*>(name); *p; ++p) {
      if (cp.is_lead_byte(*p) && p[1]) {
        ++p;
        continue;
      }
      if (*p >= 'A' && *p <= 'Z') *p = static_cast<unsigned char>(*p + 32);
    }
  }
  if (ctx.info->volume_label && std::strlen(name) > 8 && name[8] == '.') {
    std::memmove(name + 8, name + 9, std::strlen(name + 9) + 1);
  }
  if (dropped) {
    message(ctx, "[ %s ]\n", display_form(name).c_str());
    int r = skip_archive_bytes(ctx, dropped);
    return r ? r : RC_WARNING;
  }
  return RC_OK;
}

int read_extra(EngineContext& ctx, uint32_t n) {
  std::free(ctx.extra_field);
  ctx.extra_field = nullptr;
  ctx.extra_field_length = 0;
  if (n == 0) return RC_OK;
  ctx.extra_field = static_cast<uint8_t*>(std::malloc(n));
  if (!ctx.extra_field) {
    message(ctx, "warning:  extra field too long (%d).  Ignoring...\n", static_cast<int>(n));
    int r = skip_archive_bytes(ctx, n);
    return r ? r : RC_WARNING;
  }
  if (read_block(ctx, ctx.extra_field, n) != n) {
    std::free(ctx.extra_field);
    ctx.extra_field = nullptr;
    return RC_EARLY_EOF;
  }
  ctx.extra_field_length = static_cast<uint16_t>(n);
  return RC_OK;
}

// Shows a comment block by block through the comment buffer, carriage
// returns removed.
int show_comment_text(EngineContext& ctx, uint32_t n, bool entry) {
  const uint32_t block_max = 65536;
  uint8_t* buf = ctx.output_buffer;
  while (n > 0) {
    uint32_t take = std::min(n, block_max);
    if (read_block(ctx, buf, take) != take) return RC_EARLY_EOF;
    n -= take;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < take; ++i)
      if (buf[i] != '\r') buf[kept++] = buf[i];
    buf[kept] = 0;
    if (entry) {
      // A NUL inside the comment ends the shown text.
      std::string text(reinterpret_cast<char*>(buf));
      text = text_form(text, *ctx.info, true);
      text = display_form(text.c_str());
      message_bytes(ctx, text.data(), static_cast<uint32_t>(text.size()));
    } else {
      message_bytes(ctx, buf, kept);
    }
    message_bytes(ctx, "\n\n", 2);
  }
  message_bytes(ctx, "", 0);
  return RC_OK;
}

}  // namespace

int read_entry_field(EngineContext& ctx, uint32_t n, entry_field what) {
  switch (what) {
    case entry_field::central_name:
    case entry_field::local_name:
      if (n == 0) {
        ctx.output_name[0] = 0;
        ctx.stored_name_length = 0;
        return RC_OK;
      }
      return read_name(ctx, n, what == entry_field::central_name);
    case entry_field::extra:
      return read_extra(ctx, n);
    default:
      break;
  }
  if (n == 0) return RC_OK;
  if (what == entry_field::skip) return skip_archive_bytes(ctx, n);
  return show_comment_text(ctx, n, what == entry_field::entry_comment);
}
