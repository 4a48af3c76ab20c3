// Portable. Builds the lookup tables that the Deflate and Implode decoders
// use to turn prefix codes into symbols: a first-level table indexed by the
// next `main_bits` input bits, with sub-tables for the longer codes.
#pragma once

#include <cstdint>

// One table entry is a 32-bit word:
//   bits 0-7    bits to drop when the entry is taken: the code's length plus
//               its extra bits (for a link: the sub-table's index width)
//   bits 8-12   the code's own length
//   bits 13-15  kind flags (below); none of them and no literal flag: a base
//               value followed by extra bits, i.e. a length or a distance
//   bits 16-30  value: literal byte, base value, or sub-table start
//   bit 31      literal
// Everything the hot loops need comes from one load and a few shifts; the
// drop count is the low byte and the literal test is a sign test.
inline constexpr uint32_t HUFF_LINK = 1u << 13;
inline constexpr uint32_t HUFF_END_OF_BLOCK = 1u << 14;
inline constexpr uint32_t HUFF_INVALID = 1u << 15;
inline constexpr uint32_t HUFF_LITERAL = 1u << 31;

inline constexpr unsigned HUFF_MAX_CODE_LENGTH = 16;
inline constexpr unsigned HUFF_MAX_SYMBOLS = 288;

inline constexpr uint32_t huff_entry(uint32_t kind, uint32_t value, uint32_t extra_bits) {
  return (value << 16) | kind | extra_bits;
}
inline constexpr unsigned huff_drop(uint32_t e) { return e & 0xFFu; }
inline constexpr unsigned huff_code_length(uint32_t e) { return (e >> 8) & 31u; }
inline constexpr unsigned huff_extra_bits(uint32_t e) { return huff_drop(e) - huff_code_length(e); }
inline constexpr uint32_t huff_value(uint32_t e) { return (e >> 16) & 0x7FFFu; }

// The entry found for the low bits of `bits` (bit 0 is the next input bit).
inline uint32_t huff_lookup(const uint32_t* table, unsigned main_bits, uint64_t bits) {
  uint32_t e = table[bits & ((1u << main_bits) - 1)];
  if (e & HUFF_LINK)
    e = table[huff_value(e) + ((bits >> main_bits) & ((1u << huff_drop(e)) - 1))];
  return e;
}

// Results of huff_build (the decoders return the first three as they are).
enum huff_result : int {
  HUFF_OK = 0,
  HUFF_INCOMPLETE = 1,        // code space left over, longest code longer than 1 bit
  HUFF_OVER_SUBSCRIBED = 2,   // more codes of some length than the code space holds
  HUFF_NO_ROOM = 3,           // the table storage is too small (a sizing fault)
};

struct huff_table {
  uint32_t* entries;   // storage
  unsigned capacity;   // entries available
  unsigned main_bits;  // set by huff_build: width of the first level (0: empty)
};

// Builds the canonical prefix code of `lengths[0..count)` (0 = unused symbol,
// at most 16) into `table`. `symbols[s]` is the entry template of symbol s
// (kind, value and extra-bit count, from huff_entry); code lengths are added
// by the builder. Unused code space decodes to HUFF_INVALID.
//
// All lengths zero gives an empty table (main_bits 0, one invalid entry) and
// HUFF_OK. An incomplete code is built only when `allow_incomplete` is set;
// the result is HUFF_INCOMPLETE either way, except for a single code of
// length 1, which counts as complete.
int huff_build(const uint8_t* lengths, unsigned count, const uint32_t* symbols,
               unsigned wanted_main_bits, bool allow_incomplete, huff_table& table);

// Repeats the first level of a table that has no sub-tables (one whose
// codes all fit a first level narrower than wanted) until it is `bits` wide,
// for decoders that always index by the same width. False when the storage
// is too small.
bool huff_widen(huff_table& table, unsigned bits);

// Sizing: the most entries a table of `symbols` codes up to `max_length`
// bits can need with a first level of `main_bits`. With `complete` codes a
// sub-table of width w holds at least w + 1 codes, which bounds their number;
// otherwise every long code may have a sub-table of its own.
constexpr unsigned huff_table_bound(unsigned symbols, unsigned max_length, unsigned main_bits,
                                    bool complete) {
  if (max_length <= main_bits) return 1u << main_bits;
  unsigned w = max_length - main_bits;
  if (!complete) return (1u << main_bits) + symbols * (1u << w);
  unsigned full = symbols / (w + 1), rest = symbols % (w + 1);
  return (1u << main_bits) + full * (1u << w) + (rest ? 1u << (rest - 1) : 0u);
}
