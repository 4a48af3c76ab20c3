// Test support: builds Deflate streams field by field (fixed and dynamic
// blocks with chosen code lengths), for streams no encoder would write.
#pragma once

#include <cstdint>
#include <vector>

#include "support/bit_writer.h"

// Canonical codes for a list of code lengths, as RFC 1951 assigns them.
inline std::vector<uint32_t> canonical_codes(const std::vector<uint8_t>& lengths) {
  uint32_t count[17] = {}, next[17] = {};
  for (auto l : lengths) count[l]++;
  count[0] = 0;
  for (unsigned len = 1, code = 0; len <= 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return codes;
}

struct deflate_writer : bit_writer {
  // Block header: the last-block flag, then the 2-bit type.
  void block_header(bool last, unsigned type) {
    put_bits(last, 1);  // BFINAL
    put_bits(type, 2);  // BTYPE
  }
  void fixed_symbol(unsigned s) {
    if (s < 144) put_code(0x30 + s, 8);
    else if (s < 256) put_code(0x190 + s - 144, 9);
    else if (s < 280) put_code(s - 256, 7);
    else put_code(0xC0 + s - 280, 8);
  }
  void fixed_distance_code(unsigned d) { put_code(d, 5); }
  // A match in a fixed block: length code with extra bits, distance code
  // with extra bits (only for lengths and distances given as codes here).
  void fixed_match_258_distance(unsigned dist_code, unsigned dist_extra, unsigned extra_bits) {
    fixed_symbol(285);               // length 258, no extra bits
    fixed_distance_code(dist_code);  // distance code
    put_bits(dist_extra, extra_bits);
  }

  // Dynamic block header with the given lengths, sent without run-length
  // codes: the code-length code gives symbols 0-15 four bits each.
  std::vector<uint32_t> lit_codes, dist_codes;
  std::vector<uint8_t> lit_lengths, dist_lengths;
  void dynamic_header(bool last, const std::vector<uint8_t>& lit, const std::vector<uint8_t>& dist) {
    block_header(last, 2);
    put_bits(static_cast<uint32_t>(lit.size() - 257), 5);  // HLIT
    put_bits(static_cast<uint32_t>(dist.size() - 1), 5);   // HDIST
    put_bits(15, 4);                                       // HCLEN: all 19 code-length lengths
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (unsigned i = 0; i < 19; ++i) put_bits(order[i] < 16 ? 4 : 0, 3);  // 4 bits for 0-15, none for 16-18
    for (auto l : lit) put_code(l, 4);   // with sixteen 4-bit codes, the code of v is v
    for (auto l : dist) put_code(l, 4);
    lit_lengths = lit;
    dist_lengths = dist;
    lit_codes = canonical_codes(lit);
    dist_codes = canonical_codes(dist);
  }
  void lit(unsigned s) { put_code(lit_codes[s], lit_lengths[s]); }
  void dist(unsigned d) { put_code(dist_codes[d], dist_lengths[d]); }
};
