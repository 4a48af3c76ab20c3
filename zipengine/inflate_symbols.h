// Portable. The symbol alphabets of Deflate (RFC 1951) as table-entry
// templates: what each literal/length and distance code stands for.
#pragma once

#include <array>
#include <cstdint>

#include "huffman_table.h"

inline constexpr unsigned INFLATE_LITLEN_SYMBOLS = 288;  // 286 and 287 are invalid
inline constexpr unsigned INFLATE_DIST_SYMBOLS = 32;     // 30 and 31 are invalid
inline constexpr unsigned INFLATE_END_OF_BLOCK = 256;

inline constexpr std::array<uint32_t, INFLATE_LITLEN_SYMBOLS> inflate_litlen_symbols() {
  constexpr uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  std::array<uint32_t, INFLATE_LITLEN_SYMBOLS> t{};
  for (unsigned s = 0; s < 256; ++s) t[s] = huff_entry(HUFF_LITERAL, s, 0);
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
inline constexpr unsigned INFLATE_LITLEN_MAIN_BITS = 11;
inline constexpr unsigned INFLATE_DIST_MAIN_BITS = 9;
inline constexpr unsigned INFLATE_PRECODE_MAIN_BITS = 7;
