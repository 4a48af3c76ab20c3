// POSIX backend of platform/local_time.h. The TZ variable is removed once,
// before the first conversion, so the system's zone holds (an empty TZ would
// mean UTC here, unlike on Windows).
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
