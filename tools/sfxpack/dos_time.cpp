// MS-DOS date and time from file times.
#include "dos_time.h"

#include <chrono>

namespace sfxpack {

DosTime dos_time_from_unix(std::time_t t, TimeZone zone) {
  DosTime out;
  out.date = (1 << 5) | 1;  // 1980-01-01
  const std::tm* broken = zone == TimeZone::utc ? std::gmtime(&t) : std::localtime(&t);
  if (!broken || broken->tm_year < 80) return out;
  if (broken->tm_year > 207) {
    out.date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
    out.time = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    return out;
  }
  out.date = static_cast<uint16_t>(((broken->tm_year - 80) << 9) | ((broken->tm_mon + 1) << 5) | broken->tm_mday);
  // A leap second (60) would overflow the 5-bit field.
  const int seconds = broken->tm_sec > 59 ? 59 : broken->tm_sec;
  out.time = static_cast<uint16_t>((broken->tm_hour << 11) | (broken->tm_min << 5) | (seconds / 2));
  return out;
}

std::time_t unix_time_of(const std::filesystem::file_time_type& t) {
  const auto system = std::chrono::file_clock::to_sys(t);
  return std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system));
}

}  // namespace sfxpack
