// Portable. Table-driven CRC-32: sixteen bytes per pass through sixteen
// tables (each table advances the CRC of one byte position by the bytes that
// follow it), then one table step per remaining byte. Large buffers take the
// carry-less multiplication path when the CPU has it.
#include "crc32.h"

#include <cstring>


namespace {

inline uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Below this the set-up of the multiplication path costs more than it saves.
constexpr size_t CLMUL_MIN_LENGTH = 256;

}  // namespace

uint32_t crc32_raw_tables(uint32_t c, const uint8_t* p, size_t n) {
  const auto& t = CRC32_SLICE_TABLES;
  while (n >= 16) {
    uint32_t a = load_le32(p) ^ c;
    uint32_t b = load_le32(p + 4), d = load_le32(p + 8), e = load_le32(p + 12);
    c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
        t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
        t[7][d & 0xFF] ^ t[6][(d >> 8) & 0xFF] ^ t[5][(d >> 16) & 0xFF] ^ t[4][d >> 24] ^
        t[3][e & 0xFF] ^ t[2][(e >> 8) & 0xFF] ^ t[1][(e >> 16) & 0xFF] ^ t[0][e >> 24];
    p += 16;
    n -= 16;
  }
  while (n--) c = crc32_step(t[0], c, *p++);
  return c;
}

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length) {
  if (!data) return 0;
  uint32_t reg = ~crc;
  if (length < CLMUL_MIN_LENGTH || !crc32_raw_clmul(reg, data, length))
    reg = crc32_raw_tables(reg, data, length);
  return ~reg;
}
