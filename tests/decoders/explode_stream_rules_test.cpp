// Implode decoding: every mode round-trips through our encoder, a match
// before the start of the output gives zeros, the compressed size must be
// used exactly (result 5 with the bytes used otherwise), and bad trees give
// 4, 2 or 1.
#include <gtest/gtest.h>

#include "decoders/decoder_harness.h"
#include "decoders/sample_data.h"
#include "support/implode_encoder.h"

namespace {

const implode_options MODES[] = {{false, false}, {true, false}, {false, true}, {true, true}};

struct explode_run {
  int result;
  int64_t used = -1;
  std::vector<uint8_t> output;
  std::vector<uint32_t> flushes;
};

explode_run explode_bytes(const std::vector<uint8_t>& packed, uint16_t flags, uint32_t size, size_t chunk = 8192,
                          size_t fail_at = ~size_t(0), int fail_code = 0) {
  memory_decoder d(packed, chunk);
  d.fail_at_flush = fail_at;
  d.flush_result = fail_code;
  auto tables = std::make_unique<explode_tables>();
  explode_run r;
  r.result = explode_stream(d.io, *tables, {flags, size}, &r.used);
  r.output = d.output;
  r.flushes = d.flush_sizes;
  return r;
}

// Tree description with all symbols of one length: 16 runs of 16 (256
// symbols) or 4 runs of 16 (64 symbols); length 8 or 6 makes it complete.
std::vector<uint8_t> flat_tree(unsigned symbols, unsigned length) {
  std::vector<uint8_t> t{static_cast<uint8_t>(symbols / 16 - 1)};
  for (unsigned i = 0; i < symbols / 16; ++i) t.push_back(static_cast<uint8_t>(0xF0 | (length - 1)));
  return t;
}

}  // namespace

TEST(ExplodeStreamRules, EveryModeRoundTripsOverSeveralWindows) {
  for (const auto& [kind, data] : sample_data_sets()) {
    for (const auto& mode : MODES) {
      auto packed = implode_compress(data, mode);
      for (size_t chunk : {size_t(1), size_t(8192)}) {
        if (chunk == 1 && data.size() > 150000) continue;
        auto r = explode_bytes(packed, mode.flags(), static_cast<uint32_t>(data.size()), chunk);
        ASSERT_EQ(r.result, 0) << kind << " " << mode.flags();
        ASSERT_TRUE(r.output == data) << kind << " " << mode.flags();
      }
    }
  }
}

TEST(ExplodeStreamRules, MatchBeforeTheStartGivesZeros) {
  for (const auto& mode : MODES) {
    unsigned min = mode.minimum_match();
    std::vector<implode_token> tokens{{0, 'x'}, {3, min + 2}, {0, 'y'}};
    auto packed = implode_encode(tokens, mode);
    auto r = explode_bytes(packed, mode.flags(), 1 + min + 2 + 1);
    ASSERT_EQ(r.result, 0);
    std::vector<uint8_t> expect{'x', 0, 0, 'x'};
    while (expect.size() < 1 + min + 2) expect.push_back(expect[expect.size() - 3]);
    expect.push_back('y');
    EXPECT_TRUE(r.output == expect) << mode.flags();
  }
}

TEST(ExplodeStreamRules, CompressedSizeMustBeUsedExactly) {
  auto data = sample_text(20000);
  implode_options mode{true, true};
  auto packed = implode_compress(data, mode);
  // A trailing byte the decoder never needs.
  auto longer = packed;
  longer.push_back(0x55);
  auto r = explode_bytes(longer, mode.flags(), static_cast<uint32_t>(data.size()));
  EXPECT_EQ(r.result, 5);
  EXPECT_EQ(r.used, static_cast<int64_t>(packed.size()));
  EXPECT_TRUE(r.output == data);
  // Data that ends early: decoded to the full size with fill bits, then
  // reported.
  for (size_t missing : {size_t(1), size_t(5)}) {
    std::vector<uint8_t> shorter(packed.begin(), packed.end() - static_cast<long>(missing));
    auto s = explode_bytes(shorter, mode.flags(), static_cast<uint32_t>(data.size()), 100);
    EXPECT_EQ(s.result, 5) << missing;
    EXPECT_GT(s.used, static_cast<int64_t>(shorter.size()));
    EXPECT_EQ(s.output.size(), data.size());
  }
  // Far too early: decoding stops soon after the data ran out, instead of
  // making the whole declared size out of fill bits.
  std::vector<uint8_t> stub(packed.begin(), packed.begin() + 200);
  auto s = explode_bytes(stub, mode.flags(), 0xFFFFFFF0u);
  EXPECT_EQ(s.result, 5);
  EXPECT_GT(s.used, 200);
  EXPECT_LE(s.used, 200 + 70);
  EXPECT_LT(s.output.size(), 200000u);
}

TEST(ExplodeStreamRules, LastMatchIsCutAtTheEntrySize) {
  implode_options mode{false, false};
  std::vector<implode_token> tokens{{0, 'a'}, {1, 40}};
  auto r = explode_bytes(implode_encode(tokens, mode), mode.flags(), 10);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.output, std::vector<uint8_t>(10, 'a'));
}

TEST(ExplodeStreamRules, TreeDescriptionsAndCodeSets) {
  auto flat = [](std::vector<std::vector<uint8_t>> trees) {
    std::vector<uint8_t> s;
    for (auto& t : trees) s.insert(s.end(), t.begin(), t.end());
    for (int i = 0; i < 8; ++i) s.push_back(0);
    return s;
  };
  // Two trees, both complete (64 codes of 6 bits): fine.
  auto ok = explode_bytes(flat({flat_tree(64, 6), flat_tree(64, 6)}), 0, 1);
  EXPECT_NE(ok.result, 4);
  // Runs adding up to 48 instead of 64.
  std::vector<uint8_t> short_tree{2, 0xF5, 0xF5, 0xF5};
  EXPECT_EQ(explode_bytes(flat({short_tree, flat_tree(64, 6)}), 0, 1).result, 4);
  // Runs adding up to more than 64.
  std::vector<uint8_t> long_tree{4, 0xF5, 0xF5, 0xF5, 0xF5, 0x05};
  EXPECT_EQ(explode_bytes(flat({long_tree, flat_tree(64, 6)}), 0, 1).result, 4);
  // Nothing at all.
  EXPECT_EQ(explode_bytes({}, 0, 1).result, 4);
  // A tree cut inside its description.
  EXPECT_EQ(explode_bytes({3, 0xF5}, 0, 1).result, 4);
  // 64 codes of 5 bits: over-subscribed; of 7 bits: incomplete.
  EXPECT_EQ(explode_bytes(flat({flat_tree(64, 5), flat_tree(64, 6)}), 0, 1).result, 2);
  EXPECT_EQ(explode_bytes(flat({flat_tree(64, 6), flat_tree(64, 7)}), 0, 1).result, 1);
  // The literal tree comes first when flag bit 2 is set.
  EXPECT_EQ(explode_bytes(flat({flat_tree(256, 9), flat_tree(64, 6), flat_tree(64, 6)}), 4, 1).result, 1);
}

TEST(ExplodeStreamRules, FlushFailureIsReturnedAtOnce) {
  auto data = sample_runs(100000);
  implode_options mode{true, false};
  auto packed = implode_compress(data, mode);
  auto r = explode_bytes(packed, mode.flags(), static_cast<uint32_t>(data.size()), 8192, 1, 80);
  EXPECT_EQ(r.result, 80);
  EXPECT_EQ(r.flushes.size(), 2u);
}
