// Test helper: a time zone with fixed rules, one hour east of UTC in winter
// and two in summer (April to September), and "now" in winter, so that the
// daylight-saving corrections can be checked on any machine.
#pragma once

#include <cstdint>

#include "platform/file_time.h"
#include "platform/local_time.h"

namespace extraction_test {

inline int64_t civil_days(int y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

inline void civil_from_days(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// Wall-clock seconds (as if UTC) of a broken-down time.
inline int64_t wall_seconds(int y, int mo, int d, int h, int mi, int s) {
  return civil_days(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

class FakeLocalTime final : public platform::LocalTime {
 public:
  static int offset_hours(int month) { return (month >= 4 && month <= 9) ? 2 : 1; }

  bool to_local(int64_t t, platform::BrokenDownTime& out) override {
    int y, m, d;
    civil_from_days((t >= 0 ? t : t - 86399) / 86400, y, m, d);
    int64_t local = t + offset_hours(m) * 3600;
    int64_t days = (local >= 0 ? local : local - 86399) / 86400;
    civil_from_days(days, out.year, out.month, out.day);
    int64_t rest = local - days * 86400;
    out.hour = static_cast<int>(rest / 3600);
    out.minute = static_cast<int>(rest % 3600 / 60);
    out.second = static_cast<int>(rest % 60);
    out.dst = offset_hours(out.month) == 2;
    return true;
  }
  bool from_local(const platform::BrokenDownTime& l, int64_t& t) override {
    t = wall_seconds(l.year, l.month, l.day, l.hour, l.minute, l.second) - offset_hours(l.month) * 3600;
    return true;
  }
  // "Now" is winter: today's offset is one hour.
  bool file_time_to_local(int64_t utc_ticks, int64_t& local_ticks) override {
    local_ticks = utc_ticks + 3600 * platform::FILETIME_TICKS_PER_SECOND;
    return true;
  }
};

inline uint32_t dos_time(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s / 2);
}

}  // namespace extraction_test
