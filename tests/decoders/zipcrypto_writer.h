// Test support: traditional PKWARE encryption ("ZipCrypto") written from the
// application note, to make encrypted entries with any password bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct zipcrypto_writer {
  uint32_t k0 = 0x12345678u, k1 = 0x23456789u, k2 = 0x34567890u;

  static uint32_t crc_step(uint32_t c, uint8_t b) {
    c ^= b;
    for (int i = 0; i < 8; ++i) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    return c;
  }
  void update(uint8_t plain) {
    k0 = crc_step(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = crc_step(k2, static_cast<uint8_t>(k1 >> 24));
  }
  uint8_t stream_byte() const {
    uint32_t t = (k2 & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }
  explicit zipcrypto_writer(const std::string& password) {
    for (unsigned char c : password) update(c);
  }
  uint8_t encrypt(uint8_t plain) {
    uint8_t c = static_cast<uint8_t>(plain ^ stream_byte());
    update(plain);
    return c;
  }
  // The 12-byte header (last byte = check) followed by the encrypted data.
  std::vector<uint8_t> encrypt_entry(const std::vector<uint8_t>& data, uint8_t check) {
    std::vector<uint8_t> out;
    for (int i = 0; i < 11; ++i) out.push_back(encrypt(static_cast<uint8_t>(i * 37 + 5)));
    out.push_back(encrypt(check));
    for (uint8_t b : data) out.push_back(encrypt(b));
    return out;
  }
};
