// A Deflate stream cut anywhere gives 1 (never a read past the input, which
// the harness's exact-size chunks would show to the sanitizers), and a flush
// that fails ends decoding at once with its own code.
#include <gtest/gtest.h>

#include <random>

#include "decoders/decoder_harness.h"
#include "decoders/deflate_writer.h"
#include "decoders/inflate_loops.h"

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

// A fixed block of 32,767 bytes so far: one literal and 127 matches. The
// fast loop then takes the next two literals and the code after them in
// one go.
deflate_writer one_byte_before_the_flush_point(bool last) {
  deflate_writer w;
  w.block_header(last, 1);
  w.fixed_symbol('a');
  for (int i = 0; i < 127; ++i) w.fixed_match_258_distance(0, 0, 0);  // distance 1
  return w;
}

}  // namespace

class InflateTruncationAndFlush : public each_inflate_loop {};
INSTANTIATE_TEST_SUITE_P(Loops, InflateTruncationAndFlush, INFLATE_LOOPS, inflate_loop_name);

TEST_P(InflateTruncationAndFlush, EveryPrefixFailsCleanlyAndTheWholeStreamDecodes) {
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

TEST_P(InflateTruncationAndFlush, LongFixedStreamCutInTheFastLoop) {
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

TEST_P(InflateTruncationAndFlush, FlushFailureIsReturnedAtOnce) {
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

TEST_P(InflateTruncationAndFlush, AnErrorJustPastTheFlushPointComesAfterTheFlush) {
  for (int bad = 0; bad < 2; ++bad) {
    deflate_writer w = one_byte_before_the_flush_point(true);
    w.fixed_symbol('b');
    w.fixed_symbol('c');
    if (bad == 0) {
      w.fixed_symbol(286);  // no such length code
    } else {
      w.fixed_symbol(257);
      w.fixed_distance_code(30);  // no such distance code
    }
    for (int i = 0; i < 40; ++i) w.fixed_symbol('d');
    w.fixed_symbol(256);
    for (size_t chunk : {size_t(1), size_t(8192)}) {
      memory_decoder d(w.finish(), chunk);
      EXPECT_EQ(d.inflate(), 1) << bad << " " << chunk;
      EXPECT_EQ(d.flush_sizes, std::vector<uint32_t>{32768}) << bad << " " << chunk;
      // A cancel in that flush wins over the error.
      memory_decoder c(w.finish(), chunk);
      c.fail_at_flush = 0;
      c.flush_result = 80;
      EXPECT_EQ(c.inflate(), 80) << bad << " " << chunk;
    }
  }
}

TEST_P(InflateTruncationAndFlush, StoredBlockRightBehindTheFlushPoint) {
  // The first block ends one byte past the flush point. The stored block
  // that follows must not be copied in before that full block is flushed
  // (it once overran the staging buffer).
  deflate_writer w = one_byte_before_the_flush_point(false);
  w.fixed_symbol('b');
  w.fixed_symbol('c');
  w.fixed_symbol(256);
  w.block_header(true, 0);
  w.align();
  w.put_bits(8000, 16);           // LEN
  w.put_bits(0xFFFF - 8000, 16);  // NLEN
  std::vector<uint8_t> expect(32767, 'a');
  expect.push_back('b');
  expect.push_back('c');
  for (int i = 0; i < 8000; ++i) {
    w.put_byte(static_cast<uint8_t>(i * 7));
    expect.push_back(static_cast<uint8_t>(i * 7));
  }
  for (size_t chunk : {size_t(1), size_t(8192), size_t(65536)}) {
    memory_decoder d(w.finish(), chunk);
    ASSERT_EQ(d.inflate(), 0) << chunk;
    EXPECT_TRUE(d.output == expect) << chunk;
    EXPECT_EQ(d.flush_sizes, (std::vector<uint32_t>{32768, 8001})) << chunk;
  }
}

TEST_P(InflateTruncationAndFlush, CutInsideTheExtraBitsOfAFarDistance) {
  // 65,526 bytes, then a match 32,768 back (13 extra bits, a base that
  // needs the high bits of its table entry) that would cross the second
  // flush point. Cut anywhere inside it, the stream fails with only the
  // first block flushed: the match is never taken on the bits that are
  // missing.
  std::mt19937 rng(17);
  deflate_writer w;
  w.block_header(true, 1);
  for (int i = 0; i < 65526; ++i) w.fixed_symbol(rng() % 256);
  size_t before = w.bytes.size();
  w.fixed_match_258_distance(29, 8191, 13);
  w.fixed_symbol(256);
  auto s = w.finish();
  for (size_t chunk : {size_t(1), size_t(8192)}) {
    memory_decoder whole(s, chunk);
    ASSERT_EQ(whole.inflate(), 0);
    ASSERT_EQ(whole.output.size(), 65526u + 258);
    for (size_t cut = before; cut < s.size() - 1; ++cut) {
      memory_decoder d(std::vector<uint8_t>(s.begin(), s.begin() + cut), chunk);
      EXPECT_EQ(d.inflate(), 1) << cut;
      EXPECT_EQ(d.flush_sizes, std::vector<uint32_t>{32768}) << cut;
    }
  }
}

// Whatever the pieces the input comes in, a stream gives the same result,
// the same flushes and the same bytes: every full 32 KiB is flushed before
// the decoder acts on anything after it, also when that is an error.
TEST_P(InflateTruncationAndFlush, FlushesDoNotDependOnTheInputPieces) {
  std::mt19937 rng(23);
  deflate_writer w;
  w.block_header(true, 1);
  size_t out = 0;
  while (out < 80000) {
    if (out > 1100 && rng() % 2) {
      unsigned length = rng() % 9;  // 3 to 10, or 258
      w.fixed_symbol(length < 8 ? 257 + length : 285);
      out += length < 8 ? 3 + length : 258;
      unsigned code = rng() % 20;  // distances up to 1,024
      w.fixed_distance_code(code);
      w.put_bits(rng(), code < 4 ? 0 : code / 2 - 1);
    } else {
      w.fixed_symbol(rng() % 256);
      out += 1;
    }
  }
  w.fixed_symbol(256);
  const auto s = w.finish();
  std::vector<std::vector<uint8_t>> variants{s};
  for (int i = 0; i < 40; ++i) {
    auto v = s;
    size_t at = v.size() / 4 + rng() % (v.size() * 3 / 4);
    if (i % 3 == 0) v.resize(at);  // cut short
    else v[at] ^= static_cast<uint8_t>(1 + rng() % 255);  // damaged
    variants.push_back(v);
  }
  for (size_t i = 0; i < variants.size(); ++i) {
    memory_decoder whole(variants[i], 8192);
    int r = whole.inflate();
    if (i == 0) {
      ASSERT_EQ(r, 0);
    }
    for (size_t chunk : {size_t(1), size_t(5), size_t(100)}) {
      memory_decoder d(variants[i], chunk);
      EXPECT_EQ(d.inflate(), r) << i << " " << chunk;
      EXPECT_EQ(d.flush_sizes, whole.flush_sizes) << i << " " << chunk;
      EXPECT_TRUE(d.output == whole.output) << i << " " << chunk;
    }
  }
}
