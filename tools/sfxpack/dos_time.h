// MS-DOS date and time fields of ZIP records, from a file's modification time
// in local time (the engine turns them back with the local time-zone rules).
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

// Times before 1980 (or unrepresentable) become 1980-01-01 00:00, times after
// 2107 become the last DOS second: the format has no other range.
DosTime dos_time_from_unix(std::time_t t);
DosTime dos_time_of(const std::filesystem::file_time_type& t);

}  // namespace sfxpack
