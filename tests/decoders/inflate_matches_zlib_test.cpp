// Our Deflate decoder gives zlib's input back byte for byte, for every block
// type and strategy zlib writes, window sizes from 512 bytes to 32 KiB, and
// input handed over in 8 KiB blocks or a few bytes at a time.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "crc32.h"
#include "decoders/decoder_harness.h"
#include "decoders/sample_data.h"

namespace {

std::vector<uint8_t> raw_deflate(const std::vector<uint8_t>& data, int level, int strategy,
                                 int window_bits = 15) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -window_bits, 9, strategy), Z_OK);
  std::vector<uint8_t> out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

void expect_round_trip(const std::vector<uint8_t>& data, const std::vector<uint8_t>& packed,
                       size_t chunk) {
  memory_decoder d(packed, chunk);
  ASSERT_EQ(d.inflate(), 0);
  ASSERT_EQ(d.output.size(), data.size());
  EXPECT_TRUE(d.output == data);
  EXPECT_EQ(crc32_update(0, d.output.data(), d.output.size()),
            ::crc32(0, data.data(), static_cast<uInt>(data.size())));
  for (size_t i = 0; i + 1 < d.flush_sizes.size(); ++i) EXPECT_EQ(d.flush_sizes[i], 32768u);
}

struct strategy_case {
  const char* name;
  int level;
  int strategy;
};
const strategy_case STRATEGIES[] = {
    {"stored", 0, Z_DEFAULT_STRATEGY}, {"fast", 1, Z_DEFAULT_STRATEGY},
    {"default", 6, Z_DEFAULT_STRATEGY}, {"best", 9, Z_DEFAULT_STRATEGY},
    {"fixed", 6, Z_FIXED},             {"huffman_only", 6, Z_HUFFMAN_ONLY},
    {"rle", 6, Z_RLE},                 {"filtered", 6, Z_FILTERED},
};

}  // namespace

TEST(InflateMatchesZlib, EveryStrategyOnEveryKindOfData) {
  for (const auto& [kind, data] : sample_data_sets()) {
    for (const auto& s : STRATEGIES) {
      SCOPED_TRACE(std::string(kind) + "/" + s.name);
      auto packed = raw_deflate(data, s.level, s.strategy);
      expect_round_trip(data, packed, 8192);
    }
  }
}

TEST(InflateMatchesZlib, SmallWindowsAndTinyInputChunks) {
  auto data = sample_text(300000);
  for (int wbits = 9; wbits <= 15; wbits += 3) {
    auto packed = raw_deflate(data, 9, Z_DEFAULT_STRATEGY, wbits);
    for (size_t chunk : {size_t(1), size_t(3), size_t(17), size_t(8192)}) {
      SCOPED_TRACE("window bits " + std::to_string(wbits) + ", chunk " + std::to_string(chunk));
      expect_round_trip(data, packed, chunk);
    }
  }
}

TEST(InflateMatchesZlib, ManyShortRandomStreams) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 300; ++round) {
    size_t n = rng() % 5000;
    std::vector<uint8_t> data(n);
    unsigned alphabet = 1 + rng() % 256;
    for (auto& b : data) b = static_cast<uint8_t>(rng() % alphabet);
    const auto& s = STRATEGIES[rng() % (sizeof STRATEGIES / sizeof STRATEGIES[0])];
    SCOPED_TRACE(round);
    expect_round_trip(data, raw_deflate(data, s.level, s.strategy), 1 + rng() % 64);
  }
}

TEST(InflateMatchesZlib, EmptyInputFromZlib) {
  std::vector<uint8_t> none;
  for (const auto& s : STRATEGIES) expect_round_trip(none, raw_deflate(none, s.level, s.strategy), 8192);
}
