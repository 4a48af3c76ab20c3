// Portable. The map of local header offsets and the overlap check.
#include "entry_extents.h"

#include <algorithm>
#include <new>

#include "central_directory.h"
#include "context.h"
#include "input.h"
#include "messages.h"

namespace {

int64_t physical_position(const EngineContext& ctx) {
  return ctx.buffer_file_position + (ctx.read_ptr - ctx.input_buffer);
}

bool by_offset(const entry_extents::header& a, const entry_extents::header& b) {
  return a.offset != b.offset ? a.offset < b.offset : a.ordinal < b.ordinal;
}

// Offsets of the central entries from the current position on; stops at
// the first record that is not a complete central entry.
void read_headers(EngineContext& ctx, entry_extents& map) {
  map.directory_start = physical_position(ctx);
  map.directory_end = map.directory_start;
  uint32_t ordinal = 0;
  for (;;) {
    uint8_t b[4 + CENTRAL_ENTRY_SIZE];
    if (read_block(ctx, b, sizeof b) != sizeof b || !signature_is(b, SIG_CENTRAL)) return;
    const uint8_t* f = b + 4;
    map.headers.push_back({static_cast<int64_t>(get32(f + 38)), ordinal++});
    const int64_t fields = int64_t{get16(f + 24)} + get16(f + 26) + get16(f + 28);
    if (skip_archive_bytes(ctx, fields) != RC_OK) return;
    map.directory_end = physical_position(ctx);
  }
}

}  // namespace

int map_entry_extents(EngineContext& ctx, entry_extents& map) {
  map.headers.clear();
  const int64_t start = physical_position(ctx);
  try {
    // The directory's own claim of its size (bounded by the file) saves
    // most regrowing.
    map.headers.reserve(ctx.end.total_entries);
    read_headers(ctx, map);
  } catch (const std::bad_alloc&) {
    map.headers.clear();
    map.headers.shrink_to_fit();
    message(ctx, "error [%s]:  not enough memory to map the entries of the archive\n",
            display_form(ctx.current_archive).c_str());
    seek_physical(ctx, start);
    return RC_NO_MEMORY;
  }
  std::sort(map.headers.begin(), map.headers.end(), by_offset);
  seek_physical(ctx, start);
  return RC_OK;
}

extent_fault check_extent(const entry_extents& map, int64_t offset, uint32_t ordinal, int64_t end,
                          int64_t preceding) {
  const entry_extents::header key{offset, 0};
  auto first = std::lower_bound(map.headers.begin(), map.headers.end(), key, by_offset);
  // The first entry of the directory to name a local header owns it.
  if (first != map.headers.end() && first->offset == offset && first->ordinal != ordinal)
    return extent_fault::shared_header;
  auto next = std::upper_bound(map.headers.begin(), map.headers.end(), entry_extents::header{offset, UINT32_MAX},
                               by_offset);
  if (next != map.headers.end() && end > next->offset) return extent_fault::overlaps_next;
  if (offset + preceding < map.directory_end && end + preceding > map.directory_start)
    return extent_fault::overlaps_directory;
  return extent_fault::none;
}
