// Portable. Expansion of an archive path holding wildcards into the paths of
// the matching files, one per call.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/file_system.h"

struct EngineContext;

struct archive_name_expansion {
  bool not_first_call = false;
  bool listing_open = false;         // a directory listing is being walked
  bool directory_copied = false;     // the pattern had a directory part
  std::string directory;             // the directory part, separator included
  std::string file_part;             // the pattern after the directory part
  std::vector<platform::DirectoryEntry> names;  // the listing
  size_t next = 0;                   // next listing entry to look at
  bool matched_any = false;
  std::string current;               // the name handed out last
};

// The next archive path to process for `pattern`, or null when there are no
// more. A pattern without wildcards is returned once, as it is.
const char* next_archive_name(EngineContext& ctx, const char* pattern);
