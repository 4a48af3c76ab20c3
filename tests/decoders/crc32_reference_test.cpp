// crc32_update equals a bit-at-a-time CRC-32 for every length and alignment
// (which crosses both the table loop and the carry-less multiplication
// path), continues across split calls, and returns 0 for a null pointer.
#include <gtest/gtest.h>

#include <random>

#include "crc32.h"

namespace {

uint32_t reference_crc(uint32_t crc, const uint8_t* p, size_t n) {
  crc = ~crc;
  while (n--) {
    crc ^= *p++;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

}  // namespace

TEST(Crc32Reference, KnownValuesAndNull) {
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(crc32_update(0, check, 9), 0xCBF43926u);
  EXPECT_EQ(crc32_update(0, check, 0), 0u);
  EXPECT_EQ(crc32_update(0x12345678u, nullptr, 100), 0u);
}

TEST(Crc32Reference, EveryLengthAndAlignment) {
  std::mt19937 rng(77);
  std::vector<uint8_t> buf(5000);
  for (auto& b : buf) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 16; ++offset)
    for (size_t n = 0; n < 1200; n += (n < 300 ? 1 : 37))
      ASSERT_EQ(crc32_update(0, buf.data() + offset, n), reference_crc(0, buf.data() + offset, n))
          << offset << " " << n;
  ASSERT_EQ(crc32_update(0, buf.data(), buf.size()), reference_crc(0, buf.data(), buf.size()));
}

TEST(Crc32Reference, SplitCallsContinue) {
  std::mt19937 rng(5);
  std::vector<uint8_t> buf(100000);
  for (auto& b : buf) b = static_cast<uint8_t>(rng());
  uint32_t whole = reference_crc(0, buf.data(), buf.size());
  for (int round = 0; round < 50; ++round) {
    uint32_t c = 0;
    size_t at = 0;
    while (at < buf.size()) {
      size_t n = std::min<size_t>(buf.size() - at, rng() % 40000);
      c = crc32_update(c, buf.data() + at, n);
      at += n;
    }
    ASSERT_EQ(c, whole);
  }
}
