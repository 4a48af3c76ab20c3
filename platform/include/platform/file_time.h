// Portable. No OS headers.
//
// Points in time of files: seconds since 1970-01-01 00:00:00 UTC with an
// optional sub-second part, and the conversion to and from the Windows
// FILETIME count (100-nanosecond ticks since 1601-01-01 UTC) that archive
// extra fields and the Win32 calls use.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

struct FileTime {
  int64_t seconds = 0;       // since 1970-01-01 00:00:00 UTC; negative before
  uint32_t nanoseconds = 0;  // 0..999,999,999, added to seconds
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// The three times of a file. For setting, an absent time is left unchanged.
struct FileTimes {
  std::optional<FileTime> modification;
  std::optional<FileTime> access;
  std::optional<FileTime> creation;
};

// FILETIME of 1970-01-01 00:00:00 UTC.
inline constexpr int64_t FILETIME_UNIX_EPOCH = 116444736000000000LL;
inline constexpr int64_t FILETIME_TICKS_PER_SECOND = 10000000LL;

// FILETIME ticks (as a signed count; values below the 1970 origin are
// negative seconds) to a FileTime. Rounds toward minus infinity so the
// nanoseconds stay in range.
inline FileTime file_time_from_ticks(int64_t ticks) {
  int64_t rel = ticks - FILETIME_UNIX_EPOCH;
  int64_t s = rel / FILETIME_TICKS_PER_SECOND;
  int64_t r = rel % FILETIME_TICKS_PER_SECOND;
  if (r < 0) {
    r += FILETIME_TICKS_PER_SECOND;
    s -= 1;
  }
  return FileTime{s, static_cast<uint32_t>(r * 100)};
}

// The FILETIME tick count of a FileTime (sub-100 ns parts are dropped).
inline int64_t file_time_to_ticks(const FileTime& t) {
  return t.seconds * FILETIME_TICKS_PER_SECOND + FILETIME_UNIX_EPOCH + t.nanoseconds / 100;
}

}  // namespace platform
