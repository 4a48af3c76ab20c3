// Test support: writes bit fields least significant bit first, as Deflate
// and Implode streams are packed, and Huffman codes most significant bit
// first within their field.
#pragma once

#include <cstdint>
#include <vector>

struct bit_writer {
  std::vector<uint8_t> bytes;
  uint64_t acc = 0;
  unsigned n = 0;

  // `count` bits of `value`, low bit first.
  void put_bits(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      acc |= uint64_t((value >> i) & 1) << n;
      if (++n == 8) {
        bytes.push_back(static_cast<uint8_t>(acc));
        acc = 0;
        n = 0;
      }
    }
  }
  // A prefix code of `length` bits, its first bit the code's highest.
  void put_code(uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) put_bits((code >> i) & 1, 1);
  }
  void align() {
    if (n) put_bits(0, 8 - n);
  }
  void put_byte(uint8_t b) { put_bits(b, 8); }
  std::vector<uint8_t> finish() {
    align();
    return bytes;
  }
};
