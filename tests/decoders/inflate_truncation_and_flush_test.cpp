// A Deflate stream cut anywhere gives 1 (never a read past the input, which
// the harness's exact-size chunks would show to the sanitizers), and a flush
// that fails ends decoding at once with its own code.
#include <gtest/gtest.h>

#include <random>

#include "decoders/decoder_harness.h"
#include "decoders/deflate_writer.h"

namespace {

// A stream with a stored, a fixed and a dynamic block.
std::vector<uint8_t> three_blocks(std::vector<uint8_t>& expect) {
  deflate_writer w;
  w.block_header(false, 0);
  w.align();
  w.put_bits(3, 16);       // LEN
  w.put_bits(0xFFFC, 16);  // NLEN
  for (uint8_t c : {'a', 'b', 'c'}) w.put_byte(c);
  w.block_header(false, 1);
  w.fixed_symbol('d');
  w.fixed_symbol(258);       // length 4
  w.fixed_distance_code(3);  // distance 4
  w.fixed_symbol(256);
  std::vector<uint8_t> lit(259, 0);
  lit['e'] = 2;
  lit['f'] = 2;
  lit[256] = 2;
  lit[257] = 3;
  lit[258] = 3;
  w.dynamic_header(true, lit, {1, 1});
  w.lit('e');
  w.lit('f');
  w.lit(257);  // length 3
  w.dist(1);   // distance 2
  w.lit(256);
  expect = {'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd', 'e', 'f', 'e', 'f', 'e'};
  return w.finish();
}

}  // namespace

TEST(InflateTruncationAndFlush, EveryPrefixFailsCleanlyAndTheWholeStreamDecodes) {
  std::vector<uint8_t> expect;
  auto s = three_blocks(expect);
  for (size_t chunk : {size_t(1), size_t(2), size_t(8192)}) {
    memory_decoder whole(s, chunk);
    ASSERT_EQ(whole.inflate(), 0);
    EXPECT_TRUE(whole.output == expect);
    for (size_t cut = 0; cut < s.size(); ++cut) {
      memory_decoder d(std::vector<uint8_t>(s.begin(), s.begin() + cut), chunk);
      EXPECT_EQ(d.inflate(), 1) << "cut at " << cut;
    }
  }
}

TEST(InflateTruncationAndFlush, LongFixedStreamCutInTheFastLoop) {
  std::mt19937 rng(3);
  deflate_writer w;
  w.block_header(true, 1);
  for (int i = 0; i < 5000; ++i) {
    if (i > 10 && rng() % 3 == 0) {
      w.fixed_symbol(257 + rng() % 8);  // lengths 3-10
      w.fixed_distance_code(rng() % 4);  // distances 1-4
    } else {
      w.fixed_symbol(rng() % 256);
    }
  }
  w.fixed_symbol(256);
  auto s = w.finish();
  memory_decoder whole(s);
  ASSERT_EQ(whole.inflate(), 0);
  for (size_t cut = s.size() - 40; cut < s.size(); ++cut) {
    memory_decoder d(std::vector<uint8_t>(s.begin(), s.begin() + cut));
    EXPECT_EQ(d.inflate(), 1) << cut;
    EXPECT_LE(d.output.size(), whole.output.size());
  }
}

TEST(InflateTruncationAndFlush, FlushFailureIsReturnedAtOnce) {
  deflate_writer w;
  w.block_header(true, 1);
  w.fixed_symbol('q');
  for (int i = 0; i < 300; ++i) w.fixed_match_258_distance(0, 0, 0);
  w.fixed_symbol(256);
  for (int code : {50, 80}) {
    memory_decoder d(w.finish());
    d.fail_at_flush = 0;
    d.flush_result = code;
    EXPECT_EQ(d.inflate(), code);
    EXPECT_EQ(d.flush_sizes.size(), 1u);
  }
  // Also the final partial flush.
  memory_decoder d(w.finish());
  d.fail_at_flush = 2;
  d.flush_result = 80;
  EXPECT_EQ(d.inflate(), 80);
  EXPECT_EQ(d.flush_sizes.size(), 3u);
}
