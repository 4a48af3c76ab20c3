// The committed generated tables are what their generators make: the CRC-32
// tables from the polynomial bit by bit, the fixed Deflate tables from the
// table builder (tools/gen_tables writes both files).
#include <gtest/gtest.h>

#include "crc32.h"
#include "crc32_tables.h"
#include "fixed_tables.h"
#include "huffman_table.h"
#include "inflate_symbols.h"

TEST(GeneratedTablesMatchGenerator, Crc32SliceTables) {
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ CRC32_POLYNOMIAL : c >> 1;
    ASSERT_EQ(CRC32_SLICE_TABLES[0][b], c);
    for (int k = 1; k < 16; ++k) {
      c = (c >> 8) ^ CRC32_SLICE_TABLES[0][c & 0xFF];
      ASSERT_EQ(CRC32_SLICE_TABLES[k][b], c) << k << " " << b;
    }
  }
}

TEST(GeneratedTablesMatchGenerator, FixedDeflateTables) {
  uint32_t storage[4096];
  auto ll = inflate_fixed_litlen_lengths();
  huff_table lt{storage, 4096, 0};
  ASSERT_EQ(huff_build(ll.data(), 288, INFLATE_LITLEN_TEMPLATES.data(), INFLATE_LITLEN_MAIN_BITS, true, lt),
            HUFF_OK);
  ASSERT_TRUE(huff_widen(lt, INFLATE_LITLEN_MAIN_BITS));
  for (unsigned i = 0; i < (1u << INFLATE_LITLEN_MAIN_BITS); ++i)
    ASSERT_EQ(storage[i], INFLATE_FIXED_TABLES.litlen[i]) << i;

  auto dl = inflate_fixed_dist_lengths();
  huff_table dt{storage, 4096, 0};
  ASSERT_EQ(huff_build(dl.data(), 32, INFLATE_DIST_TEMPLATES.data(), INFLATE_DIST_MAIN_BITS, true, dt), HUFF_OK);
  ASSERT_TRUE(huff_widen(dt, INFLATE_DIST_MAIN_BITS));
  for (unsigned i = 0; i < (1u << INFLATE_DIST_MAIN_BITS); ++i)
    ASSERT_EQ(storage[i], INFLATE_FIXED_TABLES.dist[i]) << i;
}
