// Portable. Locating archives and their central directories.
#include "archive_run.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive_names.h"
#include "central_directory.h"
#include "input.h"
#include "mapname.h"
#include "messages.h"
#include "name_match.h"
#include "zip64.h"
#include "platform/executable_mark.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace {

constexpr int64_t END_SEARCH_LENGTH = 66000;
constexpr size_t COMMENT_BUFFER_SIZE = 65537;

// Per-call memory of the ".zip" retry: did some attempt find a file that
// had no end record?
struct run_counts {
  int successes = 0;
  int warnings = 0;
  int failures = 0;
  int missing = 0;
  int directories = 0;
};

void count_result(run_counts& c, int r, bool count_missing) {
  if (r == RC_OK)
    ++c.successes;
  else if (r == RC_WARNING)
    ++c.warnings;
  else if (r == RC_IS_DIRECTORY)
    ++c.directories;
  else if (r == RC_NO_ARCHIVE) {
    if (count_missing) ++c.missing;
  } else
    ++c.failures;
}

// Reads the end record's comment length into the caller's record, and shows
// the comment when asked. 0, or 1 when the comment is cut short.
int read_end_comment(EngineContext& ctx) {
  ctx.callbacks->comment_length = ctx.end.comment_length;
  if (ctx.end.comment_length && ctx.show_comment) {
    if (read_entry_field(ctx, ctx.end.comment_length, entry_field::archive_comment) != RC_OK) {
      message(ctx, "\ncaution:  zipfile comment truncated\n");
      return RC_WARNING;
    }
  }
  return RC_OK;
}

// Scans buf[from] down to buf[0] for the end signature. -1 when absent.
int32_t scan_for_end(const uint8_t* buf, int32_t from) {
  for (int32_t i = from; i >= 0; --i) {
    if (buf[i] == 'P' && signature_is(buf + i, SIG_END)) return i;
  }
  return -1;
}

int32_t read_exact(EngineContext& ctx, int64_t at, int32_t n) {
  if (!ctx.archive_file->seek(at).ok()) return -1;
  platform::IoResult got = ctx.archive_file->read(ctx.input_buffer, static_cast<size_t>(n));
  if (!got.ok()) return -1;
  return static_cast<int32_t>(got.value);
}

struct archive_closer {
  EngineContext& ctx;
  ~archive_closer() {
    if (ctx.archive_file) ctx.archive_file->close();
    ctx.buffer_length = 0;
    ctx.unread_count = 0;
  }
};

}  // namespace

const char* program_word(const EngineContext& ctx) { return ctx.info_mode ? "zipdetail" : "zipengine"; }

int find_end_record(EngineContext& ctx, int64_t search_length) {
  const int64_t B = INPUT_BUFFER_SIZE;
  const int64_t Z = ctx.archive_length;
  uint8_t* buf = ctx.input_buffer;
  int32_t found = -1;
  std::memset(ctx.hold_area, 0, INPUT_HOLD_SIZE);

  if (Z <= B) {
    ctx.buffer_file_position = 0;
    int32_t got = read_exact(ctx, 0, static_cast<int32_t>(Z));
    ctx.buffer_length = std::max(got, 0);
    if (got == Z && Z >= static_cast<int64_t>(END_RECORD_SIZE))
      found = scan_for_end(buf, static_cast<int32_t>(Z - END_RECORD_SIZE));
  } else {
    int64_t T = Z % B;
    ctx.buffer_file_position = Z - T;
    ctx.buffer_length = 0;
    bool failed = false;
    if (T > 18) {
      int32_t got = read_exact(ctx, Z - T, static_cast<int32_t>(T));
      if (got != T) {
        failed = true;
      } else {
        ctx.buffer_length = got;
        if (T >= static_cast<int64_t>(END_RECORD_SIZE))
          found = scan_for_end(buf, static_cast<int32_t>(T - END_RECORD_SIZE));
        std::memcpy(ctx.hold_area, buf, 3);
      }
    }
    int64_t rounds = (search_length - T + B - 1) / B;
    for (int64_t i = 1; !failed && found < 0 && i <= rounds && ctx.buffer_file_position >= B; ++i) {
      ctx.buffer_file_position -= B;
      int32_t got = read_exact(ctx, ctx.buffer_file_position, static_cast<int32_t>(B));
      if (got != B) {
        ctx.buffer_length = 0;
        break;
      }
      ctx.buffer_length = got;
      ctx.buffer_decrypted = 0;
      found = scan_for_end(buf, static_cast<int32_t>(B - 1));
      std::memcpy(ctx.hold_area, buf, 3);
    }
  }

  if (found < 0) {
    ctx.buffer_length = 0;
    if (ctx.quiet_level || ctx.info_mode) message(ctx, "[%s]\n", display_form(ctx.current_archive).c_str());
    message(ctx,
            "  End-of-central-directory signature not found.  Either this file is not\n"
            "  a zipfile, or it constitutes one disk of a multi-part archive.  In the\n"
            "  latter case the central directory and zipfile comment will be found on\n"
            "  the last disk(s) of this archive.\n");
    return RC_ERROR;
  }

  ctx.real_end_offset = ctx.buffer_file_position + found;
  // The file position is now just after the block in the buffer, so the
  // block read continues in the right place.
  if (!ctx.archive_file->seek(ctx.buffer_file_position + ctx.buffer_length).ok()) return RC_EARLY_EOF;
  ctx.read_ptr = buf + found;
  ctx.unread_count = ctx.buffer_length - found;
  uint8_t rec[END_RECORD_SIZE];
  if (read_block(ctx, rec, END_RECORD_SIZE) != END_RECORD_SIZE) return RC_EARLY_EOF;
  end_record& e = ctx.end;
  e.this_disk = get16(rec + 4);
  e.central_start_disk = get16(rec + 6);
  e.entries_this_disk = get16(rec + 8);
  e.total_entries = get16(rec + 10);
  e.central_size = get32(rec + 12);
  e.central_offset = get32(rec + 16);
  e.comment_length = get16(rec + 20);
  ctx.expected_end_offset = static_cast<int64_t>(e.central_offset) + e.central_size;
  return RC_OK;
}

int process_archive(EngineContext& ctx, const char* name, int last_chance) {
  ctx.current_archive = name;
  auto& fs = platform::file_system();
  platform::FileStatus st;
  platform::Error err = fs.status(name, st);
  bool is_directory = err == platform::Error::none && st.kind == platform::FileKind::directory;
  bool missing = err != platform::Error::none || st.kind == platform::FileKind::missing;
  auto not_an_archive = [&](bool is_directory) {
    if (last_chance && ctx.quiet_level < 3) {
      if (ctx.no_end_record_seen)
        message(ctx, "%s:  cannot find zipfile directory in %s,\n        %sand cannot find %s, period.\n",
                program_word(ctx), display_form(ctx.archive_path).c_str(), ctx.info_mode ? "  " : "",
                display_form(name).c_str());
      else
        message(ctx, "%s:  cannot find either %s or %s.\n", program_word(ctx),
                display_form(ctx.archive_path).c_str(), display_form(name).c_str());
    }
    return is_directory ? RC_IS_DIRECTORY : RC_NO_ARCHIVE;
  };
  if (missing || is_directory) return not_an_archive(is_directory);
  bool executable = platform::executable_mark().is_marked_executable(name);

  // Only a regular file is read: a pipe or a device (a link to one
  // included) is refused without being waited for.
  platform::Error opened = fs.open_read(name, *ctx.archive_file);
  if (opened == platform::Error::is_directory) return not_an_archive(true);
  if (opened == platform::Error::not_regular_file) {
    message(ctx, "error:  cannot open zipfile [ %s ]: not a regular file\n", display_form(name).c_str());
    return RC_NO_ARCHIVE;
  }
  if (opened != platform::Error::none) {
    message(ctx, "error:  cannot open zipfile [ %s ]\n", display_form(name).c_str());
    return RC_NO_ARCHIVE;
  }
  archive_closer closer{ctx};
  // A symbolic link's status describes the link; the open file tells the
  // size of what it points to.
  platform::IoResult size = ctx.archive_file->size();
  ctx.archive_length = size.ok() ? size.value : static_cast<int64_t>(st.size);
  ctx.archive_file->seek(0);

  if (ctx.target_root) {
    ctx.create_directories = ctx.freshen ? 0 : 1;
    // A root that cannot be used ends the archive: its entries never land
    // in the current directory instead.
    int r = set_target_root(ctx, ctx.target_root);
    if (r != RC_OK) return r;
  }

  ctx.buffer_file_position = 0;
  ctx.buffer_length = 0;
  ctx.buffer_decrypted = 0;
  ctx.read_ptr = ctx.input_buffer;
  ctx.unread_count = 0;
  ctx.preceding_bytes = 0;
  ctx.leftover_count = 0;

  int r = RC_OK;
  int search = find_end_record(ctx, ctx.info_mode ? ctx.archive_length
                                                  : std::min(ctx.archive_length, END_SEARCH_LENGTH));
  int comment = RC_OK;
  if (search == RC_OK && !ctx.info_mode) comment = read_end_comment(ctx);
  if (search != RC_OK || comment > RC_WARNING) {
    ctx.archive_file->close();
    if (executable) message(ctx, "note:  %s may be a plain executable, not an archive\n", display_form(name).c_str());
    if (last_chance) return search != RC_OK ? search : comment;
    ctx.no_end_record_seen = 1;
    return RC_NO_ARCHIVE;
  }
  r = comment;
  if (ctx.show_comment && !ctx.info_mode) return r;
  if (int z = read_zip64_end_record(ctx)) return z;
  if (ctx.info_mode) {
    // The detailed listing shows the end record before the entries.
    const end_record& e = ctx.end;
    message(ctx,
            "\nEnd-of-central-directory record:\n"
            "  Archive file size:                    %10lld\n"
            "  End record offset (actual):           %10lld%s\n"
            "  End record offset (expected):         %10lld\n"
            "  This disk / central directory disk:   %5u / %u\n"
            "  Entries on this disk / in total:      %5llu / %llu\n"
            "  Central directory size / offset:      %10llu / %llu\n"
            "  Archive comment length:               %10u\n\n",
            static_cast<long long>(ctx.archive_length), static_cast<long long>(ctx.real_end_offset),
            e.zip64 ? " (zip64)" : "", static_cast<long long>(ctx.expected_end_offset), e.this_disk,
            e.central_start_disk, static_cast<unsigned long long>(e.entries_this_disk),
            static_cast<unsigned long long>(e.total_entries), static_cast<unsigned long long>(e.central_size),
            static_cast<unsigned long long>(e.central_offset), e.comment_length);
  }

  const end_record& e = ctx.end;
  if (!ctx.info_mode && e.this_disk != 0) {
    message(ctx,
            "warning [%s]:  zipfile claims to be last disk of a multi-part archive;\n"
            "  attempting to process anyway, assuming all parts have been concatenated\n"
            "  together in order.  Expect \"errors\" and warnings...true multi-part support\n"
            "  doesn't exist yet (coming soon).\n",
            display_form(name).c_str());
    r = RC_WARNING;
  }
  if (ctx.info_mode && e.this_disk != e.central_start_disk) {
    if (e.this_disk > e.central_start_disk) {
      message(ctx,
              "\n   [%s]:\n     Zipfile is disk %u of a multi-disk archive, and this is not the disk on\n"
              "     which the central zipfile directory begins (disk %u).\n",
              display_form(name).c_str(), e.this_disk, e.central_start_disk);
      return RC_NOTHING_FOUND;
    }
    message(ctx,
            "\nwarning [%s]:  end-of-central-directory record claims this\n"
            "  is disk %u but that the central directory starts on disk %u; this is a\n"
            "  contradiction.  Attempting to process anyway.\n",
            display_form(name).c_str(), e.this_disk, e.central_start_disk);
    r = RC_WARNING;
  }

  int64_t central_offset = static_cast<int64_t>(e.central_offset);
  ctx.preceding_bytes = ctx.real_end_offset - ctx.expected_end_offset;
  if (ctx.preceding_bytes < 0) {
    message(ctx, "error [%s]:  missing %lld bytes in zipfile\n  (attempting to process anyway)\n",
            display_form(name).c_str(), static_cast<long long>(-ctx.preceding_bytes));
    r = RC_ERROR;
  } else if (ctx.preceding_bytes > 0 && central_offset == 0 && e.central_size != 0) {
    message(ctx, "error [%s]:  NULL central directory offset\n  (attempting to process anyway)\n",
            display_form(name).c_str());
    central_offset = ctx.preceding_bytes;
    ctx.preceding_bytes = 0;
    r = RC_ERROR;
  } else if (ctx.preceding_bytes > 0) {
    message(ctx, "warning [%s]:  %lld extra byte%s at beginning or within zipfile\n  (attempting to process anyway)\n",
            display_form(name).c_str(), static_cast<long long>(ctx.preceding_bytes),
            ctx.preceding_bytes == 1 ? "" : "s");
    r = RC_WARNING;
  }

  if (ctx.expected_end_offset == 0 && e.central_size == 0) {
    if (ctx.info_mode)
      message(ctx, "%sEmpty zipfile.\n", ctx.detail_level > 9 ? "\n  " : "");
    else
      message(ctx, "warning [%s]:  zipfile is empty\n", display_form(name).c_str());
    return r > RC_WARNING ? r : RC_WARNING;
  }

  auto central_signature_at = [&](int64_t offset) {
    uint8_t sig[4];
    if (seek_archive(ctx, offset) != RC_OK) return false;
    return read_block(ctx, sig, 4) == 4 && signature_is(sig, SIG_CENTRAL);
  };
  if (!central_signature_at(central_offset)) {
    int64_t measured = ctx.preceding_bytes;
    ctx.preceding_bytes = 0;
    if (!central_signature_at(central_offset)) {
      message(ctx, "error [%s]:  start of central directory not found;\n  zipfile corrupt.\n%s",
              display_form(name).c_str(), REPORT_TEXT);
      return RC_SEVERE;
    }
    message(ctx,
            "error [%s]:  reported length of central directory is\n"
            "  %lld bytes too long (Atari STZip zipfile?  Pellow ZIPSPLIT 1.1\n"
            "  zipfile?).  Compensating...\n",
            display_form(name).c_str(), static_cast<long long>(-measured));
    r = RC_ERROR;
  }

  int s = seek_archive(ctx, central_offset);
  if (s != RC_OK) return std::max(r, s);
  int walk;
  if (ctx.info_mode || (ctx.list && !ctx.test_only && !ctx.data_to_print))
    walk = list_entries(ctx);
  else
    walk = extract_or_test_entries(ctx);
  return std::max(r, walk);
}

int archive_run(EngineContext& ctx) {
  ctx.input_buffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE + INPUT_HOLD_SIZE));
  ctx.output_buffer = static_cast<uint8_t*>(std::malloc(COMMENT_BUFFER_SIZE));
  if (!ctx.input_buffer || !ctx.output_buffer) {
    message(ctx, "error:  cannot allocate unzip buffers\n");
    return RC_NO_MEMORY;
  }
  ctx.hold_area = ctx.input_buffer + INPUT_BUFFER_SIZE;
  ctx.overwrite_mode = ctx.overwrite_always ? OVERWRITE_ALWAYS : OVERWRITE_ASK;

  // Without the name buffer the archive name stays empty.
  const char* pattern = ctx.archive_name ? ctx.archive_name : "";
  const bool wild = has_wildcards(pattern);
  run_counts c;
  int largest = RC_OK;
  int last = RC_OK;
  int yielded = 0;
  std::string last_name;
  while (const char* name = next_archive_name(ctx, pattern)) {
    ++yielded;
    last_name = name;
    if (ctx.quiet_level == 0 && last != RC_NO_ARCHIVE && last != RC_IS_DIRECTORY &&
        c.successes + c.warnings + c.failures + c.missing > 0)
      message(ctx, "\n");
    last = process_archive(ctx, last_name.c_str(), 0);
    count_result(c, last, true);
    if (last != RC_IS_DIRECTORY) largest = std::max(largest, last);
    if (last == RC_CANCELLED) return RC_CANCELLED;
  }

  if (c.successes + c.warnings + c.failures == 0 && c.missing + c.directories == 1 && yielded > 0) {
    c.missing = 0;
    c.directories = 0;
    if (largest == RC_NO_ARCHIVE) largest = RC_OK;
    if (wild) {
      message(ctx, "%s:  cannot find any matches for wildcard specification \"%s\".\n", program_word(ctx),
              display_form(ctx.archive_path).c_str());
    } else if (last_name.size() + 4 >= static_cast<size_t>(NAME_BUFFER_SIZE)) {
      // The retry name would not fit the name buffer: no retry.
      if (ctx.quiet_level < 3)
        message(ctx, "%s:  cannot find %s (and no room to try it with \".zip\").\n", program_word(ctx),
                display_form(last_name.c_str()).c_str());
      largest = std::max(largest, last == RC_IS_DIRECTORY ? RC_IS_DIRECTORY : RC_NO_ARCHIVE);
    } else {
      std::string retry = last_name + ".zip";
      int r = process_archive(ctx, retry.c_str(), 1);
      count_result(c, r, false);
      largest = std::max(largest, r);
      if (r == RC_CANCELLED) return RC_CANCELLED;
    }
  }

  if (wild && ctx.quiet_level < 3) {
    if (!(ctx.test_only && ctx.quiet_level > 1) &&
        (c.warnings + c.failures + c.missing > 0 || c.successes != 1))
      message(ctx, "\n");
    if (c.successes > 1 || (c.successes == 1 && c.warnings + c.failures + c.missing + c.directories > 0))
      message(ctx, "%d archive%s successfully processed.\n", c.successes, c.successes == 1 ? " was" : "s were");
    if (c.warnings > 0)
      message(ctx, "%d archive%s had warnings but no fatal errors.\n", c.warnings, c.warnings == 1 ? "" : "s");
    if (c.failures > 0)
      message(ctx, "%d archive%s had fatal errors.\n", c.failures, c.failures == 1 ? "" : "s");
    if (c.missing > 0)
      message(ctx, "%d file%s had no zipfile directory.\n", c.missing, c.missing == 1 ? "" : "s");
    if (c.directories == 1) message(ctx, "1 \"zipfile\" was a directory.\n");
    if (c.directories > 1) message(ctx, "%d \"zipfiles\" were directories.\n", c.directories);
    if (c.successes + c.warnings + c.failures == 0) message(ctx, "No zipfiles found.\n");
  }
  return largest;
}
