// zlib's raw Deflate streams (stored, fixed, dynamic, run-length and empty;
// made by tests/data/decoders/make_fixtures.py) decode to the size and CRC-32
// that zlib recorded, fed in 8 KiB blocks and in odd small pieces.
#include <gtest/gtest.h>

#include <sstream>

#include "crc32.h"
#include "decoders/decoder_fixtures.h"
#include "decoders/decoder_harness.h"

TEST(DecoderFixtures, ZlibStreamsDecodeToTheirRecordedSizeAndCrc) {
  const decoder_fixture* manifest = find_decoder_fixture("manifest.txt");
  ASSERT_NE(manifest, nullptr);
  std::istringstream lines(std::string(reinterpret_cast<const char*>(manifest->data), manifest->size));
  std::string name, crc_text;
  size_t size = 0;
  int checked = 0;
  while (lines >> name >> size >> crc_text) {
    const decoder_fixture* f = find_decoder_fixture(name);
    ASSERT_NE(f, nullptr) << name;
    uint32_t crc = static_cast<uint32_t>(std::stoul(crc_text, nullptr, 16));
    for (size_t chunk : {size_t(8192), size_t(13)}) {
      memory_decoder d(std::vector<uint8_t>(f->data, f->data + f->size), chunk);
      ASSERT_EQ(d.inflate(), 0) << name;
      EXPECT_EQ(d.output.size(), size) << name;
      EXPECT_EQ(crc32_update(0, d.output.data(), d.output.size()), crc) << name;
    }
    ++checked;
  }
  EXPECT_GE(checked, 8);
}
