// The three times of an extracted file: from the extended-timestamp or Unix
// extra blocks when present, else the MS-DOS time read as local time; on
// volumes that store local time, corrected so the stored wall-clock time is
// the one the entry meant.
#include <cstdint>

#include "context.h"
#include "file_metadata.h"
#include "platform/file_time.h"
#include "platform/local_time.h"
#include "volume.h"

namespace {

// The smallest MS-DOS date-time, 1980-01-01 00:00: archivers store it for
// files dated before 1980, so only then is a time before 1970 believed.
constexpr uint32_t DOS_EPOCH = 0x00210000;
constexpr int64_t TIME_MAX = 0x7FFFFFFF;
constexpr int64_t UNIX_1980 = 315532800;

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
int32_t read32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

// Days since 1970-01-01 of a proleptic Gregorian date, by the cumulative
// month table.
int64_t days_since_1970(int year, int month, int day) {
  static const int before_month[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  int64_t y = year;
  auto leaps_before = [](int64_t yy) { return (yy - 1) / 4 - (yy - 1) / 100 + (yy - 1) / 400; };
  int64_t days = (y - 1970) * 365 + (leaps_before(y) - leaps_before(1970));
  int m = month < 1 ? 1 : (month > 12 ? 12 : month);
  days += before_month[m - 1];
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (leap && m > 2) days += 1;
  return days + day - 1;
}

int64_t ticks_of(int64_t t) { return t * platform::FILETIME_TICKS_PER_SECOND + platform::FILETIME_UNIX_EPOCH; }

// Seconds since 1970 to FILETIME ticks for the output volume.
int64_t to_file_time(int64_t t, bool local_time_volume) {
  int64_t ticks = ticks_of(t);
  if (!local_time_volume) return ticks;
  // Such a volume stores local wall-clock time, converted with the zone's
  // offset of today; shift the value so that what it stores is the local
  // time of t with the daylight saving of t's own date.
  auto& lt = platform::local_time();
  int64_t wall = t;
  platform::BrokenDownTime bt;
  if (lt.to_local(t, bt))
    wall = days_since_1970(bt.year, bt.month, bt.day) * 86400 + bt.hour * 3600 + bt.minute * 60 + bt.second;
  if (wall < UNIX_1980) wall = UNIX_1980;
  int64_t local_ticks = 0;
  if (!lt.file_time_to_local(ticks, local_ticks)) return ticks;
  return ticks + (ticks_of(wall) - local_ticks);
}

}  // namespace

int64_t dos_to_unix_time(uint32_t dos) {
  platform::BrokenDownTime bt;
  bt.year = static_cast<int>((dos >> 25) & 0x7F) + 1980;
  bt.month = static_cast<int>((dos >> 21) & 0x0F);
  bt.day = static_cast<int>((dos >> 16) & 0x1F);
  bt.hour = static_cast<int>((dos >> 11) & 0x1F);
  bt.minute = static_cast<int>((dos >> 5) & 0x3F);
  bt.second = static_cast<int>((dos & 0x1F) * 2);
  int64_t t = 0;
  if (!platform::local_time().from_local(bt, t) || t > TIME_MAX || t < 0) return TIME_MAX;
  return t;
}

uint32_t scan_unix_times(const uint8_t* extra, uint32_t length, uint32_t dos_datetime, unix_times& out) {
  uint32_t mask = 0;
  bool new_type_seen = false;
  out = unix_times{};
  if (!extra) return 0;
  while (length >= 4) {
    uint16_t tag = read16(extra);
    uint16_t size = read16(extra + 2);
    extra += 4;
    length -= 4;
    if (size > length) break;
    const uint8_t* d = extra;
    switch (tag) {
      case 0x5455: {  // extended timestamp
        mask = 0;
        new_type_seen = true;
        if (size < 1) break;
        uint32_t flags = d[0] & 0x7;
        uint32_t offset = 1;
        bool negative_accepted = false;
        bool rejected = false;
        if (flags & TIME_MODIFICATION) {
          if (size >= 5) {
            int32_t t = read32(d + 1);
            offset = 5;
            if (t < 0 && dos_datetime != DOS_EPOCH)
              rejected = true;
            else
              negative_accepted = t < 0;
            out.modification = t;
          } else {
            flags &= ~TIME_MODIFICATION;
          }
        }
        if (rejected) {
          out = unix_times{};
          break;
        }
        for (uint32_t bit : {TIME_ACCESS, TIME_CREATION}) {
          if (!(flags & bit)) continue;
          if (offset + 4 > size) {
            flags &= ~bit;
            continue;
          }
          int32_t t = read32(d + offset);
          offset += 4;
          if (t < 0 && !negative_accepted) {
            flags &= ~bit;
            continue;
          }
          (bit == TIME_ACCESS ? out.access : out.creation) = t;
        }
        mask = flags;
        break;
      }
      case 0x000D:
      case 0x5855: {  // Unix blocks: access, then modification
        if (new_type_seen || size < 8) break;
        int32_t access = read32(d);
        int32_t modification = read32(d + 4);
        if (modification < 0 && dos_datetime != DOS_EPOCH) break;
        out.modification = modification;
        mask |= TIME_MODIFICATION;
        if (access < 0 && modification >= 0) {
          mask &= ~TIME_ACCESS;
        } else {
          out.access = access;
          mask |= TIME_ACCESS;
        }
        break;
      }
      case 0x7855:  // Unix identifiers: newer than any old Unix block before it
        if (!new_type_seen) {
          mask = 0;
          out = unix_times{};
        }
        new_type_seen = true;
        break;
      default:
        break;
    }
    extra += size;
    length -= size;
  }
  return mask & 0x7;
}

uint32_t entry_file_times(EngineContext& ctx, int64_t& modification, int64_t& access, int64_t& creation) {
  bool local = query_volume(ctx, ctx.output_name).local_time;
  if (ctx.extra_field && ctx.extra_field_length > 0) {
    unix_times t;
    uint32_t mask = scan_unix_times(ctx.extra_field, ctx.extra_field_length, ctx.local.dos_time, t);
    if (mask & TIME_MODIFICATION) {
      modification = to_file_time(t.modification, local);
      if (mask & TIME_ACCESS) access = to_file_time(t.access, local);
      if (mask & TIME_CREATION) creation = to_file_time(t.creation, local);
      return mask;
    }
  }
  int64_t t = dos_to_unix_time(ctx.local.dos_time);
  modification = access = to_file_time(t, local);
  return TIME_MODIFICATION | TIME_ACCESS;
}
