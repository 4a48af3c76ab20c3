// Release (SOURCE_DATE_EPOCH) rules for stored times and permissions.
#include "reproducible_pack.h"

#include <limits>

#include "pack_error.h"
#include "zip_layout.h"

namespace sfxpack {
namespace {

constexpr uint16_t EXTRA_EXTENDED_TIMESTAMP = 0x5455;
constexpr uint16_t EXTRA_PKWARE_UNIX = 0x000D;
constexpr uint16_t EXTRA_INFOZIP_UNIX = 0x5855;
constexpr uint16_t EXTRA_NTFS = 0x000A;
constexpr uint16_t NTFS_TIMES_TAG = 1;

// 100-nanosecond ticks between 1601-01-01 and 1970-01-01.
constexpr uint64_t FILETIME_UNIX_EPOCH = 116444736000000000ull;

void clamp_unix32(std::string& extra, size_t at, std::time_t epoch) {
  const auto t = static_cast<int32_t>(get32(reinterpret_cast<const unsigned char*>(extra.data() + at)));
  if (t > epoch) set32(extra, at, static_cast<uint32_t>(epoch));
}

void clamp_filetime(std::string& extra, size_t at, std::time_t epoch) {
  const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
  const uint64_t ticks = get32(p) | static_cast<uint64_t>(get32(p + 4)) << 32;
  const uint64_t limit = FILETIME_UNIX_EPOCH + static_cast<uint64_t>(epoch) * 10000000ull;
  if (ticks <= limit) return;
  set32(extra, at, static_cast<uint32_t>(limit));
  set32(extra, at + 4, static_cast<uint32_t>(limit >> 32));
}

// The flags of an extended timestamp name the times a local header holds;
// a central header usually holds only the first, so the size decides.
void clamp_extended_timestamp(std::string& extra, size_t data, size_t size, std::time_t epoch) {
  if (size < 1) return;
  const unsigned flags = static_cast<unsigned char>(extra[data]) & 0x7;
  size_t at = data + 1;
  for (unsigned bit = 1; bit <= 4; bit <<= 1) {
    if (!(flags & bit)) continue;
    if (at + 4 > data + size) return;
    clamp_unix32(extra, at, epoch);
    at += 4;
  }
}

void clamp_ntfs(std::string& extra, size_t data, size_t size, std::time_t epoch) {
  size_t at = data + 4;  // reserved
  while (at + 4 <= data + size) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
    const uint16_t tag = get16(p), length = get16(p + 2);
    at += 4;
    if (at + length > data + size) return;
    if (tag == NTFS_TIMES_TAG && length >= 24) {
      for (size_t i = 0; i < 3; ++i) clamp_filetime(extra, at + 8 * i, epoch);
    }
    at += length;
  }
}

}  // namespace

std::optional<std::time_t> parse_source_date_epoch(const std::optional<std::string>& value) {
  if (!value || value->empty()) return std::nullopt;
  // Up to 2^63 - 1 in 19 digits; any more is no time of this world.
  bool digits_only = value->size() <= 18;
  for (char c : *value) digits_only = digits_only && c >= '0' && c <= '9';
  if (!digits_only) {
    throw PackError("SOURCE_DATE_EPOCH must be a number of seconds since 1970-01-01 00:00 UTC, not \"" + *value +
                    "\"");
  }
  const long long seconds = std::stoll(*value);
  if (seconds > std::numeric_limits<std::time_t>::max()) {
    throw PackError("SOURCE_DATE_EPOCH " + *value + " lies beyond what this system's clock can hold");
  }
  return static_cast<std::time_t>(seconds);
}

DosTime stored_time(std::time_t modified, const std::optional<std::time_t>& epoch) {
  if (!epoch) return dos_time_from_unix(modified, TimeZone::local);
  return dos_time_from_unix(modified < *epoch ? modified : *epoch, TimeZone::utc);
}

uint32_t release_permissions(uint32_t permissions) {
  uint32_t out = 0;
  if (permissions & 0400) out |= 0444;
  if (permissions & 0200) out |= 0200;
  if (permissions & 0100) out |= 0111;
  return out;
}

uint32_t clamp_dos_time(uint32_t dos_date_time, std::time_t epoch) {
  const uint32_t limit = dos_time_from_unix(epoch, TimeZone::utc).packed();
  return dos_date_time > limit ? limit : dos_date_time;
}

void clamp_extra_field_times(std::string& extra, std::time_t epoch) {
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
    const uint16_t id = get16(p), size = get16(p + 2);
    const size_t data = at + 4;
    if (data + size > extra.size()) return;
    switch (id) {
      case EXTRA_EXTENDED_TIMESTAMP:
        clamp_extended_timestamp(extra, data, size, epoch);
        break;
      case EXTRA_PKWARE_UNIX:
      case EXTRA_INFOZIP_UNIX:  // access time, then modification time
        if (size >= 8) {
          clamp_unix32(extra, data, epoch);
          clamp_unix32(extra, data + 4, epoch);
        }
        break;
      case EXTRA_NTFS:
        clamp_ntfs(extra, data, size, epoch);
        break;
      default:
        break;
    }
    at = data + size;
  }
}

}  // namespace sfxpack
