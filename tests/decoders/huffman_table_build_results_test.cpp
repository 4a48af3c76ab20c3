// The table builder's verdicts (complete, incomplete, over-subscribed,
// empty) and its tables: every code decodes to its symbol, unused code space
// decodes as invalid, and random complete codes never exceed the sizing
// bound of the decoders' tables.
#include <gtest/gtest.h>

#include <random>

#include "decoders/deflate_writer.h"
#include "explode.h"
#include "huffman_table.h"
#include "inflate.h"

namespace {

std::vector<uint32_t> plain_symbols(size_t n) {
  std::vector<uint32_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = huff_entry(0, static_cast<uint32_t>(i), 0);
  return s;
}

uint32_t reversed(uint32_t code, unsigned len) {
  uint32_t r = 0;
  for (unsigned i = 0; i < len; ++i) r |= ((code >> i) & 1u) << (len - 1 - i);
  return r;
}

// Decodes every symbol's code through the table.
void expect_every_code_decodes(const std::vector<uint8_t>& lengths, const huff_table& t) {
  auto codes = canonical_codes(lengths);
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (!lengths[s]) continue;
    uint64_t bits = reversed(codes[s], lengths[s]) | (uint64_t(0x5A5A) << lengths[s]);
    uint32_t e = huff_lookup(t.entries, t.main_bits, bits);
    ASSERT_EQ(huff_value(e), s);
    ASSERT_EQ(huff_code_length(e), lengths[s]);
  }
}

std::vector<uint8_t> random_complete_lengths(std::mt19937& rng, size_t n, unsigned max_len) {
  // Split code space at random: start from one code of length 0 and split
  // leaves until there are n.
  std::vector<uint8_t> leaves{0};
  while (leaves.size() < n) {
    size_t i = rng() % leaves.size();
    if (leaves[i] >= max_len) continue;
    uint8_t l = static_cast<uint8_t>(leaves[i] + 1);
    leaves[i] = l;
    leaves.push_back(l);
  }
  std::shuffle(leaves.begin(), leaves.end(), rng);
  return leaves;
}

}  // namespace

TEST(HuffmanTableBuildResults, Verdicts) {
  std::vector<uint32_t> storage(4096);
  huff_table t{storage.data(), 4096, 0};
  auto sym = plain_symbols(8);
  std::vector<uint8_t> empty(8, 0), single_one_bit{1, 0, 0}, single_two_bit{2, 0, 0},
      over{1, 1, 1}, complete{1, 2, 3, 3}, incomplete{1, 2, 3};
  EXPECT_EQ(huff_build(empty.data(), 8, sym.data(), 9, false, t), HUFF_OK);
  EXPECT_EQ(t.main_bits, 0u);
  EXPECT_TRUE(storage[0] & HUFF_INVALID);
  EXPECT_EQ(huff_build(single_one_bit.data(), 3, sym.data(), 9, false, t), HUFF_OK);
  EXPECT_TRUE(huff_lookup(t.entries, t.main_bits, 1) & HUFF_INVALID);
  EXPECT_EQ(huff_value(huff_lookup(t.entries, t.main_bits, 0)), 0u);
  EXPECT_EQ(huff_build(single_two_bit.data(), 3, sym.data(), 9, false, t), HUFF_INCOMPLETE);
  EXPECT_EQ(huff_build(over.data(), 3, sym.data(), 9, true, t), HUFF_OVER_SUBSCRIBED);
  EXPECT_EQ(huff_build(complete.data(), 4, sym.data(), 9, false, t), HUFF_OK);
  expect_every_code_decodes(complete, t);
  EXPECT_EQ(huff_build(incomplete.data(), 3, sym.data(), 9, false, t), HUFF_INCOMPLETE);
  ASSERT_EQ(huff_build(incomplete.data(), 3, sym.data(), 9, true, t), HUFF_INCOMPLETE);
  expect_every_code_decodes(incomplete, t);
  EXPECT_TRUE(huff_lookup(t.entries, t.main_bits, 0x7) & HUFF_INVALID);  // code 111 unused
}

TEST(HuffmanTableBuildResults, RandomCompleteCodesDecodeWithinTheBounds) {
  std::mt19937 rng(42);
  struct shape {
    size_t symbols;
    unsigned max_len, main_bits, capacity;
  };
  const shape shapes[] = {
      {288, 15, 11, inflate_workspace::LITLEN_SIZE},
      {256, 16, 10, explode_tables::LITERAL_SIZE},
      {64, 16, 8, explode_tables::SMALL_SIZE},
  };
  for (const auto& sh : shapes) {
    std::vector<uint32_t> storage(sh.capacity);
    auto sym = plain_symbols(sh.symbols);
    for (int round = 0; round < 300; ++round) {
      auto lengths = random_complete_lengths(rng, sh.symbols, sh.max_len);
      huff_table t{storage.data(), sh.capacity, 0};
      ASSERT_EQ(huff_build(lengths.data(), static_cast<unsigned>(lengths.size()), sym.data(), sh.main_bits,
                           false, t),
                HUFF_OK);
      expect_every_code_decodes(lengths, t);
    }
  }
  // The deepest complete codes: lengths 1, 2, ..., max, max.
  for (const auto& sh : shapes) {
    std::vector<uint8_t> lengths(sh.symbols, 0);
    for (unsigned i = 0; i < sh.max_len; ++i) lengths[i] = static_cast<uint8_t>(i + 1);
    lengths[sh.max_len] = static_cast<uint8_t>(sh.max_len);
    std::vector<uint32_t> storage(sh.capacity);
    auto sym = plain_symbols(sh.symbols);
    huff_table t{storage.data(), sh.capacity, 0};
    ASSERT_EQ(huff_build(lengths.data(), static_cast<unsigned>(lengths.size()), sym.data(), sh.main_bits, false, t),
              HUFF_OK);
    expect_every_code_decodes(lengths, t);
  }
}

TEST(HuffmanTableBuildResults, LongIncompleteDistanceCodesAndTooLittleStorage) {
  // Every distance code 15 bits long: far from complete, with sub-tables.
  std::vector<uint8_t> lengths(32, 15);
  std::vector<uint32_t> storage(inflate_workspace::DIST_SIZE);
  auto sym = plain_symbols(32);
  huff_table t{storage.data(), inflate_workspace::DIST_SIZE, 0};
  ASSERT_EQ(huff_build(lengths.data(), 32, sym.data(), 9, true, t), HUFF_INCOMPLETE);
  expect_every_code_decodes(lengths, t);
  // Too little storage is reported, never overrun.
  huff_table small{storage.data(), 520, 0};
  EXPECT_EQ(huff_build(lengths.data(), 32, sym.data(), 9, true, small), HUFF_NO_ROOM);
}
