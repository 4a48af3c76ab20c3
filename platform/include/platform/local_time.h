// Portable. No OS headers.
//
// Conversion between Unix time and local wall-clock time by the system's
// time-zone rules (the TZ variable is removed at first use, so the system
// settings hold on both platforms), daylight saving decided per date.
// Thread-safe.
#pragma once

#include <cstdint>

#include "platform/service.h"

namespace platform {

struct BrokenDownTime {
  int year = 1970;   // e.g. 2024
  int month = 1;     // 1..12
  int day = 1;       // 1..31
  int hour = 0;      // 0..23
  int minute = 0;    // 0..59
  int second = 0;    // 0..60
  int day_of_week = 4;  // 0 Sunday .. 6 Saturday (output only)
  bool dst = false;     // daylight saving in effect (output only)
};

class LocalTime {
 public:
  virtual ~LocalTime() = default;
  // Unix seconds -> local time (localtime_r). False when the system cannot
  // represent it; `out` is valid only on true.
  virtual bool to_local(int64_t unix_seconds, BrokenDownTime& out) = 0;
  // Local time -> Unix seconds (mktime semantics: fields out of range are
  // normalised; day_of_week and dst are ignored, daylight saving is decided
  // for the date). False when the result cannot be represented.
  virtual bool from_local(const BrokenDownTime& local, int64_t& unix_seconds) = 0;
  // FILETIME ticks (UTC) -> local FILETIME ticks with the zone's offset as
  // it is now (FileTimeToLocalFileTime, which ignores the daylight saving of
  // the given date). False on failure.
  virtual bool file_time_to_local(int64_t utc_ticks, int64_t& local_ticks) = 0;
};

inline LocalTime& local_time() { return current<LocalTime>(); }

}  // namespace platform
