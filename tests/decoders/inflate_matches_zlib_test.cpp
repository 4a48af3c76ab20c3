// Our Deflate decoder gives zlib's input back byte for byte, for every block
// type and strategy zlib writes, window sizes from 512 bytes to 32 KiB, and
// input handed over in 8 KiB blocks or a few bytes at a time.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "crc32.h"
#include "decoders/decoder_harness.h"
#include "decoders/deflate_writer.h"
#include "decoders/inflate_loops.h"
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

class InflateMatchesZlib : public each_inflate_loop {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Loops, InflateMatchesZlib, INFLATE_LOOPS, inflate_loop_name);

TEST_P(InflateMatchesZlib, EveryStrategyOnEveryKindOfData) {
  for (const auto& [kind, data] : sample_data_sets()) {
    for (const auto& s : STRATEGIES) {
      SCOPED_TRACE(std::string(kind) + "/" + s.name);
      auto packed = raw_deflate(data, s.level, s.strategy);
      expect_round_trip(data, packed, 8192);
    }
  }
}

TEST_P(InflateMatchesZlib, SmallWindowsAndTinyInputChunks) {
  auto data = sample_text(300000);
  for (int wbits = 9; wbits <= 15; wbits += 3) {
    auto packed = raw_deflate(data, 9, Z_DEFAULT_STRATEGY, wbits);
    for (size_t chunk : {size_t(1), size_t(3), size_t(17), size_t(8192)}) {
      SCOPED_TRACE("window bits " + std::to_string(wbits) + ", chunk " + std::to_string(chunk));
      expect_round_trip(data, packed, chunk);
    }
  }
}

TEST_P(InflateMatchesZlib, ManyShortRandomStreams) {
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

TEST_P(InflateMatchesZlib, EmptyInputFromZlib) {
  std::vector<uint8_t> none;
  for (const auto& s : STRATEGIES) expect_round_trip(none, raw_deflate(none, s.level, s.strategy), 8192);
}

// Data shaped for each fast path of the decoder: a few very common bytes
// (their short codes pair up in one table entry), random bytes over 32 to
// 256 values (codes of one length: decoded by stride), random bytes with
// repeats mixed in (where the stride guesses fail), and periods of every
// length from 1 to 50 (the match copies by distance).
TEST_P(InflateMatchesZlib, DataShapedForEachFastPath) {
  std::mt19937 rng(99);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> sets;
  std::vector<uint8_t> skewed(200000);
  for (auto& b : skewed) b = static_cast<uint8_t>(__builtin_ctz(rng() | 0x80000000u));
  sets.emplace_back("skewed", skewed);
  for (unsigned bits = 5; bits <= 8; ++bits) {
    std::vector<uint8_t> v(150000);
    for (auto& b : v) b = static_cast<uint8_t>(rng() & ((1u << bits) - 1));
    sets.emplace_back("uniform " + std::to_string(bits), v);
  }
  std::vector<uint8_t> mixed;
  while (mixed.size() < 200000) {
    if (mixed.size() > 100 && rng() % 20 == 0) {
      size_t from = mixed.size() - 1 - rng() % 100, len = 3 + rng() % 40;
      for (size_t i = 0; i < len; ++i) mixed.push_back(mixed[from + i]);
    } else {
      mixed.push_back(static_cast<uint8_t>(rng()));
    }
  }
  sets.emplace_back("mixed", mixed);
  std::vector<uint8_t> periods;
  for (int round = 0; round < 20; ++round)
    for (size_t period = 1; period <= 50; ++period) {
      std::vector<uint8_t> pattern(period);
      for (auto& b : pattern) b = static_cast<uint8_t>(rng());
      size_t len = period + rng() % 300;
      for (size_t i = 0; i < len; ++i) periods.push_back(pattern[i % period]);
      for (int i = 0; i < 5; ++i) periods.push_back(static_cast<uint8_t>(rng()));
    }
  sets.emplace_back("periods", periods);
  for (const auto& [kind, data] : sets) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_HUFFMAN_ONLY, Z_FILTERED}) {
      SCOPED_TRACE(kind + " strategy " + std::to_string(strategy));
      auto packed = raw_deflate(data, 9, strategy);
      expect_round_trip(data, packed, 8192);
      expect_round_trip(data, packed, 1 + rng() % 20);
    }
  }
}

// Damaged or cut-short streams of every kind give the same result, the
// same flushes and the same bytes whatever the pieces of input, so the fast
// loops and the careful one agree, also on where an error is noticed.
TEST_P(InflateMatchesZlib, DamagedStreamsGiveTheSameResultsWhateverThePieces) {
  std::mt19937 rng(5);
  auto sets = sample_data_sets();
  std::vector<uint8_t> skewed(150000);
  for (auto& b : skewed) b = static_cast<uint8_t>(__builtin_ctz(rng() | 0x80000000u));
  sets.emplace_back("skewed", skewed);
  for (const auto& [kind, data] : sets) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_HUFFMAN_ONLY}) {
      auto packed = raw_deflate(data, 6, strategy);
      for (int variant = 0; variant < 12; ++variant) {
        auto v = packed;
        size_t at = v.size() / 3 + rng() % (v.size() * 2 / 3);
        if (variant % 4 == 0) v.resize(at);
        else v[at] ^= static_cast<uint8_t>(1 + rng() % 255);
        SCOPED_TRACE(std::string(kind) + " strategy " + std::to_string(strategy) + " variant " +
                     std::to_string(variant));
        memory_decoder whole(v, 8192);
        int message = 0;
        int r = whole.inflate(&message);
        for (size_t chunk : {size_t(1), size_t(3), size_t(64)}) {
          memory_decoder d(v, chunk);
          int m = 0;
          EXPECT_EQ(d.inflate(&m), r) << chunk;
          EXPECT_EQ(m, message) << chunk;
          EXPECT_EQ(d.flush_sizes, whole.flush_sizes) << chunk;
          EXPECT_TRUE(d.output == whole.output) << chunk;
        }
      }
    }
  }
}

namespace {

// Decodes `packed` into a destination of `size` bytes twice, straight into
// it and through the staging buffer, and expects the same of both: result,
// tree message, flushes and bytes. Returns the direct run's in-place flushes.
size_t expect_direct_same_as_staged(const std::vector<uint8_t>& packed, size_t size, size_t chunk = 8192) {
  memory_decoder staged(packed, chunk), direct(packed, chunk);
  staged.use_destination(size, false);
  direct.use_destination(size, true);
  int staged_message = 0, direct_message = 0;
  const int r = staged.inflate(&staged_message);
  EXPECT_EQ(direct.inflate(&direct_message), r);
  EXPECT_EQ(direct_message, staged_message);
  EXPECT_EQ(direct.flush_sizes, staged.flush_sizes);
  EXPECT_TRUE(direct.output == staged.output);
  EXPECT_EQ(direct.placed, staged.placed);
  EXPECT_EQ(std::memcmp(direct.destination.get(), staged.destination.get(), staged.placed), 0);
  EXPECT_EQ(staged.in_place, 0u);
  return direct.in_place;
}

}  // namespace

// Decoding straight into the destination changes nothing the caller sees,
// whether the output fills the destination, leaves room, or overruns it;
// it stays inside the destination (exactly sized, so the sanitizer build
// catches a stray write) and copies only the last stretch of the output.
TEST_P(InflateMatchesZlib, StraightIntoTheDestinationAsThroughTheStagingBuffer) {
  for (const auto& [kind, data] : sample_data_sets()) {
    for (int level : {0, 6}) {
      SCOPED_TRACE(std::string(kind) + " level " + std::to_string(level));
      auto packed = raw_deflate(data, level, Z_DEFAULT_STRATEGY);
      const size_t n = data.size();
      const size_t in_place = expect_direct_same_as_staged(packed, n);
      // All but the last 64 KiB or so are decoded in place.
      EXPECT_GE(in_place * 32768 + 2 * 32768 + 384, n);
      expect_direct_same_as_staged(packed, n + 100000);
      expect_direct_same_as_staged(packed, n - 1);
      expect_direct_same_as_staged(packed, n / 2, 3);
    }
  }
  // Around the smallest destination decoded into, and where the window
  // leaves it for the staging buffer.
  std::mt19937 rng(17);
  for (size_t n : {size_t(0), size_t(33000), size_t(33152), size_t(65920), size_t(65921), size_t(98688),
                   size_t(98689), size_t(131072)}) {
    auto data = sample_text(n);
    auto packed = raw_deflate(data, 6, Z_DEFAULT_STRATEGY);
    for (size_t size : {n, n + 1, n + 383, n + 384, n + 32768, size_t(20000), size_t(33151), size_t(33152)}) {
      SCOPED_TRACE(std::to_string(n) + " into " + std::to_string(size));
      expect_direct_same_as_staged(packed, size, 1 + rng() % 9000);
    }
  }
}

TEST_P(InflateMatchesZlib, DamagedStreamsStraightIntoTheDestination) {
  std::mt19937 rng(23);
  for (const auto& [kind, data] : sample_data_sets()) {
    auto packed = raw_deflate(data, 6, Z_DEFAULT_STRATEGY);
    for (int variant = 0; variant < 16; ++variant) {
      auto v = packed;
      size_t at = rng() % v.size();
      if (variant % 4 == 0) v.resize(at);
      else v[at] ^= static_cast<uint8_t>(1 + rng() % 255);
      SCOPED_TRACE(std::string(kind) + " variant " + std::to_string(variant));
      expect_direct_same_as_staged(v, data.size());
      expect_direct_same_as_staged(v, data.size() + 40000, 1 + rng() % 100);
    }
  }
}

// Far distances whose codes are 15 bits long: with their 12 or 13 extra
// bits they take 27 or 28 bits, more than a refilled 32-bit buffer may hold
// (the narrow loop then takes the extra bits after a refill of their own).
// Literals of 9 bits in between shift where each match starts.
TEST_P(InflateMatchesZlib, FarDistancesWithTheLongestCodes) {
  std::vector<uint8_t> lit(286, 0), dist(30, 0);
  for (unsigned s = 0; s < 256; ++s) lit[s] = 9;
  lit[256] = lit[285] = 3;
  for (unsigned s = 257; s <= 280; ++s) lit[s] = 7;
  for (unsigned s = 281; s <= 284; ++s) lit[s] = 6;
  dist[0] = 1;
  for (unsigned s = 26; s <= 29; ++s) dist[s] = 15;
  const unsigned base[4] = {8193, 12289, 16385, 24577}, extra[4] = {12, 12, 13, 13};
  std::mt19937 rng(31);
  deflate_writer w;
  w.dynamic_header(true, lit, dist);
  std::vector<uint8_t> expect;
  auto literal = [&](unsigned b) {
    w.lit(b);
    expect.push_back(static_cast<uint8_t>(b));
  };
  for (int i = 0; i < 32768; ++i) literal(rng() % 256);
  for (int m = 0; m < 3000; ++m) {
    for (unsigned i = rng() % 4; i > 0; --i) literal(rng() % 256);
    const unsigned c = rng() % 4, x = rng() % (1u << extra[c]);
    w.lit(285);  // length 258
    w.dist(26 + c);
    w.put_bits(x, extra[c]);
    const size_t from = expect.size() - (base[c] + x);
    for (int k = 0; k < 258; ++k) expect.push_back(expect[from + k]);
  }
  w.lit(256);
  const auto packed = w.finish();
  for (size_t chunk : {size_t(1), size_t(13), size_t(8192)}) {
    memory_decoder d(packed, chunk);
    ASSERT_EQ(d.inflate(), 0) << chunk;
    EXPECT_TRUE(d.output == expect) << chunk;
  }
}
