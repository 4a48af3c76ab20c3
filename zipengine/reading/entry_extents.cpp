// Portable. The map of local header offsets and the overlap check.
#include "entry_extents.h"

#include <algorithm>
#include <new>

#include "central_directory.h"
#include "context.h"
#include "input.h"
#include "messages.h"
#include "zip64.h"

namespace {

int64_t physical_position(const EngineContext& ctx) {
  return ctx.buffer_file_position + (ctx.read_ptr - ctx.input_buffer);
}

// Offsets of the central entries from the current position on; stops at
// the first record that is not a complete central entry. An entry whose
// offset is in its zip64 block is left out when the block is unusable: the
// walk refuses that entry before any extent is checked.
void read_offsets(EngineContext& ctx, entry_extents& map) {
  map.directory_start = physical_position(ctx);
  map.directory_end = map.directory_start;
  std::vector<uint8_t> extra;
  for (;;) {
    uint8_t b[4 + CENTRAL_ENTRY_SIZE];
    if (read_block(ctx, b, sizeof b) != sizeof b || !signature_is(b, SIG_CENTRAL)) return;
    central_entry c;
    decode_central_entry(b + 4, c);
    bool usable = true;
    if (c.local_header_offset == PLAIN_MAX32) {
      extra.resize(c.extra_length);
      if (skip_archive_bytes(ctx, c.name_length) != RC_OK ||
          read_block(ctx, extra.data(), c.extra_length) != c.extra_length ||
          skip_archive_bytes(ctx, c.comment_length) != RC_OK)
        return;
      usable = widen_central_entry(c, extra.data(), c.extra_length, ctx.archive_length) == zip64_fault::none;
    } else if (skip_archive_bytes(ctx, int64_t{c.name_length} + c.extra_length + c.comment_length) != RC_OK) {
      return;
    }
    if (usable) map.offsets.push_back(static_cast<int64_t>(c.local_header_offset));
    map.directory_end = physical_position(ctx);
  }
}

}  // namespace

int map_entry_extents(EngineContext& ctx, entry_extents& map) {
  map = entry_extents{};
  const int64_t start = physical_position(ctx);
  try {
    // The directory's own count saves most regrowing; it is trusted only as
    // far as the directory's size can hold that many entries, and only up to
    // a million (a claim does not get memory up front; real entries do).
    map.offsets.reserve(static_cast<size_t>(std::min<uint64_t>(
        {ctx.end.total_entries, ctx.end.central_size / (4 + CENTRAL_ENTRY_SIZE) + 1, uint64_t{1} << 20})));
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
