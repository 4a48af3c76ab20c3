// Portable. The walk over the central directory that extracts or tests the
// selected entries: entries are read in blocks of up to 64, then each entry
// of the block is visited through its local header. Going back to the
// central directory only once per block keeps long seeks few.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "archive_run.h"
#include "central_directory.h"
#include "decode_ahead.h"
#include "entry_extents.h"
#include "entry_extract.h"
#include "file_metadata.h"
#include "input.h"
#include "mapname.h"
#include "messages.h"
#include "name_match.h"
#include "output.h"
#include "traditional_crypt.h"
#include "written_names.h"
#include "zip64.h"

namespace {

const char* const METHOD_NAMES[11] = {"store",  "shrink",   "reduce",  "reduce",    "reduce",     "reduce",
                                      "implode", "tokenize", "deflate", "deflate64", "DCL implode"};

// Counters and flags of one walk over an archive's central directory.
struct walk_state {
  int result = RC_OK;
  uint64_t entries_read = 0;  // compared with the end record's total (entry_count_reached)
  uint32_t block_number = 0;
  uint32_t entry_number = 0;  // selected entries visited, from 1
  uint32_t unsupported = 0;
  uint32_t bad_password = 0;
  std::vector<uint8_t> include_matched, exclude_matched;
  bool have_match_flags = false;
  bool backslash_warned = false;
  bool no_end_signature = false;
  int64_t preceding_aside = 0;  // a preceding-bytes count set aside by re-compensation
  bool preceding_set_aside = false;
  entry_extents extents;         // where every entry's local header lies
  written_names written;         // output names given to files of this archive
};

std::string shown_name(const EngineContext& ctx) { return display_form(ctx.output_name); }

void raise(int& result, int r) { result = std::max(result, r); }

// Answers the VMS question from the process's standard input; no input
// (a windowed program) counts as "no".
bool vms_answer_yes() {
  char answer[10];
  if (!std::fgets(answer, 9, stdin)) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

// Fills the information record of the current central entry and checks
// that the engine can extract it. 1 accepted, 0 refused.
int store_entry_info(EngineContext& ctx) {
  entry_info& info = *ctx.info;
  const central_entry& c = ctx.central;
  info.encrypted = (c.flags & 1) ? 1 : 0;
  info.data_descriptor = (c.flags & 8) ? 1 : 0;
  info.text = (c.internal_attributes & 1) ? 1 : 0;
  info.crc32 = c.crc32;
  info.compressed_size = c.compressed_size;
  info.uncompressed_size = c.uncompressed_size;
  info.text_mode = ctx.text_conversion == 0 ? 0 : ctx.text_conversion == 1 ? info.text : 1;

  const unsigned version = c.needed_version;
  // Version 4.5 is the one of zip64; an entry that needs it for nothing
  // else (a method the engine has, no patch data, no strong encryption) is
  // within reach. Other versions above 2.0 stay refused as they were.
  const bool zip64_only = version == 45 && (c.method == 0 || c.method == 6 || c.method == 8) && !(c.flags & 0x0060);
  if (c.needed_host == 2) {
    if (version > 42) {
      if (ctx.quiet_level == 0)
        message(ctx, "   skipping: %-22s  need %s compat. v%u.%u (can do v%u.%u)\n", shown_name(ctx).c_str(), "VMS",
                version / 10, version % 10, 4u, 2u);
      return 0;
    }
    if (!ctx.test_only && ctx.overwrite_mode != OVERWRITE_ALWAYS) {
      message(ctx, "\n%s:  stored in VMS format.  Extract anyway? (y/n) ", shown_name(ctx).c_str());
      if (!vms_answer_yes()) return 0;
    }
  } else if (version > 20 && !zip64_only) {
    if (ctx.quiet_level == 0)
      message(ctx, "   skipping: %-22s  need %s compat. v%u.%u (can do v%u.%u)\n", shown_name(ctx).c_str(), "PK",
              version / 10, version % 10, 2u, 0u);
    return 0;
  }

  if (c.method != 0 && c.method != 6 && c.method != 8) {
    if (ctx.quiet_level == 0) {
      if (c.method <= 10)
        message(ctx, "   skipping: %-22s  `%s' method not supported\n", shown_name(ctx).c_str(), METHOD_NAMES[c.method]);
      else
        message(ctx, "   skipping: %-22s  unsupported compression method %u\n", shown_name(ctx).c_str(),
                static_cast<unsigned>(c.method));
    }
    return 0;
  }
  map_attributes(ctx);
  info.local_header_offset = c.local_header_offset;
  info.method = c.method;
  info.stored_name_length = c.name_length;
  std::memcpy(info.stored_name, ctx.stored_name, ctx.stored_name_length + 1);
  return 1;
}

// Phase 1: reads up to 64 central entries into ctx.infos. Returns how many
// were accepted; *stop is set when the walk must end after this block.
int read_entry_block(EngineContext& ctx, walk_state& w, bool* stop) {
  int count = 0;
  while (count < ENTRY_BLOCK_SIZE) {
    uint8_t sig[4];
    if (read_block(ctx, sig, 4) != 4) {
      raise(w.result, RC_EARLY_EOF);
      *stop = true;
      return count;
    }
    if (!signature_is(sig, SIG_CENTRAL)) {
      if (entry_count_reached(ctx, w.entries_read)) {
        if (!directory_end_signature(ctx, sig)) w.no_end_signature = true;
      } else {
        message(ctx, "error:  expected central file header signature not found (file #%lu).\n",
                static_cast<unsigned long>(count + ENTRY_BLOCK_SIZE * w.block_number + 1));
        message(ctx, "%s", REPORT_TEXT);
        raise(w.result, RC_SEVERE);
      }
      *stop = true;
      return count;
    }
    ctx.info = &ctx.infos[count];
    if (read_central_entry(ctx) != RC_OK) {
      raise(w.result, RC_EARLY_EOF);
      *stop = true;
      return count;
    }
    int r = read_entry_field(ctx, ctx.central.name_length, entry_field::central_name);
    if (r > RC_WARNING) {
      message(ctx, "%s:  bad filename length (%s)\n", shown_name(ctx).c_str(), "central");
      raise(w.result, r);
      *stop = true;
      return count;
    }
    raise(w.result, r);
    r = read_entry_field(ctx, ctx.central.extra_length, entry_field::extra);
    if (r > RC_WARNING) {
      message(ctx, "%s:  bad extra field length (%s)\n", shown_name(ctx).c_str(), "central");
      raise(w.result, r);
      *stop = true;
      return count;
    }
    raise(w.result, r);
    const zip64_fault wide = widen_central_entry(ctx.central, ctx.extra_field, ctx.extra_field_length, ctx.archive_length);
    r = read_entry_field(ctx, ctx.central.comment_length, entry_field::skip);
    if (r > RC_WARNING) {
      message(ctx, "%s:  bad file comment length\n", shown_name(ctx).c_str());
      raise(w.result, r);
      *stop = true;
      return count;
    }

    bool selected = true;
    if (!ctx.process_all) {
      const bool fold = ctx.ignore_case != 0;
      if (ctx.include_count > 0) {
        selected = false;
        for (int i = 0; i < ctx.include_count; ++i) {
          if (name_matches(ctx.output_name, ctx.include_list[i], fold)) {
            if (w.have_match_flags) w.include_matched[i] = 1;
            selected = true;
            break;
          }
        }
      }
      if (selected) {
        for (int i = 0; i < ctx.exclude_count; ++i) {
          if (name_matches(ctx.output_name, ctx.exclude_list[i], fold)) {
            if (w.have_match_flags) w.exclude_matched[i] = 1;
            selected = false;
            break;
          }
        }
      }
    }
    if (selected && wide != zip64_fault::none) {
      message(ctx, "%s:  %s (%s)\n", shown_name(ctx).c_str(), zip64_fault_text(wide), "central");
      raise(w.result, RC_ERROR);
    } else if (selected) {
      if (store_entry_info(ctx))
        ++count;
      else
        ++w.unsupported;
    }
    ++w.entries_read;
  }
  return count;
}

// Existing target: -1 missing, 0 older than the entry, 1 newer or as old.
int check_for_newer(EngineContext& ctx, const char* name) {
  status_record st;
  if (file_status(ctx, name, st) != 0) return -1;
  unix_times times;
  uint32_t found = ctx.extra_field ? scan_unix_times(ctx.extra_field, ctx.extra_field_length, ctx.local.dos_time, times)
                                   : 0;
  if (found & TIME_MODIFICATION) return st.modification >= times.modification ? 1 : 0;
  // FAT keeps times in two-second steps: round the file's time up to match.
  int64_t existing = (st.modification + 1) & ~static_cast<int64_t>(1);
  return existing >= dos_to_unix_time(ctx.local.dos_time) ? 1 : 0;
}

// The target check before an entry is written to a file. True when the
// entry may be extracted.
bool target_allows(EngineContext& ctx, walk_state& w) {
  int renamed = 0;
  for (int round = 0; round < 1000; ++round) {
    if (ctx.info->host_number == 0 && !std::strchr(ctx.output_name, '/') && std::strchr(ctx.output_name, '\\')) {
      for (char* p = ctx.output_name; *p; ++p)
        if (*p == '\\') *p = '/';
      if (!w.backslash_warned) {
        w.backslash_warned = true;
        message(ctx, "warning:  %s appears to use backslashes as path separators\n",
                display_form(ctx.current_archive).c_str());
        if (w.result == RC_OK) w.result = RC_WARNING;
      }
    }
    int r = mapname(ctx, renamed);
    if (r > RC_WARNING) {
      if (r == MAPNAME_VOLUME_LABEL)
        message(ctx, "   skipping: %-22s  %svolume label\n", shown_name(ctx).c_str(), "");
      else if (r != MAPNAME_DIRECTORY_DONE && r > RC_ERROR)
        raise(w.result, RC_ERROR);
      return false;
    }

    // Two entries of one archive never write the same file: the later one
    // would silently replace what the first put there. (With junk paths the
    // caller asked for names to meet; the overwrite rules then decide.)
    if (!renamed && !ctx.junk_paths) {
      if (!w.written.insert(ctx.output_name)) {
        message(ctx, "file #%u:  %s:  an earlier entry has the same name\n", w.entry_number,
                shown_name(ctx).c_str());
        raise(w.result, RC_ERROR);
        return false;
      }
    }

    // Overwriting always, with neither update nor freshen, extracts whatever
    // is there: looking at the existing file would only cost a stat per entry.
    if (ctx.overwrite_mode == OVERWRITE_ALWAYS && !ctx.update && !ctx.freshen) return true;

    bool ask = false, skip = false;
    int newer = check_for_newer(ctx, ctx.output_name);
    if (newer < 0) {
      if (ctx.freshen && !renamed) return false;  // freshen makes nothing new, silently
    } else if (newer == 0) {
      if (ctx.overwrite_mode == OVERWRITE_NEVER)
        skip = true;
      else if (ctx.overwrite_mode == OVERWRITE_ASK)
        ask = true;
    } else {
      if (ctx.overwrite_mode == OVERWRITE_NEVER || (ctx.update && !renamed))
        skip = true;
      else if (ctx.overwrite_mode == OVERWRITE_ASK)
        ask = true;
    }
    if (ask) {
      int answer = ctx.callbacks->replace ? ctx.callbacks->replace(ctx.output_name) : REPLACE_NONE;
      ctx.output_name[NAME_BUFFER_SIZE - 1] = 0;  // whatever the callback wrote
      if (answer == REPLACE_NO) {
        skip = true;
      } else if (answer == REPLACE_ALL) {
        ctx.overwrite_mode = OVERWRITE_ALWAYS;
      } else if (answer == REPLACE_NONE) {
        ctx.overwrite_mode = OVERWRITE_NEVER;
        skip = true;
      } else if (answer == REPLACE_RENAME) {
        renamed = 1;
        continue;
      }
    }
    if (skip) {
      if (ctx.overwrite_mode != OVERWRITE_NEVER && ctx.update && !renamed)
        message(ctx, "Target file newer.\nSkipping %s\n", shown_name(ctx).c_str());
      else
        message(ctx, "Target file exists.\nSkipping %s\n", shown_name(ctx).c_str());
      return false;
    }
    return true;
  }
  // A callback that renames for ever is stopped.
  message(ctx, "Target file exists.\nSkipping %s\n", shown_name(ctx).c_str());
  return false;
}

// Reads the 4 bytes at the current position and tells whether they are a
// local header signature. -1 when they cannot be read.
int local_signature_here(EngineContext& ctx) {
  uint8_t sig[4];
  if (read_block(ctx, sig, 4) != 4) return -1;
  return signature_is(sig, SIG_LOCAL) ? 1 : 0;
}

// The local header just read (with its name and extra field) against the
// central entry that led to it: the same name, method and sizes, and bytes
// that no other entry uses. False, with a message and an error result, when
// the entry is refused.
bool local_header_agrees(EngineContext& ctx, walk_state& w, const entry_info& info, uint32_t n,
                         bool sizes_differ) {
  const local_header& l = ctx.local;
  const int64_t offset = static_cast<int64_t>(info.local_header_offset);
  // Zip64 sizes beyond the file were refused, so this cannot overflow.
  const int64_t end =
      offset + 4 + LOCAL_HEADER_SIZE + l.name_length + l.extra_length + static_cast<int64_t>(l.compressed_size);
  const char* fault = nullptr;
  switch (check_extent(w.extents, offset, end, ctx.preceding_bytes)) {
    case extent_fault::shared_header: fault = "local header belongs to an earlier entry"; break;
    case extent_fault::overlaps_next: fault = "data overlaps the next entry"; break;
    case extent_fault::overlaps_directory: fault = "data overlaps the central directory"; break;
    case extent_fault::none: break;
  }
  if (!fault) {
    if (l.name_length != info.stored_name_length ||
        std::memcmp(ctx.stored_name, info.stored_name, ctx.stored_name_length) != 0)
      fault = "local header and central directory differ (name)";
    else if (l.method != info.method)
      fault = "local header and central directory differ (method)";
    else if (sizes_differ)
      fault = "local header and central directory differ (sizes)";
  }
  if (!fault) return true;
  message(ctx, "file #%u:  %s:  %s\n", n, shown_name(ctx).c_str(), fault);
  raise(w.result, RC_ERROR);
  return false;
}

enum class visit { next, stop };

// Phase 2 for one entry of the block (steps 1 to 10). Returns stop when the
// walk must end at once with w.result.
visit visit_entry(EngineContext& ctx, walk_state& w, entry_info& info) {
  ctx.info = &info;
  const uint32_t n = ++w.entry_number;
  ctx.input_encrypted = 0;
  const int64_t offset = static_cast<int64_t>(info.local_header_offset);

  int64_t request = offset + ctx.preceding_bytes;
  if (request < 0) {
    message(ctx, "error [%s]:  attempt to seek before beginning of zipfile\n%s",
            display_form(ctx.current_archive).c_str(), REPORT_TEXT);
    raise(w.result, RC_ERROR);
    if (n == 1 && ctx.preceding_bytes != 0) {
      message(ctx, "  (attempting to re-compensate)\n");
      w.preceding_aside = ctx.preceding_bytes;
      w.preceding_set_aside = true;
      ctx.preceding_bytes = 0;
      request = offset;
    } else {
      raise(w.result, RC_SEVERE);
      return visit::next;
    }
  }
  if (request < 0) {
    message(ctx, "error [%s]:  attempt to seek before beginning of zipfile\n%s",
            display_form(ctx.current_archive).c_str(), REPORT_TEXT);
    raise(w.result, RC_SEVERE);
    return visit::next;
  }
  if (seek_archive(ctx, offset) != RC_OK) {
    message(ctx, "file #%u:  bad zipfile offset (%s):  %lld\n", n, "lseek",
            static_cast<long long>(request - request % INPUT_BUFFER_SIZE));
    raise(w.result, RC_SEVERE);
    return visit::next;
  }
  int sig = local_signature_here(ctx);
  if (sig < 0) {
    message(ctx, "file #%u:  bad zipfile offset (%s):  %lld\n", n, "EOF", static_cast<long long>(request));
    raise(w.result, RC_SEVERE);
    return visit::next;
  }
  if (sig == 0) {
    message(ctx, "file #%u:  bad zipfile offset (%s):  %lld\n", n, "local header sig", static_cast<long long>(request));
    raise(w.result, RC_ERROR);
    if (!((n == 1 && ctx.preceding_bytes != 0) || (ctx.preceding_bytes == 0 && w.preceding_set_aside)))
      return visit::next;
    message(ctx, "  (attempting to re-compensate)\n");
    if (ctx.preceding_bytes != 0) {
      w.preceding_aside = ctx.preceding_bytes;
      w.preceding_set_aside = true;
      ctx.preceding_bytes = 0;
    } else {
      ctx.preceding_bytes = w.preceding_aside;
    }
    request = offset + ctx.preceding_bytes;
    int s = seek_archive(ctx, offset);
    if (s != RC_OK) {
      // A failed re-compensation seek ends the walk.
      raise(w.result, s);
      return visit::stop;
    }
    sig = local_signature_here(ctx);
    if (sig < 0) {
      message(ctx, "file #%u:  bad zipfile offset (%s):  %lld\n", n, "EOF", static_cast<long long>(request));
      raise(w.result, RC_SEVERE);
      return visit::next;
    }
    if (sig == 0) {
      message(ctx, "file #%u:  bad zipfile offset (%s):  %lld\n", n, "local header sig", static_cast<long long>(request));
      raise(w.result, RC_SEVERE);
      return visit::next;
    }
  }

  if (read_local_header(ctx) != RC_OK) {
    message(ctx, "file #%lu:  bad local header\n", static_cast<unsigned long>(n));
    raise(w.result, RC_EARLY_EOF);
    return visit::next;
  }
  // A name or extra field that runs past the end of the file ends the
  // entry with the reader's result; the walk goes on with the next one.
  int r = read_entry_field(ctx, ctx.local.name_length, entry_field::local_name);
  if (r > RC_WARNING) {
    message(ctx, "%s:  bad filename length (%s)\n", shown_name(ctx).c_str(), "local");
    raise(w.result, r);
    return visit::next;
  }
  raise(w.result, r);
  r = read_entry_field(ctx, ctx.local.extra_length, entry_field::extra);
  if (r > RC_WARNING) {
    message(ctx, "%s:  bad extra field length (%s)\n", shown_name(ctx).c_str(), "local");
    raise(w.result, r);
    return visit::next;
  }
  raise(w.result, r);
  // Without a data descriptor the local header states the sizes itself
  // (widened by its zip64 block); they must be the directory's, as the data
  // is read by the local header's. With one, the directory's are used.
  if (ctx.local.flags & 8) {
    ctx.local.crc32 = info.crc32;
    ctx.local.compressed_size = info.compressed_size;
    ctx.local.uncompressed_size = info.uncompressed_size;
  } else if (zip64_fault wide = widen_local_header(ctx.local, ctx.extra_field, ctx.extra_field_length,
                                                   ctx.archive_length);
             wide != zip64_fault::none) {
    message(ctx, "%s:  %s (%s)\n", shown_name(ctx).c_str(), zip64_fault_text(wide), "local");
    raise(w.result, RC_ERROR);
    return visit::next;
  }
  const bool sizes_differ = ctx.local.compressed_size != info.compressed_size ||
                            ctx.local.uncompressed_size != info.uncompressed_size;
  if (!local_header_agrees(ctx, w, info, n, sizes_differ)) return visit::next;

  // From here the byte reader stops at the end of the entry's data.
  begin_entry_data(ctx, static_cast<int64_t>(ctx.local.compressed_size));

  if (info.encrypted) {
    r = decrypt_entry_header(ctx);
    ctx.buffer_decrypted = 1;
    if (r == 1) {
      if (ctx.quiet_level == 0) message(ctx, "   skipping: %-22s  incorrect password\n", shown_name(ctx).c_str());
      ++w.bad_password;
      return visit::next;
    }
    if (r != 0) {
      raise(w.result, r);
      message(ctx, "   skipping: %-22s  unable to get password\n", shown_name(ctx).c_str());
      return visit::next;
    }
  }

  if (!ctx.test_only && !ctx.data_to_print) {
    if (!target_allows(ctx, w)) return visit::next;
  }

  if (ctx.progress_hook(ctx, PROGRESS_START, ctx.current_archive, ctx.output_name, nullptr)) {
    w.result = RC_CANCELLED;
    return visit::stop;
  }
  ctx.output.disk_full = 0;
  r = extract_or_test_entry(ctx);
  if (r) raise(w.result, r);
  if (ctx.output.disk_full == OUTPUT_DISK_FULL || w.result == RC_CANCELLED) return visit::stop;
  // The callback's value has 32 bits; a larger entry reports the most it can.
  uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(ctx.local.uncompressed_size, PLAIN_MAX32));
  if (ctx.progress_hook(ctx, PROGRESS_END, ctx.current_archive, ctx.output_name, &size)) {
    w.result = RC_CANCELLED;
    return visit::stop;
  }
  return visit::next;
}

void report_unmatched(EngineContext& ctx, walk_state& w) {
  if (!w.have_match_flags) return;
  for (int i = 0; i < ctx.include_count; ++i) {
    if (w.include_matched[i]) continue;
    message(ctx, "caution: filename not matched:  %s\n", display_form(ctx.include_list[i]).c_str());
    if (w.result <= RC_WARNING) w.result = RC_NOTHING_FOUND;
  }
  for (int i = 0; i < ctx.exclude_count; ++i) {
    if (w.exclude_matched[i]) continue;
    message(ctx, "caution: excluded filename not matched:  %s\n", display_form(ctx.exclude_list[i]).c_str());
  }
}

void test_summary(EngineContext& ctx, const walk_state& w) {
  const std::string archive = display_form(ctx.current_archive);
  const uint32_t tested = w.entry_number - w.bad_password;
  if (w.result != RC_OK)
    message(ctx, "At least one %serror was detected in %s.\n", w.result == RC_WARNING ? "warning-" : "",
            archive.c_str());
  else if (tested == 0)
    message(ctx, "Caution:  zero files tested in %s.\n", archive.c_str());
  else if (ctx.process_all && w.unsupported == 0 && w.bad_password == 0)
    message(ctx, "No errors detected in compressed data of %s.\n", archive.c_str());
  else
    message(ctx, "No errors detected in %s for the %lu file%s tested.\n", archive.c_str(),
            static_cast<unsigned long>(tested), tested == 1 ? "" : "s");
  if (w.unsupported)
    message(ctx, "%lu file%s skipped because of unsupported compression or encoding.\n",
            static_cast<unsigned long>(w.unsupported), w.unsupported == 1 ? "" : "s");
  if (w.bad_password)
    message(ctx, "%u file%s skipped because of incorrect password.\n", w.bad_password,
            w.bad_password == 1 ? "" : "s");
}

int final_result(const walk_state& w) {
  const int r = w.result;
  if (w.entry_number == 0 && r <= RC_WARNING) return w.unsupported ? RC_ALL_UNSUPPORTED : RC_NOTHING_FOUND;
  if (w.entry_number > 0 && w.bad_password == w.entry_number && r <= RC_WARNING) return RC_ALL_BAD_PASSWORD;
  if (w.unsupported && r <= RC_WARNING) return RC_ALL_UNSUPPORTED;
  if (w.bad_password && r == RC_OK) return RC_WARNING;
  return r;
}

}  // namespace

int extract_or_test_entries(EngineContext& ctx) {
  walk_state w;
  try {
    w.include_matched.assign(static_cast<size_t>(ctx.include_count), 0);
    w.exclude_matched.assign(static_cast<size_t>(ctx.exclude_count), 0);
    w.have_match_flags = true;
  } catch (const std::bad_alloc&) {
    // Without the flags the unmatched-pattern report is simply not made.
    w.have_match_flags = false;
  }
  ctx.decoder.new_archive = true;
  if (int r = map_entry_extents(ctx, w.extents)) return r;
  if (!ctx.test_only && !ctx.data_to_print) w.written.reserve(w.extents.offsets.size());

  // The worker, if any, lives as long as this walk (also when a read error
  // is thrown through it).
  struct ahead_scope {
    EngineContext& ctx;
    decode_ahead_ptr worker;
    ~ahead_scope() {
      worker.reset();
      ctx.ahead = nullptr;
    }
  } ahead{ctx, start_decode_ahead(ctx)};
  ctx.ahead = ahead.worker.get();

  bool stop = false;
  while (!stop) {
    int count = read_entry_block(ctx, w, &stop);
    // Where the central directory continues, to come back after the block.
    const int64_t directory_position = ctx.buffer_file_position + (ctx.read_ptr - ctx.input_buffer);
    if (ctx.ahead) submit_entry_block(*ctx.ahead, ctx, count);
    for (int i = 0; i < count; ++i) {
      if (visit_entry(ctx, w, ctx.infos[i]) == visit::stop) return w.result;
    }
    if (ctx.ahead) finish_entry_block(*ctx.ahead);
    ++w.block_number;
    if (!stop && count > 0) {
      int r = seek_physical(ctx, directory_position);
      if (r != RC_OK) {
        raise(w.result, r);
        break;
      }
    }
  }

  report_deferred_security(ctx);
  report_unmatched(ctx, w);
  if (w.no_end_signature) {
    message(ctx, "\nnote:  didn't find end-of-central-dir signature at end of central dir.\n");
    message(ctx, "%s", REPORT_TEXT);
    if (w.result == RC_OK) w.result = RC_WARNING;
  }
  if (ctx.test_only && ctx.quiet_level < 2) test_summary(ctx, w);
  return final_result(w);
}
