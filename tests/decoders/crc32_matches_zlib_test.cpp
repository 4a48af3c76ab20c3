// crc32_update gives zlib's crc32 on large buffers and running values.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "crc32.h"

TEST(Crc32MatchesZlib, LargeBuffersAndRunningValues) {
  std::mt19937 rng(99);
  std::vector<uint8_t> buf(1 << 20);
  for (auto& b : buf) b = static_cast<uint8_t>(rng());
  for (int round = 0; round < 40; ++round) {
    size_t offset = rng() % 4096, n = rng() % (buf.size() - offset);
    uint32_t start = rng();
    ASSERT_EQ(crc32_update(start, buf.data() + offset, n),
              static_cast<uint32_t>(::crc32(start, buf.data() + offset, static_cast<uInt>(n))));
  }
}
