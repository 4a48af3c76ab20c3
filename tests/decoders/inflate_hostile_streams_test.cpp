// Deflate streams no encoder writes: each header field and code set at its
// limits, with the result and the tree message each one must give.
#include <gtest/gtest.h>

#include "decoders/decoder_harness.h"
#include "decoders/deflate_writer.h"
#include "decoders/inflate_loops.h"

namespace {

int inflate_bytes(const std::vector<uint8_t>& s, std::vector<uint8_t>* out = nullptr, int* message = nullptr) {
  memory_decoder d(s);
  int r = d.inflate(message);
  if (out) *out = d.output;
  return r;
}

// Literal/length lengths: 'a' and 'b', end of block, and the length codes
// 257 (length 3) and 258 (length 4), in a complete code.
std::vector<uint8_t> small_litlen() {
  std::vector<uint8_t> l(259, 0);
  l['a'] = 2;
  l['b'] = 2;
  l[256] = 2;
  l[257] = 3;
  l[258] = 3;
  return l;
}

}  // namespace

class InflateHostileStreams : public each_inflate_loop {};
INSTANTIATE_TEST_SUITE_P(Loops, InflateHostileStreams, INFLATE_LOOPS, inflate_loop_name);

TEST_P(InflateHostileStreams, EmptyFixedBlockGivesNoOutputAndOneEmptyFlush) {
  deflate_writer w;
  w.block_header(true, 1);
  w.fixed_symbol(256);
  memory_decoder d(w.finish());
  EXPECT_EQ(d.inflate(), 0);
  EXPECT_TRUE(d.output.empty());
  ASSERT_EQ(d.flush_sizes.size(), 1u);
  EXPECT_EQ(d.flush_sizes[0], 0u);
}

TEST_P(InflateHostileStreams, StoredBlockLengthChecks) {
  deflate_writer good;
  good.block_header(true, 0);
  good.align();
  good.put_bits(5, 16);           // LEN
  good.put_bits(0xFFFF - 5, 16);  // NLEN
  for (char c : std::string("hello")) good.put_byte(static_cast<uint8_t>(c));
  std::vector<uint8_t> out;
  EXPECT_EQ(inflate_bytes(good.finish(), &out), 0);
  EXPECT_EQ(std::string(out.begin(), out.end()), "hello");

  deflate_writer bad;
  bad.block_header(true, 0);
  bad.align();
  bad.put_bits(5, 16);           // LEN
  bad.put_bits(0xFFFF - 4, 16);  // NLEN, not the complement
  for (char c : std::string("hello")) bad.put_byte(static_cast<uint8_t>(c));
  EXPECT_EQ(inflate_bytes(bad.finish()), 1);
}

TEST_P(InflateHostileStreams, ReservedBlockTypeGivesTwo) {
  deflate_writer w;
  w.block_header(true, 3);
  EXPECT_EQ(inflate_bytes(w.finish()), 2);
}

TEST_P(InflateHostileStreams, InvalidFixedCodesGiveOne) {
  for (unsigned s : {286u, 287u}) {
    deflate_writer w;
    w.block_header(true, 1);
    w.fixed_symbol('x');
    w.fixed_symbol(s);  // no such length code
    w.fixed_symbol(256);
    EXPECT_EQ(inflate_bytes(w.finish()), 1) << s;
  }
  for (unsigned d : {30u, 31u}) {
    deflate_writer w;
    w.block_header(true, 1);
    w.fixed_symbol('x');
    w.fixed_symbol(257);         // length 3
    w.fixed_distance_code(d);    // no such distance code
    w.fixed_symbol(256);
    EXPECT_EQ(inflate_bytes(w.finish()), 1) << d;
  }
}

TEST_P(InflateHostileStreams, DistanceBeforeTheStartOfTheOutputIsRejected) {
  deflate_writer w;
  w.block_header(true, 1);
  w.fixed_symbol('x');
  w.fixed_symbol(257);       // length 3
  w.fixed_distance_code(1);  // distance 2, one byte more than there is
  w.fixed_symbol(256);
  EXPECT_EQ(inflate_bytes(w.finish()), 1);
}

TEST_P(InflateHostileStreams, IncompleteAndSingleCodeDistanceSetsDecode) {
  for (int variant = 0; variant < 2; ++variant) {
    deflate_writer w;
    // Variant 0: one distance code of length 1 (code 0 = distance 1);
    // variant 1: an incomplete set, codes 0 and 3 of lengths 1 and 2.
    std::vector<uint8_t> dist = variant == 0 ? std::vector<uint8_t>{1} : std::vector<uint8_t>{1, 0, 0, 2};
    w.dynamic_header(true, small_litlen(), dist);
    w.lit('a');
    w.lit('b');
    if (variant == 1) {
      w.lit('a');
      w.lit('b');
    }
    w.lit(258);  // length 4
    w.dist(variant == 0 ? 0 : 3);  // distance 1, or distance 4 (no extra bits)
    w.lit(256);
    std::vector<uint8_t> out;
    int message = -1;
    ASSERT_EQ(inflate_bytes(w.finish(), &out, &message), 0) << variant;
    EXPECT_EQ(message, 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), variant == 0 ? "abbbbb" : "abababab");
  }
}

TEST_P(InflateHostileStreams, NoDistanceCodesWithLengthCodesSendsTheDTreeMessage) {
  deflate_writer w;
  w.dynamic_header(true, small_litlen(), {0});
  w.lit('a');
  w.lit(256);
  int message = 0;
  EXPECT_EQ(inflate_bytes(w.finish(), nullptr, &message), 1);
  EXPECT_EQ(message, INFLATE_INCOMPLETE_DTREE);

  // Without length codes (HLIT = 257) an empty distance set is fine.
  std::vector<uint8_t> lit(257, 0);
  lit['a'] = 1;
  lit[256] = 1;
  deflate_writer ok;
  ok.dynamic_header(true, lit, {0});
  ok.lit('a');
  ok.lit('a');
  ok.lit(256);
  std::vector<uint8_t> out;
  EXPECT_EQ(inflate_bytes(ok.finish(), &out, &message), 0);
  EXPECT_EQ(std::string(out.begin(), out.end()), "aa");
}

TEST_P(InflateHostileStreams, BadLiteralLengthSetsSendTheLTreeMessageOrGiveTwo) {
  auto lit = small_litlen();
  lit[258] = 0;  // incomplete now
  deflate_writer w;
  w.dynamic_header(true, lit, {1});
  int message = 0;
  EXPECT_EQ(inflate_bytes(w.finish(), nullptr, &message), 1);
  EXPECT_EQ(message, INFLATE_INCOMPLETE_LTREE);

  std::vector<uint8_t> empty(257, 0);
  deflate_writer e;
  e.dynamic_header(true, empty, {1});
  EXPECT_EQ(inflate_bytes(e.finish(), nullptr, &message), 1);
  EXPECT_EQ(message, INFLATE_INCOMPLETE_LTREE);

  lit = small_litlen();
  lit['c'] = 1;  // over-subscribed
  deflate_writer o;
  o.dynamic_header(true, lit, {1});
  message = 0;
  EXPECT_EQ(inflate_bytes(o.finish(), nullptr, &message), 2);
  EXPECT_EQ(message, 0);

  // An over-subscribed distance set gives 2 as well.
  deflate_writer d;
  d.dynamic_header(true, small_litlen(), {1, 1, 1});
  EXPECT_EQ(inflate_bytes(d.finish()), 2);
}

TEST_P(InflateHostileStreams, CodeLengthCodeProblems) {
  // Over-subscribed code-length code: three codes of length 1.
  deflate_writer o;
  o.block_header(true, 2);
  o.put_bits(0, 5);  // HLIT: 257
  o.put_bits(0, 5);  // HDIST: 1
  o.put_bits(0, 4);  // HCLEN: 4 (symbols 16, 17, 18, 0)
  o.put_bits(1, 3);  // 16: length 1
  o.put_bits(1, 3);  // 17: length 1
  o.put_bits(1, 3);  // 18: length 1
  o.put_bits(0, 3);  // 0: none
  EXPECT_EQ(inflate_bytes(o.finish()), 2);

  // Incomplete: one code of length 2.
  deflate_writer i;
  i.block_header(true, 2);
  i.put_bits(0, 5);  // HLIT
  i.put_bits(0, 5);  // HDIST
  i.put_bits(0, 4);  // HCLEN: 4
  i.put_bits(2, 3);  // 16: length 2
  i.put_bits(0, 3);  // 17
  i.put_bits(0, 3);  // 18
  i.put_bits(0, 3);  // 0
  EXPECT_EQ(inflate_bytes(i.finish()), 1);

  // Empty.
  deflate_writer e;
  e.block_header(true, 2);
  e.put_bits(0, 5);   // HLIT
  e.put_bits(0, 5);   // HDIST
  e.put_bits(0, 4);   // HCLEN
  e.put_bits(0, 12);  // four zero lengths
  EXPECT_EQ(inflate_bytes(e.finish()), 1);
}

TEST_P(InflateHostileStreams, RepeatRunningPastTheLengthsGivesOne) {
  deflate_writer w;
  w.block_header(true, 2);
  w.put_bits(0, 5);  // HLIT: 257
  w.put_bits(0, 5);  // HDIST: 1
  w.put_bits(0, 4);  // HCLEN: 4 (16, 17, 18, 0)
  w.put_bits(0, 3);  // 16: none
  w.put_bits(0, 3);  // 17: none
  w.put_bits(1, 3);  // 18: length 1 (code 0)
  w.put_bits(1, 3);  // 0: length 1 (code 1)
  w.put_code(0, 1);  // 18: zeros ...
  w.put_bits(127, 7);  // ... 138 of them
  w.put_code(0, 1);  // 18
  w.put_bits(127, 7);  // 138 more: 276 > 258
  EXPECT_EQ(inflate_bytes(w.finish()), 1);
}
