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

// Offsets of the central entries from the current position on; stops at
// the first record that is not a complete central entry.
void read_offsets(EngineContext& ctx, entry_extents& map) {
  map.directory_start = physical_position(ctx);
  map.directory_end = map.directory_start;
  for (;;) {
    uint8_t b[4 + CENTRAL_ENTRY_SIZE];
    if (read_block(ctx, b, sizeof b) != sizeof b || !signature_is(b, SIG_CENTRAL)) return;
    const uint8_t* f = b + 4;
    map.offsets.push_back(get32(f + 38));
    const int64_t fields = int64_t{get16(f + 24)} + get16(f + 26) + get16(f + 28);
    if (skip_archive_bytes(ctx, fields) != RC_OK) return;
    map.directory_end = physical_position(ctx);
  }
}

}  // namespace

int map_entry_extents(EngineContext& ctx, entry_extents& map) {
  map = entry_extents{};
  const int64_t start = physical_position(ctx);
  try {
    // The directory's own count (bounded by the file) saves most regrowing.
    map.offsets.reserve(ctx.end.total_entries);
    read_offsets(ctx, map);
    std::sort(map.offsets.begin(), map.offsets.end());
    for (size_t i = 1; i < map.offsets.size(); ++i)
      if (map.offsets[i] == map.offsets[i - 1] && (map.shared.empty() || map.shared.back() != map.offsets[i]))
        map.shared.push_back(map.offsets[i]);
  } catch (const std::bad_alloc&) {
    map = entry_extents{};
    message(ctx, "error [%s]:  not enough memory to map the entries of the archive\n",
            display_form(ctx.current_archive).c_str());
    seek_physical(ctx, start);
    return RC_NO_MEMORY;
  }
  seek_physical(ctx, start);
  return RC_OK;
}

extent_fault check_extent(entry_extents& map, int64_t offset, int64_t end, int64_t preceding) {
  if (std::binary_search(map.shared.begin(), map.shared.end(), offset)) {
    auto at = std::lower_bound(map.claimed.begin(), map.claimed.end(), offset);
    if (at != map.claimed.end() && *at == offset) return extent_fault::shared_header;
    map.claimed.insert(at, offset);
  }
  auto next = std::upper_bound(map.offsets.begin(), map.offsets.end(), offset);
  if (next != map.offsets.end() && end > *next) return extent_fault::overlaps_next;
  if (offset + preceding < map.directory_end && end + preceding > map.directory_start)
    return extent_fault::overlaps_directory;
  return extent_fault::none;
}
