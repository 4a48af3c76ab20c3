// Portable. Reading the zip64 end record, its locator and the zip64 extra
// block of entries.
#include "zip64.h"

#include "central_directory.h"
#include "input.h"
#include "messages.h"

uint64_t get64(const uint8_t* p) { return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32); }

namespace {

bool plain_record_needs_zip64(const end_record& e) {
  return e.this_disk == PLAIN_MAX16 || e.central_start_disk == PLAIN_MAX16 || e.entries_this_disk == PLAIN_MAX16 ||
         e.total_entries == PLAIN_MAX16 || e.central_size == PLAIN_MAX32 || e.central_offset == PLAIN_MAX32;
}

// Reads the zip64 end record at physical offset `at` into `b` and tells
// whether it is one that ends exactly at the locator.
bool zip64_record_at(EngineContext& ctx, int64_t at, int64_t locator_at, uint8_t (&b)[ZIP64_END_RECORD_SIZE]) {
  if (at < 0 || at + static_cast<int64_t>(ZIP64_END_RECORD_SIZE) > locator_at) return false;
  if (seek_physical(ctx, at) != RC_OK || read_block(ctx, b, ZIP64_END_RECORD_SIZE) != ZIP64_END_RECORD_SIZE)
    return false;
  if (!signature_is(b, SIG_ZIP64_END)) return false;
  // The size field counts the record after itself, extensible data included.
  const uint64_t size = get64(b + 4);
  return size <= static_cast<uint64_t>(locator_at) && static_cast<uint64_t>(at) + 12 + size == static_cast<uint64_t>(locator_at);
}

// Finds the zip64 block of an extra field: its data and length, or nullptr.
const uint8_t* find_zip64_block(const uint8_t* extra, uint32_t length, uint32_t& block_length) {
  uint32_t pos = 0;
  while (extra && length - pos >= 4) {
    const uint16_t id = get16(extra + pos);
    const uint32_t size = get16(extra + pos + 2);
    if (size > length - pos - 4) return nullptr;
    if (id == ZIP64_EXTRA_ID) {
      block_length = size;
      return extra + pos + 4;
    }
    pos += 4 + size;
  }
  return nullptr;
}

// Takes the next 8 bytes of the block for a field at its largest value.
bool take64(const uint8_t* block, uint32_t length, uint32_t& pos, uint64_t& field) {
  if (field != PLAIN_MAX32) return true;
  if (length - pos < 8) return false;
  field = get64(block + pos);
  pos += 8;
  return true;
}

bool beyond(uint64_t value, int64_t archive_length) { return value > static_cast<uint64_t>(archive_length); }

}  // namespace

int read_zip64_end_record(EngineContext& ctx) {
  const int64_t locator_at = ctx.real_end_offset - ZIP64_LOCATOR_SIZE;
  uint8_t loc[ZIP64_LOCATOR_SIZE];
  if (locator_at < 0 || seek_physical(ctx, locator_at) != RC_OK ||
      read_block(ctx, loc, ZIP64_LOCATOR_SIZE) != ZIP64_LOCATOR_SIZE || !signature_is(loc, SIG_ZIP64_LOCATOR))
    return RC_OK;

  const std::string name = display_form(ctx.current_archive);
  // The record normally lies right in front of the locator. The locator's
  // offset counts from the archive's start, which is the record's place in
  // the file only when nothing precedes the archive; it is the fallback
  // for a record followed by extensible data.
  uint8_t b[ZIP64_END_RECORD_SIZE];
  const uint64_t stated = get64(loc + 8);
  bool found = zip64_record_at(ctx, locator_at - ZIP64_END_RECORD_SIZE, locator_at, b);
  int64_t record_at = locator_at - ZIP64_END_RECORD_SIZE;
  if (!found && stated < static_cast<uint64_t>(locator_at)) {
    record_at = static_cast<int64_t>(stated);
    found = zip64_record_at(ctx, record_at, locator_at, b);
  }
  if (!found) {
    // Something that only looks like a locator in front of a plain record
    // that stands on its own is not the archive's business.
    if (!plain_record_needs_zip64(ctx.end)) return RC_OK;
    message(ctx, "error [%s]:  zip64 end-of-central-directory record not found;\n  zipfile corrupt.\n%s",
            name.c_str(), REPORT_TEXT);
    return RC_SEVERE;
  }

  end_record z;
  z.this_disk = get32(b + 16);
  z.central_start_disk = get32(b + 20);
  z.entries_this_disk = get64(b + 24);
  z.total_entries = get64(b + 32);
  z.central_size = get64(b + 40);
  z.central_offset = get64(b + 48);
  z.comment_length = ctx.end.comment_length;
  z.zip64 = true;
  if (beyond(z.central_size, ctx.archive_length) || beyond(z.central_offset, ctx.archive_length)) {
    message(ctx,
            "error [%s]:  zip64 end record claims a central directory of %llu bytes at offset %llu,\n"
            "  more than the file holds (%lld bytes).\n%s",
            name.c_str(), static_cast<unsigned long long>(z.central_size),
            static_cast<unsigned long long>(z.central_offset), static_cast<long long>(ctx.archive_length),
            REPORT_TEXT);
    return RC_SEVERE;
  }
  ctx.end = z;
  ctx.real_end_offset = record_at;
  ctx.expected_end_offset = static_cast<int64_t>(z.central_offset + z.central_size);
  return RC_OK;
}

zip64_fault widen_central_entry(central_entry& entry, const uint8_t* extra, uint32_t extra_length,
                                int64_t archive_length) {
  const bool needs = entry.uncompressed_size == PLAIN_MAX32 || entry.compressed_size == PLAIN_MAX32 ||
                     entry.local_header_offset == PLAIN_MAX32 || entry.disk_start == PLAIN_MAX16;
  if (!needs) return zip64_fault::none;
  uint32_t length = 0;
  const uint8_t* block = find_zip64_block(extra, extra_length, length);
  if (!block) return zip64_fault::none;
  uint32_t pos = 0;
  const uint64_t plain_compressed = entry.compressed_size, plain_offset = entry.local_header_offset;
  if (!take64(block, length, pos, entry.uncompressed_size) || !take64(block, length, pos, entry.compressed_size) ||
      !take64(block, length, pos, entry.local_header_offset))
    return zip64_fault::block_too_short;
  if (entry.disk_start == PLAIN_MAX16) {
    if (length - pos < 4) return zip64_fault::block_too_short;
    entry.disk_start = get32(block + pos);
  }
  if ((plain_compressed == PLAIN_MAX32 && beyond(entry.compressed_size, archive_length)) ||
      (plain_offset == PLAIN_MAX32 && beyond(entry.local_header_offset, archive_length)))
    return zip64_fault::beyond_archive;
  return zip64_fault::none;
}

zip64_fault widen_local_header(local_header& header, const uint8_t* extra, uint32_t extra_length,
                               int64_t archive_length) {
  const bool u_max = header.uncompressed_size == PLAIN_MAX32, c_max = header.compressed_size == PLAIN_MAX32;
  if (!u_max && !c_max) return zip64_fault::none;
  uint32_t length = 0;
  const uint8_t* block = find_zip64_block(extra, extra_length, length);
  if (!block) return zip64_fault::none;
  if (length >= 16) {
    if (u_max) header.uncompressed_size = get64(block);
    if (c_max) header.compressed_size = get64(block + 8);
  } else {
    uint32_t pos = 0;
    if (!take64(block, length, pos, header.uncompressed_size) || !take64(block, length, pos, header.compressed_size))
      return zip64_fault::block_too_short;
  }
  if (c_max && beyond(header.compressed_size, archive_length)) return zip64_fault::beyond_archive;
  return zip64_fault::none;
}

const char* zip64_fault_text(zip64_fault fault) {
  switch (fault) {
    case zip64_fault::block_too_short: return "zip64 extra field too short for its sizes";
    case zip64_fault::beyond_archive: return "zip64 size or offset beyond the end of the file";
    case zip64_fault::none: break;
  }
  return "";
}

bool entry_count_reached(const EngineContext& ctx, uint64_t entries_read) {
  if (ctx.end.zip64) return entries_read == ctx.end.total_entries;
  return (entries_read & 0xFFFF) == ctx.end.total_entries;
}

bool directory_end_signature(const EngineContext& ctx, const uint8_t* sig) {
  return signature_is(sig, ctx.end.zip64 ? SIG_ZIP64_END : SIG_END);
}
