// Metadata of extracted files and directories: attributes, the three times,
// stored Windows security, and the file status query the update rules use.
#pragma once

#include <cstdint>

#include "platform/file_time.h"

struct EngineContext;

// Entry attributes as map_attributes stores them: the MS-DOS bits in the low
// byte (the archive bit added to files); for an entry made on a Unix host
// (host number 3) the permission bits of its external attributes also ride
// in the high 16 bits, so that extraction can give them back.
inline constexpr uint32_t ENTRY_ATTR_DOS_MASK = 0xFF;
inline constexpr int ENTRY_ATTR_UNIX_SHIFT = 16;
inline constexpr uint32_t ENTRY_ATTR_HAS_UNIX_MODE = 0x8000;  // in the low 16 bits: high half valid

// Sets the current entry's attributes from its central-directory entry. 0.
int map_attributes(EngineContext& ctx);

// Closes the output file and gives it its attributes, stored security and
// times. Problems are reported as messages; the result is 0, or the code of
// a stored security block that could not be expanded (2 damaged, 6 or 7 out
// of memory), which the entry's result takes on.
int close_output_file(EngineContext& ctx);

// The most that `compressed` bytes of an extra-field block can expand to:
// stored data is itself; Deflate codes at most 258 bytes in 2 bits (1032 to
// 1), plus room for block headers. A claimed size beyond this is damage,
// not a reason to allocate.
inline uint64_t block_expansion_limit(uint16_t method, uint64_t compressed) {
  return method == 0 ? compressed : compressed * 1032 + 1024;
}

// Presence bits of a time triple (the flag bits of the extended timestamp).
inline constexpr uint32_t TIME_MODIFICATION = 0x1;
inline constexpr uint32_t TIME_ACCESS = 0x2;
inline constexpr uint32_t TIME_CREATION = 0x4;

// Times found in an extra field: seconds since 1970 (UTC), signed 32-bit.
struct unix_times {
  int32_t modification = 0;
  int32_t access = 0;
  int32_t creation = 0;
};

// Walks an extra field for extended-timestamp (0x5455) and Unix (0x000D,
// 0x5855, 0x7855) blocks. Returns the presence mask of the times found.
uint32_t scan_unix_times(const uint8_t* extra, uint32_t length, uint32_t dos_datetime,
                         unix_times& out);

// An MS-DOS date and time read as local wall-clock time, in seconds since
// 1970; 2,147,483,647 when it cannot be represented.
int64_t dos_to_unix_time(uint32_t dos_datetime);

// The time triple of the current entry for its output path, as FILETIME
// ticks; returns the presence mask.
uint32_t entry_file_times(EngineContext& ctx, int64_t& modification, int64_t& access,
                          int64_t& creation);

// Kind and permission bits of file_status.
inline constexpr uint32_t STATUS_READ = 0x4;
inline constexpr uint32_t STATUS_WRITE = 0x2;
inline constexpr uint32_t STATUS_EXECUTE = 0x1;

struct status_record {
  bool is_directory = false;
  uint32_t permissions = 0;  // STATUS_* bits
  uint32_t size = 0;         // low 32 bits
  int64_t modification = 0;  // seconds since 1970; 0 before 1970, -1 after 2038-01-19
  int64_t access = 0;
  int64_t creation = 0;
};

// 0 with the status of `path` (a symbolic link is reported as a file, not
// followed); -1 when it cannot be queried.
int file_status(EngineContext& ctx, const char* path, status_record& out);

// Applies the security blocks (0x4453) of an extra field to `path` when
// restore_security is set and the volume keeps access control lists.
// 0 done or nothing to do, 7 out of memory, 79 truncated block, or the
// in-memory expansion's code (2 bad data or CRC, 6 out of memory).
int apply_security_blocks(EngineContext& ctx, const char* path, const uint8_t* extra,
                          uint32_t length);

// The message for a security block cut short (apply_security_blocks gave
// 79) on `path`.
void report_truncated_security(EngineContext& ctx, const char* path);

// True when `descriptor` is a well-formed self-relative Windows security
// descriptor (revision, offsets, access control lists, security identifiers).
bool validate_security(const uint8_t* descriptor, uint32_t length);

// Which parts a descriptor carries, from its control word.
bool security_has_dacl(const uint8_t* descriptor, uint32_t length);
bool security_has_sacl(const uint8_t* descriptor, uint32_t length);

// Forgets the cached volume security capabilities (process-wide), so that
// the next request asks the volume again.
void clear_security_cache();

// Writes the directory descriptors held back during the archive and reports
// how many were written and how many failed.
void report_deferred_security(EngineContext& ctx);

// The truncation code of a security block (and of any compressed block).
inline constexpr int RC_BLOCK_TRUNCATED = 79;
