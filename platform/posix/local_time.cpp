// POSIX backend of platform/local_time.h. The TZ variable is removed once,
// before the first conversion, so the system's zone holds (an empty TZ would
// mean UTC here, unlike on Windows).
//
// Local time to Unix time avoids mktime where it can: with TZ unset, glibc's
// mktime looks at /etc/localtime again on every call (a status query per
// extracted file), while localtime_r keeps the zone it has loaded. Where
// the zone's offset is the same a day before and after, the local time has
// exactly one answer, which localtime_r confirms; anywhere near a change of
// offset (a gap or a repeated hour) mktime decides, as before.
#include "platform/local_time.h"

#include <stdlib.h>
#include <time.h>

#include <limits>

namespace platform {
namespace {

void use_system_zone() {
  static const bool done = [] {
    ::unsetenv("TZ");
    ::tzset();
    return true;
  }();
  (void)done;
}

// Days from 1970-01-01 to a proleptic Gregorian date (month 1..12).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The fields read as UTC, out-of-range values carried over as mktime
// carries them (months into years, the rest by plain arithmetic).
int64_t seconds_as_utc(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second) {
  int64_t m0 = month - 1;
  int64_t carry = m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
  m0 -= carry * 12;
  return (days_from_civil(year + carry, m0 + 1, 1) + day - 1) * 86400 + hour * 3600 + minute * 60 + second;
}

bool offset_at(int64_t t, long& offset, int64_t* as_utc = nullptr) {
  time_t tt = static_cast<time_t>(t);
  struct tm tm {};
  if (!::localtime_r(&tt, &tm)) return false;
  offset = tm.tm_gmtoff;
  if (as_utc)
    *as_utc = seconds_as_utc(tm.tm_year + 1900LL, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return true;
}

// The one Unix time whose local time is `wall` (fields read as UTC), when
// the offset stays put for a day either side. False: leave it to mktime.
bool unique_local_answer(int64_t wall, int64_t& out) {
  long first = 0, offset = 0, before = 0, after = 0;
  int64_t seen = 0;
  if (!offset_at(wall, first)) return false;
  int64_t t = wall - first;
  if (!offset_at(t, offset)) return false;
  t = wall - offset;
  if (!offset_at(t, first, &seen) || first != offset || seen != wall) return false;
  if (!offset_at(t - 86400, before) || !offset_at(t + 86400, after)) return false;
  if (before != offset || after != offset) return false;
  out = t;
  return true;
}

class PosixLocalTime final : public LocalTime {
 public:
  bool to_local(int64_t unix_seconds, BrokenDownTime& out) override {
    use_system_zone();
    if (unix_seconds < std::numeric_limits<time_t>::min() || unix_seconds > std::numeric_limits<time_t>::max())
      return false;
    time_t t = static_cast<time_t>(unix_seconds);
    struct tm tm {};
    if (!::localtime_r(&t, &tm)) return false;
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    out.day_of_week = tm.tm_wday;
    out.dst = tm.tm_isdst > 0;
    return true;
  }

  bool from_local(const BrokenDownTime& local, int64_t& unix_seconds) override {
    use_system_zone();
    // Years far out are left to mktime, which knows the limits of time_t.
    if (local.year >= 1902 && local.year <= 9999) {
      const int64_t wall = seconds_as_utc(local.year, local.month, local.day, local.hour, local.minute, local.second);
      if (unique_local_answer(wall, unix_seconds)) return true;
    }
    struct tm tm {};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;  // let the zone's rules decide for this date
    tm.tm_wday = -1;   // mktime sets it on success; -1 is also a valid time
    time_t t = ::mktime(&tm);
    if (t == static_cast<time_t>(-1) && tm.tm_wday == -1) return false;
    unix_seconds = static_cast<int64_t>(t);
    return true;
  }

  bool file_time_to_local(int64_t utc_ticks, int64_t& local_ticks) override {
    use_system_zone();
    // The offset in effect now, for every date, as FileTimeToLocalFileTime.
    time_t now = ::time(nullptr);
    struct tm tm {};
    if (!::localtime_r(&now, &tm)) return false;
    local_ticks = utc_ticks + static_cast<int64_t>(tm.tm_gmtoff) * 10000000LL;
    return true;
  }
};

}  // namespace

template <> LocalTime& native<LocalTime>() {
  static PosixLocalTime instance;
  return instance;
}

}  // namespace platform
