// Portable. Where the entries of an archive lie. One pass over the central
// directory, before any entry is visited, notes every local header offset;
// an entry is then refused when its local header was claimed by an entry
// visited before it, or when its header, name, extra field and data reach
// past the next local header or into the central directory. Entries that
// pass occupy disjoint bytes of the archive, so no compressed byte is
// decoded twice, however the directory points ("overlapped" or "quoted"
// zip bombs). The map costs 8 bytes an entry.
#pragma once

#include <cstdint>
#include <vector>

struct EngineContext;

struct entry_extents {
  std::vector<int64_t> offsets;  // archive offsets of local headers as the directory gives them, sorted
  std::vector<int64_t> shared;   // offsets named by more than one entry, sorted
  std::vector<int64_t> claimed;  // shared offsets an entry has been visited at
  // Physical file offsets of the central directory's first byte and of the
  // first byte after its last entry.
  int64_t directory_start = 0;
  int64_t directory_end = 0;
};

// Reads the central directory from the current input position (its first
// entry) to its end, fills `map`, and goes back to where it started. 0, or
// 4 when the map does not fit in memory (the message has been sent).
int map_entry_extents(EngineContext& ctx, entry_extents& map);

enum class extent_fault {
  none,
  shared_header,       // an entry visited earlier has this local header
  overlaps_next,       // the entry runs past the next local header
  overlaps_directory,  // the entry reaches into the central directory
};

// Checks the entry whose local header is at archive offset `offset` and
// whose bytes (header, name, extra field, data) end before archive offset
// `end`; `preceding` is the count of bytes in front of the archive used to
// reach it. The first entry visited at a shared offset claims it.
extent_fault check_extent(entry_extents& map, int64_t offset, int64_t end, int64_t preceding);
