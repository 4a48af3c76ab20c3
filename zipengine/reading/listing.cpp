// Portable. The listing: one list_entry callback per selected entry of the
// central directory, and the totals in the caller's record. No local header
// is read and no entry data touched.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "archive_run.h"
#include "central_directory.h"
#include "file_metadata.h"
#include "input.h"
#include "messages.h"
#include "name_match.h"
#include "platform/local_time.h"
#include "platform/locale_info.h"
#include "ratio.h"
#include "zip64.h"

namespace {

const char* const METHOD_TEXTS[12] = {"Stored",  "Shrunk", "Reduce1", "Reduce2", "Reduce3", "Reduce4",
                                      "Implode", "Token",  "Defl:#",  "Def64#",  "ImplDCL", "Unk:###"};

void method_text(uint16_t method, uint16_t flags, char (&out)[16]) {
  unsigned m = method > 10 ? 11 : method;
  std::snprintf(out, sizeof out, "%s", METHOD_TEXTS[m]);
  if (m == 8 || m == 9) out[5] = "NXFS"[(flags >> 1) & 3];
  if (m == 11) std::snprintf(out, sizeof out, "Unk:%03u", static_cast<unsigned>(method));
}

bool selected(const EngineContext& ctx, const char* name) {
  if (ctx.process_all) return true;
  bool fold = ctx.ignore_case != 0;
  if (ctx.include_count > 0) {
    bool any = false;
    for (int i = 0; i < ctx.include_count && !any; ++i) any = name_matches(name, ctx.include_list[i], fold);
    if (!any) return false;
  }
  for (int i = 0; i < ctx.exclude_count; ++i)
    if (name_matches(name, ctx.exclude_list[i], fold)) return false;
  return true;
}

struct entry_time {
  int month, day, year, hour, minute;
};

// What a 32-bit field can say of a size: all of it, or that it is 4 GiB or more.
uint32_t saturated(uint64_t size) { return static_cast<uint32_t>(std::min<uint64_t>(size, PLAIN_MAX32)); }

entry_time time_of_entry(EngineContext& ctx) {
  unix_times times;
  uint32_t found = ctx.extra_field ? scan_unix_times(ctx.extra_field, ctx.extra_field_length, ctx.central.dos_time, times) : 0;
  platform::BrokenDownTime local;
  if ((found & TIME_MODIFICATION) && platform::local_time().to_local(times.modification, local))
    return {local.month, local.day, local.year % 100, local.hour, local.minute};
  uint32_t t = ctx.central.dos_time;
  return {static_cast<int>((t >> 21) & 0x0F), static_cast<int>((t >> 16) & 0x1F),
          static_cast<int>(((t >> 25) & 0x7F) + 80) % 100, static_cast<int>((t >> 11) & 0x1F),
          static_cast<int>((t >> 5) & 0x3F)};
}

}  // namespace

int list_entries(EngineContext& ctx) {
  const int order = platform::locale_info().date_order();
  // The listing needs one information record; the walk's first serves.
  entry_info& info = ctx.infos[0];
  info = entry_info{};
  ctx.info = &info;
  uint64_t total_c = 0, total_u = 0;
  uint32_t listed = 0;
  int result = RC_OK;
  uint8_t sig[4] = {};
  if (ctx.info_mode && ctx.header_line)
    message(ctx, "Archive:  %s\n\n    Length  Compressed  Ratio  Method   CRC-32    Date      Time   Name\n",
            display_form(ctx.current_archive).c_str());

  for (uint64_t n = 1;; ++n) {
    if (read_block(ctx, sig, 4) != 4) return RC_EARLY_EOF;
    if (!signature_is(sig, SIG_CENTRAL)) {
      if (entry_count_reached(ctx, n - 1)) break;
      message(ctx, "error:  expected central file header signature not found (file #%llu).\n",
              static_cast<unsigned long long>(n));
      message(ctx, "%s", REPORT_TEXT);
      return RC_SEVERE;
    }
    int r = read_central_entry(ctx);
    if (r) return r;
    const central_entry& c = ctx.central;
    r = read_entry_field(ctx, c.name_length, entry_field::central_name);
    if (r > RC_WARNING) return r;
    result = std::max(result, r);
    r = read_entry_field(ctx, c.extra_length, entry_field::extra);
    if (r > RC_WARNING) return r;
    result = std::max(result, r);
    const zip64_fault wide = widen_central_entry(ctx.central, ctx.extra_field, ctx.extra_field_length, ctx.archive_length);

    const bool chosen = selected(ctx, ctx.output_name);
    // An entry whose zip64 sizes cannot be trusted is not listed: its sizes
    // would only mislead a caller's totals.
    if (chosen && wide != zip64_fault::none) {
      message(ctx, "%s:  %s (%s)\n", display_form(ctx.output_name).c_str(), zip64_fault_text(wide), "central");
      result = std::max(result, RC_ERROR);
    }
    if (!chosen || wide != zip64_fault::none) {
      r = read_entry_field(ctx, c.comment_length, entry_field::skip);
      if (r > RC_WARNING) return r;
      result = std::max(result, r);
      continue;
    }

    entry_time t = time_of_entry(ctx);
    int d1 = t.month, d2 = t.day, d3 = t.year;
    if (order == platform::DATE_ORDER_DMY) {
      d1 = t.day;
      d2 = t.month;
    } else if (order == platform::DATE_ORDER_YMD) {
      d1 = t.year;
      d2 = t.month;
      d3 = t.day;
    }
    const bool encrypted = (c.flags & 1) != 0;
    // The 12-byte encryption header is not part of the entry's data; a
    // smaller stored size is damage and counts as nothing.
    uint64_t csize = encrypted ? (c.compressed_size >= 12 ? c.compressed_size - 12 : 0) : c.compressed_size;
    int ratio = ratio_percent(c.uncompressed_size, csize);
    char method[16];
    method_text(c.method, c.flags, method);
    std::string shown = display_form(ctx.output_name);

    if (ctx.info_mode) {
      message(ctx, "%10llu  %10llu  %4d%%  %-7s  %08lx  %02d-%02d-%02d  %02d:%02d  %s%s\n",
              static_cast<unsigned long long>(c.uncompressed_size), static_cast<unsigned long long>(csize), ratio, method,
              static_cast<unsigned long>(c.crc32), d1, d2, d3, t.hour, t.minute, shown.c_str(),
              encrypted ? " (encrypted)" : "");
      uint32_t size = saturated(c.uncompressed_size);
      if (ctx.progress_hook(ctx, PROGRESS_END, ctx.current_archive, ctx.output_name, &size)) return RC_CANCELLED;
    } else if (ctx.callbacks->list_entry64) {
      ctx.callbacks->list_entry64(c.uncompressed_size, csize, ratio, d1, d2, d3, t.hour, t.minute,
                                  info.lower_case ? '^' : ' ', shown.c_str(), method, c.crc32,
                                  encrypted ? 'E' : ' ');
    } else if (ctx.callbacks->list_entry) {
      ctx.callbacks->list_entry(saturated(c.uncompressed_size), saturated(csize), ratio, d1, d2, d3, t.hour,
                                t.minute, info.lower_case ? '^' : ' ', shown.c_str(), method, c.crc32,
                                encrypted ? 'E' : ' ');
    }

    r = read_entry_field(ctx, c.comment_length, ctx.quiet_level == 0 ? entry_field::entry_comment : entry_field::skip);
    if (r > RC_WARNING) return r;
    result = std::max(result, r);
    total_u += c.uncompressed_size;
    total_c += csize;
    ++listed;
  }

  if (ctx.quiet_level < 2) {
    // The 32-bit totals wrap, as they always did; the 64-bit ones do not.
    ctx.callbacks->total_compressed = static_cast<uint32_t>(total_c);
    ctx.callbacks->total_uncompressed = static_cast<uint32_t>(total_u);
    ctx.callbacks->total_compressed64 = total_c;
    ctx.callbacks->total_uncompressed64 = total_u;
    ctx.callbacks->total_ratio = ratio_percent(total_u, total_c);
    ctx.callbacks->entry_count = listed;
  }
  if (ctx.info_mode && ctx.header_line)
    message(ctx, "%10llu  %10llu  %4d%%  %lu file%s\n", static_cast<unsigned long long>(total_u),
            static_cast<unsigned long long>(total_c), ratio_percent(total_u, total_c),
            static_cast<unsigned long>(listed), listed == 1 ? "" : "s");
  if (!directory_end_signature(ctx, sig)) {
    message(ctx, "\nnote:  didn't find end-of-central-dir signature at end of central dir.\n");
    result = std::max(result, RC_WARNING);
  }
  if (listed == 0 && result <= RC_WARNING) result = RC_NOTHING_FOUND;
  return result;
}
