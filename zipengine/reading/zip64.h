// Portable. The zip64 records: the end record and its locator, which carry
// entry counts, central-directory sizes and offsets too large for the plain
// end record, and the extra block (ID 0x0001) that carries an entry's sizes,
// local header offset and disk when they are too large for their plain
// fields. A plain field at its largest value (0xFFFF, 0xFFFFFFFF) says that
// the real value is in the zip64 record.
//
// Every value read here that says where something lies, or how many bytes
// it takes, is refused when it claims more than the file holds: nothing is
// allocated for it and no seek follows it.
#pragma once

#include <cstdint>

#include "context.h"

inline constexpr uint8_t SIG_ZIP64_END[4] = {'P', 'K', 6, 6};
inline constexpr uint8_t SIG_ZIP64_LOCATOR[4] = {'P', 'K', 6, 7};
inline constexpr uint32_t ZIP64_END_RECORD_SIZE = 56;  // with the signature, without extensible data
inline constexpr uint32_t ZIP64_LOCATOR_SIZE = 20;
inline constexpr uint16_t ZIP64_EXTRA_ID = 0x0001;

inline constexpr uint16_t PLAIN_MAX16 = 0xFFFF;
inline constexpr uint32_t PLAIN_MAX32 = 0xFFFFFFFFu;

uint64_t get64(const uint8_t* p);

// After the plain end record has been found (at ctx.real_end_offset) and
// decoded into ctx.end: when a zip64 locator lies right in front of it and
// leads to a zip64 end record ending at the locator, ctx.end takes that
// record's counts, sizes, offset and disks, and the real and expected end
// offsets become those of the zip64 record. Without a locator the plain
// record stands, exactly as before. 0, or 3 with a message when the plain
// record needs the zip64 one and it cannot be had, or when the zip64 record
// claims more than the file holds.
int read_zip64_end_record(EngineContext& ctx);

enum class zip64_fault {
  none,
  block_too_short,  // a field at its largest value, and no value for it in the block
  beyond_archive,   // a compressed size or offset larger than the whole file
};

// Widens the central entry's fields that hold their largest plain value
// from the zip64 block of its extra field, in the block's order:
// uncompressed size, compressed size, local header offset, disk. An entry
// without a zip64 block keeps its plain values.
zip64_fault widen_central_entry(central_entry& entry, const uint8_t* extra, uint32_t extra_length,
                                int64_t archive_length);

// The same for a local header's sizes. A local zip64 block holds both sizes
// when it has room for them, whichever of the two was too large.
zip64_fault widen_local_header(local_header& header, const uint8_t* extra, uint32_t extra_length,
                               int64_t archive_length);

// Why an entry was refused, for the messages.
const char* zip64_fault_text(zip64_fault fault);

// True when `entries_read` central entries are the whole directory as the
// end record counts it. The plain count has 16 bits (writers wrap it), the
// zip64 one is exact.
bool entry_count_reached(const EngineContext& ctx, uint64_t entries_read);

// True when `sig` is what must follow the last central entry: the zip64
// end record in an archive that has one, else the plain end record.
bool directory_end_signature(const EngineContext& ctx, const uint8_t* sig);
