// MS-DOS date and time fields of ZIP records. The format has no time zone:
// the engine reads a stored time as wall-clock time of the extracting
// machine, so sfxpack normally writes the packing machine's local time, and
// UTC for a release build (SOURCE_DATE_EPOCH), whose bytes must not depend
// on the zone of the machine that made them.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>

namespace sfxpack {

struct DosTime {
  uint16_t time = 0;  // hours << 11 | minutes << 5 | seconds / 2
  uint16_t date = 0;  // (year - 1980) << 9 | month << 5 | day
  uint32_t packed() const { return static_cast<uint32_t>(date) << 16 | time; }
};

enum class TimeZone { local, utc };

// Times before 1980 (or unrepresentable) become 1980-01-01 00:00, times after
// 2107 become the last DOS second: the format has no other range.
DosTime dos_time_from_unix(std::time_t t, TimeZone zone = TimeZone::local);

// A file time as seconds since 1970.
std::time_t unix_time_of(const std::filesystem::file_time_type& t);

}  // namespace sfxpack
