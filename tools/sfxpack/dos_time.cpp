// MS-DOS date and time from file times.
#include "dos_time.h"

#include <chrono>

namespace sfxpack {

DosTime dos_time_from_unix(std::time_t t) {
  DosTime out;
  out.date = (1 << 5) | 1;  // 1980-01-01
  const std::tm* local = std::localtime(&t);
  if (!local || local->tm_year < 80) return out;
  if (local->tm_year > 207) {
    out.date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
    out.time = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    return out;
  }
  out.date = static_cast<uint16_t>(((local->tm_year - 80) << 9) | ((local->tm_mon + 1) << 5) | local->tm_mday);
  // A leap second (60) would overflow the 5-bit field.
  const int seconds = local->tm_sec > 59 ? 59 : local->tm_sec;
  out.time = static_cast<uint16_t>((local->tm_hour << 11) | (local->tm_min << 5) | (seconds / 2));
  return out;
}

DosTime dos_time_of(const std::filesystem::file_time_type& t) {
  const auto system = std::chrono::file_clock::to_sys(t);
  return dos_time_from_unix(std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system)));
}

}  // namespace sfxpack
