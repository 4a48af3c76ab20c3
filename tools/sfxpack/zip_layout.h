// The ZIP records sfxpack writes and reads: signatures, fixed sizes, and
// little-endian field access. The zip64 forms are written only where a
// plain field cannot hold a value; sfxpack reads only plain archives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sfxpack {

inline constexpr uint32_t LOCAL_HEADER_SIGNATURE = 0x04034b50;
inline constexpr uint32_t CENTRAL_ENTRY_SIGNATURE = 0x02014b50;
inline constexpr uint32_t END_RECORD_SIGNATURE = 0x06054b50;
inline constexpr uint32_t ZIP64_END_RECORD_SIGNATURE = 0x06064b50;
inline constexpr uint32_t ZIP64_LOCATOR_SIGNATURE = 0x07064b50;

inline constexpr size_t LOCAL_HEADER_SIZE = 30;
inline constexpr size_t CENTRAL_ENTRY_SIZE = 46;
inline constexpr size_t END_RECORD_SIZE = 22;
inline constexpr size_t ZIP64_END_RECORD_SIZE = 56;
inline constexpr uint16_t ZIP64_EXTRA_ID = 0x0001;
// "Version needed" of an entry that uses zip64.
inline constexpr uint16_t NEEDED_ZIP64 = 45;

inline constexpr uint16_t METHOD_STORED = 0;
inline constexpr uint16_t METHOD_IMPLODED = 6;
inline constexpr uint16_t METHOD_DEFLATED = 8;

inline constexpr uint16_t FLAG_ENCRYPTED = 0x0001;
inline constexpr uint16_t FLAG_DATA_DESCRIPTOR = 0x0008;
inline constexpr uint16_t FLAG_UTF8_NAME = 0x0800;

// Host system numbers of the "version made by" field.
inline constexpr uint8_t HOST_FAT = 0;
inline constexpr uint8_t HOST_UNIX = 3;

// DOS attribute bits of the low external-attribute byte.
inline constexpr uint32_t DOS_READONLY = 0x01;
inline constexpr uint32_t DOS_DIRECTORY = 0x10;
inline constexpr uint32_t DOS_ARCHIVE = 0x20;

// Unix file-type bits kept with the permissions in the high 16 bits.
inline constexpr uint32_t UNIX_REGULAR = 0100000;
inline constexpr uint32_t UNIX_DIRECTORY = 0040000;

// A plain field at its largest value says "see the zip64 record": sizes and
// offsets from MAX_32 on, and more than MAX_ENTRIES entries, go there.
inline constexpr uint64_t MAX_32 = 0xFFFFFFFFu;
inline constexpr uint16_t MAX_16 = 0xFFFF;
inline constexpr size_t MAX_ENTRIES = 0xFFFF;

// The engine truncates names of 260 bytes or more (and reports a warning,
// which the launcher treats as a failed extraction).
inline constexpr size_t MAX_NAME_BYTES = 259;

inline void put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

inline void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline void put64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void set32(std::string& buffer, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) buffer[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace sfxpack
