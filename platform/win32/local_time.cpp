// Win32 backend of platform/local_time.h. Conversions use the system's
// time-zone settings (SystemTimeToTzSpecificLocalTime and its inverse), so
// daylight saving is decided per date; the TZ variable, which would steer
// the C runtime's own conversions, is removed at first use.
#include "platform/local_time.h"

#include <stdlib.h>
#include <time.h>

#include "platform/file_time.h"
#include "system_error.h"
#include "windows_fwd.h"

namespace platform {
namespace {

void use_system_zone() {
  static const bool done = [] {
    _putenv("TZ=");
    SetEnvironmentVariableA("TZ", nullptr);
    _tzset();
    return true;
  }();
  (void)done;
}

// Days from 1970-01-01 to the given proleptic Gregorian date (any month
// value; it is brought into 1..12 first).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y += (m - 1) >= 0 ? (m - 1) / 12 : -((12 - m) / 12);
  m = ((m - 1) % 12 + 12) % 12 + 1;
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool to_system_time(int64_t unix_seconds, SYSTEMTIME& st) {
  if (unix_seconds < -11644473600LL) return false;  // before 1601
  FILETIME ft = win32::to_filetime(FileTime{unix_seconds, 0});
  return FileTimeToSystemTime(&ft, &st) != 0;
}

bool from_system_time(const SYSTEMTIME& st, int64_t& unix_seconds) {
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft)) return false;
  unix_seconds = win32::from_filetime(ft).seconds;
  return true;
}

class Win32LocalTime final : public LocalTime {
 public:
  bool to_local(int64_t unix_seconds, BrokenDownTime& out) override {
    use_system_zone();
    SYSTEMTIME utc, local;
    if (!to_system_time(unix_seconds, utc)) return false;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
    int64_t local_seconds;
    if (!from_system_time(local, local_seconds)) return false;
    out.year = local.wYear;
    out.month = local.wMonth;
    out.day = local.wDay;
    out.hour = local.wHour;
    out.minute = local.wMinute;
    out.second = local.wSecond;
    out.day_of_week = local.wDayOfWeek;
    // Daylight saving is in effect when the offset for this date differs
    // from the zone's standard offset.
    TIME_ZONE_INFORMATION tz;
    DWORD kind = GetTimeZoneInformation(&tz);
    int64_t standard_offset = -60LL * (tz.Bias + tz.StandardBias);
    out.dst = kind != TIME_ZONE_ID_INVALID && tz.DaylightDate.wMonth != 0 &&
              (local_seconds - unix_seconds) != standard_offset;
    return true;
  }

  bool from_local(const BrokenDownTime& local, int64_t& unix_seconds) override {
    use_system_zone();
    // Normalise out-of-range fields as mktime does, by counting the wall
    // clock in seconds as if it were UTC.
    int64_t wall = days_from_civil(local.year, local.month, local.day) * 86400 + int64_t(local.hour) * 3600 +
                   int64_t(local.minute) * 60 + local.second;
    SYSTEMTIME lt, utc;
    if (!to_system_time(wall, lt)) return false;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &lt, &utc)) return false;
    return from_system_time(utc, unix_seconds);
  }

  bool file_time_to_local(int64_t utc_ticks, int64_t& local_ticks) override {
    use_system_zone();
    ULARGE_INTEGER u;
    u.QuadPart = static_cast<ULONGLONG>(utc_ticks);
    FILETIME in, out;
    in.dwLowDateTime = u.LowPart;
    in.dwHighDateTime = u.HighPart;
    if (!FileTimeToLocalFileTime(&in, &out)) return false;
    u.LowPart = out.dwLowDateTime;
    u.HighPart = out.dwHighDateTime;
    local_ticks = static_cast<int64_t>(u.QuadPart);
    return true;
  }
};

}  // namespace

template <> LocalTime& native<LocalTime>() {
  static Win32LocalTime instance;
  return instance;
}

}  // namespace platform
