// Matches across the end of the 32 KiB window: distance 1 with length 258
// repeating one byte over the boundary, and the farthest distance (32768)
// reading history from the previous round of the window.
#include <gtest/gtest.h>

#include <random>

#include "decoders/decoder_harness.h"
#include "decoders/deflate_writer.h"
#include "decoders/inflate_loops.h"

class InflateWindowBoundary : public each_inflate_loop {};
INSTANTIATE_TEST_SUITE_P(Loops, InflateWindowBoundary, INFLATE_LOOPS, inflate_loop_name);

TEST_P(InflateWindowBoundary, DistanceOneLength258AcrossTheBoundary) {
  deflate_writer w;
  w.block_header(true, 1);
  w.fixed_symbol('z');
  size_t n = 1;
  while (n < 32768 + 1000) {
    w.fixed_match_258_distance(0, 0, 0);  // distance 1
    n += 258;
  }
  w.fixed_symbol(256);
  for (size_t chunk : {size_t(1), size_t(8192)}) {
    memory_decoder d(w.finish(), chunk);
    ASSERT_EQ(d.inflate(), 0);
    ASSERT_EQ(d.output.size(), n);
    EXPECT_EQ(std::count(d.output.begin(), d.output.end(), 'z'), static_cast<long>(n));
    ASSERT_EQ(d.flush_sizes.size(), 2u);
    EXPECT_EQ(d.flush_sizes[0], 32768u);
  }
}

TEST_P(InflateWindowBoundary, FarthestDistanceReadsThePreviousRound) {
  std::mt19937 rng(9);
  std::vector<uint8_t> expect;
  deflate_writer w;
  w.block_header(true, 1);
  // 32768 + 100 random literals, then matches of distance 32768 (code 29,
  // 13 extra bits: base 24577 + 8191), each repeating bytes 32 KiB back.
  for (int i = 0; i < 32768 + 100; ++i) {
    unsigned b = rng() % 256;
    w.fixed_symbol(b);
    expect.push_back(static_cast<uint8_t>(b));
  }
  for (int m = 0; m < 200; ++m) {
    w.fixed_match_258_distance(29, 8191, 13);
    for (int k = 0; k < 258; ++k) expect.push_back(expect[expect.size() - 32768]);
  }
  w.fixed_symbol(256);
  for (size_t chunk : {size_t(1), size_t(7), size_t(8192)}) {
    memory_decoder d(w.finish(), chunk);
    ASSERT_EQ(d.inflate(), 0);
    EXPECT_TRUE(d.output == expect) << chunk;
  }
}
