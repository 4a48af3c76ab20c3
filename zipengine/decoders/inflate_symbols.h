// Portable. The symbol alphabets of Deflate (RFC 1951) as table-entry
// templates: what each literal/length and distance code stands for.
//
// Length, distance, end-of-block, invalid and link entries have the layout
// of huffman_table.h. Literal entries have one of their own, so that the
// fast loop can store them without unpacking and so that one entry can hold
// two literals whose codes fit the first level together:
//   bits 0-7    bits to drop: the first code's length, plus the second's
//   bits 8-11   the first code's length
//   bits 12-19  the first literal byte
//   bits 20-27  the second literal byte (pairs)
//   bit 29      uniform: a single literal whose code has the block's
//               dominant length (set only in blocks decoded by stride)
//   bits 30-31  the number of literals, 1 or 2 (0 in every other entry:
//               length bases stay below bit 30)
// The kind flags of huffman_table.h share bits with the literal bytes, so
// an entry is tested for a literal before any of them.
#pragma once

#include <array>
#include <cstdint>

#include "huffman_table.h"

inline constexpr unsigned INFLATE_LITLEN_SYMBOLS = 288;  // 286 and 287 are invalid
inline constexpr unsigned INFLATE_DIST_SYMBOLS = 32;     // 30 and 31 are invalid
inline constexpr unsigned INFLATE_END_OF_BLOCK = 256;

inline constexpr uint32_t INFLATE_UNIFORM = 1u << 29;
inline constexpr uint32_t INFLATE_LITERAL = 1u << 30;  // one literal; a pair has two
inline constexpr uint32_t INFLATE_LITERAL_COUNT = 3u << 30;

inline constexpr uint32_t inflate_literal_entry(uint32_t byte) { return INFLATE_LITERAL | (byte << 12); }
inline constexpr bool inflate_is_literal(uint32_t e) { return e >= INFLATE_LITERAL; }
inline constexpr uint8_t inflate_literal_byte(uint32_t e) { return static_cast<uint8_t>(e >> 12); }
inline constexpr unsigned inflate_literal_code_length(uint32_t e) { return (e >> 8) & 15u; }

inline constexpr std::array<uint32_t, INFLATE_LITLEN_SYMBOLS> inflate_litlen_symbols() {
  constexpr uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  std::array<uint32_t, INFLATE_LITLEN_SYMBOLS> t{};
  for (unsigned s = 0; s < 256; ++s) t[s] = inflate_literal_entry(s);
  t[256] = huff_entry(HUFF_END_OF_BLOCK, 0, 0);
  for (unsigned s = 257; s < 286; ++s) t[s] = huff_entry(0, base[s - 257], extra[s - 257]);
  t[286] = t[287] = huff_entry(HUFF_INVALID, 0, 0);
  return t;
}

inline constexpr std::array<uint32_t, INFLATE_DIST_SYMBOLS> inflate_dist_symbols() {
  std::array<uint32_t, INFLATE_DIST_SYMBOLS> t{};
  uint32_t base = 1;
  for (unsigned s = 0; s < 30; ++s) {
    unsigned extra = s < 4 ? 0 : s / 2 - 1;
    t[s] = huff_entry(0, base, extra);
    base += 1u << extra;
  }
  t[30] = t[31] = huff_entry(HUFF_INVALID, 0, 0);
  return t;
}

inline constexpr auto INFLATE_LITLEN_TEMPLATES = inflate_litlen_symbols();
inline constexpr auto INFLATE_DIST_TEMPLATES = inflate_dist_symbols();

// The code lengths of fixed-code blocks.
inline constexpr std::array<uint8_t, INFLATE_LITLEN_SYMBOLS> inflate_fixed_litlen_lengths() {
  std::array<uint8_t, INFLATE_LITLEN_SYMBOLS> l{};
  for (unsigned s = 0; s < 288; ++s) l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return l;
}
inline constexpr std::array<uint8_t, INFLATE_DIST_SYMBOLS> inflate_fixed_dist_lengths() {
  std::array<uint8_t, INFLATE_DIST_SYMBOLS> l{};
  for (auto& v : l) v = 5;
  return l;
}

// First-level widths. The dynamic widths trade table filling per block
// against sub-table lookups; the fixed codes fit their first level whole.
// The fast loop's bit budget counts on litlen widths of at most 11 and
// distance widths of at most 14.
inline constexpr unsigned INFLATE_LITLEN_MAIN_BITS = 11;
inline constexpr unsigned INFLATE_DIST_MAIN_BITS = 9;
inline constexpr unsigned INFLATE_PRECODE_MAIN_BITS = 7;
