// Portable. The standard ZIP CRC-32 (reflected polynomial 0xEDB88320, the
// running value inverted before and after each call).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crc32_tables.h"

inline constexpr uint32_t CRC32_POLYNOMIAL = 0xEDB88320u;

// The running CRC after `length` more bytes. Start with 0; a null pointer
// returns 0 (the start value) whatever the other arguments.
uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length);

// The byte-wise table (256 entries), process-wide and immutable; the cipher
// of traditional encryption steps its keys with it.
inline const uint32_t* crc32_table() { return CRC32_SLICE_TABLES[0]; }

// One byte-wise step on a raw (not inverted) CRC register.
inline uint32_t crc32_step(const uint32_t* table, uint32_t reg, uint8_t byte) {
  return table[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

// The table loop alone, on a raw register (the fallback of the carry-less
// multiplication path and its tail).
uint32_t crc32_raw_tables(uint32_t reg, const uint8_t* data, size_t length);

// The carry-less multiplication path on a raw register, for CPUs that have
// it; returns false (and does nothing) when this CPU or build has none.
bool crc32_raw_clmul(uint32_t& reg, const uint8_t* data, size_t length);
