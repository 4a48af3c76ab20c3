// Portable. The archive-level run of one engine call: the archive path
// turned into archive files, each located (end record, preceding bytes,
// central directory) and handed to the listing or the extraction walk.
#pragma once

#include <cstdint>

#include "context.h"

// Runs the whole call after the options are in place. The call's result.
int archive_run(EngineContext& ctx);

// Processes one archive file. last_chance is 1 only on the retry with ".zip".
int process_archive(EngineContext& ctx, const char* name, int last_chance);

// Searches backwards from the end of the file, over at most search_length
// bytes, for the end record and reads it. 0, 2 (not found) or 51.
int find_end_record(EngineContext& ctx, int64_t search_length);

// Lists the entries (listing.cpp).
int list_entries(EngineContext& ctx);

// Extracts or tests the selected entries (extract_walk.cpp).
int extract_or_test_entries(EngineContext& ctx);

// "zipengine", or "zipdetail" in info mode: the program word of messages.
const char* program_word(const EngineContext& ctx);
