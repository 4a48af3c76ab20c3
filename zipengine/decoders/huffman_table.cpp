// Portable. Canonical prefix-code table builder shared by Deflate and
// Implode (Implode's Shannon-Fano codes are canonical codes with every bit
// inverted, so the same tables serve once the decoder inverts its input).
#include "huffman_table.h"

#include <cstring>

namespace {

// Reverses the low `n` bits of `code`: codes are defined most significant
// bit first, but arrive least significant bit first.
uint32_t reverse_bits(uint32_t code, unsigned n) {
  uint32_t r = 0;
  for (unsigned i = 0; i < n; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

// The next code of the same length, both reversed: adding one clears the
// code's trailing ones and sets the zero above them, which reversed are its
// leading bits. (After the last code of a full length it returns its input.)
uint32_t next_reversed(uint32_t rev, unsigned n) {
  uint32_t bit = 1u << (n - 1);
  while (rev & bit) bit >>= 1;
  return (rev & (bit - 1)) | bit;
}

// Writes `e` at index, index + step, ... below `end`.
void replicate(uint32_t* t, uint32_t index, uint32_t step, uint32_t end, uint32_t e) {
  for (; index < end; index += step) t[index] = e;
}

}  // namespace

int huff_build(const uint8_t* lengths, unsigned count, const uint32_t* symbols,
               unsigned wanted_main_bits, bool allow_incomplete, huff_table& table) {
  // Codes per length and the Kraft check, before anything is written.
  if (count > HUFF_MAX_SYMBOLS) return HUFF_NO_ROOM;
  unsigned per_length[HUFF_MAX_CODE_LENGTH + 1] = {};
  for (unsigned s = 0; s < count; ++s) {
    if (lengths[s] > HUFF_MAX_CODE_LENGTH) return HUFF_OVER_SUBSCRIBED;
    per_length[lengths[s]]++;
  }
  per_length[0] = 0;
  int64_t space_left = 1;
  unsigned max_length = 0;
  for (unsigned len = 1; len <= HUFF_MAX_CODE_LENGTH; ++len) {
    space_left = (space_left << 1) - per_length[len];
    if (space_left < 0) return HUFF_OVER_SUBSCRIBED;
    if (per_length[len]) max_length = len;
  }
  const uint32_t invalid = huff_entry(HUFF_INVALID, 0, 0);
  if (max_length == 0) {
    if (table.capacity < 1) return HUFF_NO_ROOM;
    table.main_bits = 0;
    table.entries[0] = invalid;
    return HUFF_OK;
  }
  bool incomplete = space_left > 0 && max_length > 1;
  if (incomplete && !allow_incomplete) return HUFF_INCOMPLETE;

  unsigned main_bits = wanted_main_bits < max_length ? wanted_main_bits : max_length;
  if (main_bits == 0) main_bits = 1;
  uint32_t main_size = 1u << main_bits;
  if (table.capacity < main_size) return HUFF_NO_ROOM;
  uint32_t* t = table.entries;

  // The codes in canonical order (by length, then symbol), which is also
  // the order of their values left-aligned to max_length bits.
  uint32_t first_code[HUFF_MAX_CODE_LENGTH + 1] = {};
  uint16_t order_start[HUFF_MAX_CODE_LENGTH + 2] = {};
  for (unsigned len = 1, code = 0; len <= HUFF_MAX_CODE_LENGTH; ++len) {
    code = (code + per_length[len - 1]) << 1;
    first_code[len] = code;
    order_start[len + 1] = static_cast<uint16_t>(order_start[len] + per_length[len]);
  }
  uint16_t sorted[HUFF_MAX_SYMBOLS];
  uint16_t fill[HUFF_MAX_CODE_LENGTH + 2];
  for (unsigned len = 0; len <= HUFF_MAX_CODE_LENGTH + 1; ++len) fill[len] = order_start[len];
  for (unsigned s = 0; s < count; ++s)
    if (lengths[s]) sorted[fill[lengths[s]]++] = static_cast<uint16_t>(s);
  unsigned coded = order_start[max_length + 1];

  // The first level, by doubling: the codes of each length are written once
  // into a table as wide as that length, which is then copied into its own
  // upper half for the next length; the copies repeat each short code at
  // every index that shares its low bits. Moving to the next length appends
  // a zero to the canonical code, which reversed is a zero on top: the
  // running reversed code carries over unchanged.
  unsigned shortest = 1;
  while (per_length[shortest] == 0) ++shortest;
  unsigned width = shortest < main_bits ? shortest : main_bits;
  replicate(t, 0, 1, 1u << width, invalid);
  unsigned i = 0;    // next code in canonical order
  uint32_t rev = 0;  // its value, reversed
  for (unsigned len = width;; ++len) {
    for (unsigned n = per_length[len]; n > 0; --n, ++i) {
      t[rev] = symbols[sorted[i]] + (len << 8) + len;
      rev = next_reversed(rev, len);
    }
    if (len == main_bits) break;
    std::memcpy(t + (1u << len), t, sizeof(*t) << len);
  }

  // Longer codes: codes that share a first-level prefix are neighbours in
  // canonical order, so each sub-table is complete before the next one
  // opens; its width is set by the longest code under the prefix.
  uint32_t used = main_size;
  uint32_t open_prefix = ~0u;
  uint32_t sub_start = 0, sub_bits = 0;
  for (; i < coded; ++i) {
    unsigned s = sorted[i];
    unsigned len = lengths[s];
    uint32_t code = first_code[len] + (i - order_start[len]);
    uint32_t reversed = reverse_bits(code, len);
    uint32_t e = symbols[s] + (len << 8) + len;
    uint32_t prefix = reversed & (main_size - 1);
    if (prefix != open_prefix) {
      uint32_t top = code >> (len - main_bits);
      unsigned longest = len;
      for (unsigned j = i + 1; j < coded; ++j) {
        unsigned jl = lengths[sorted[j]];
        uint32_t jc = first_code[jl] + (j - order_start[jl]);
        if (jl <= main_bits || (jc >> (jl - main_bits)) != top) break;
        longest = jl;
      }
      sub_bits = longest - main_bits;
      sub_start = used;
      used += 1u << sub_bits;
      if (used > table.capacity) return HUFF_NO_ROOM;
      replicate(t, sub_start, 1, used, invalid);
      t[prefix] = huff_entry(HUFF_LINK, sub_start, sub_bits) | (main_bits << 8);
      open_prefix = prefix;
    }
    replicate(t + sub_start, reversed >> main_bits, 1u << (len - main_bits), 1u << sub_bits, e);
  }
  table.main_bits = main_bits;
  return incomplete ? HUFF_INCOMPLETE : HUFF_OK;
}

bool huff_widen(huff_table& table, unsigned bits) {
  if (table.capacity < (1u << bits)) return false;
  for (; table.main_bits < bits; ++table.main_bits)
    std::memcpy(table.entries + (1u << table.main_bits), table.entries, sizeof(uint32_t) << table.main_bits);
  return true;
}
