// The time triple of an extracted file: the extended-timestamp and Unix
// extra blocks with their precedence rules, the MS-DOS time read as local
// time, and the shift on volumes that store local time.
#include <gtest/gtest.h>

#include <vector>

#include "engine_fixture.h"
#include "fake_local_time.h"
#include "file_metadata.h"
#include "forwarding_file_system.h"

namespace extraction_test {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
Bytes block(uint16_t tag, const Bytes& data) {
  Bytes b;
  put16(b, tag);
  put16(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}
Bytes timestamp(uint8_t flags, std::initializer_list<int32_t> times) {
  Bytes d{flags};
  for (int32_t t : times) put32(d, static_cast<uint32_t>(t));
  return block(0x5455, d);
}
Bytes unix_block(uint16_t tag, int32_t access, int32_t modification) {
  Bytes d;
  put32(d, static_cast<uint32_t>(access));
  put32(d, static_cast<uint32_t>(modification));
  put16(d, 1000);  // uid and gid follow; they are ignored
  put16(d, 1000);
  return block(tag, d);
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr uint32_t SOME_DOS_TIME = 0x58A16000;
constexpr uint32_t DOS_1980 = 0x00210000;

uint32_t scan(const Bytes& ef, unix_times& t, uint32_t dos = SOME_DOS_TIME) {
  return scan_unix_times(ef.data(), static_cast<uint32_t>(ef.size()), dos, t);
}

TEST(ScanUnixTimes, ExtendedTimestampGivesThePresentTimes) {
  unix_times t;
  EXPECT_EQ(scan(timestamp(7, {1000, 2000, 3000}), t), 7u);
  EXPECT_EQ(t.modification, 1000);
  EXPECT_EQ(t.access, 2000);
  EXPECT_EQ(t.creation, 3000);
  EXPECT_EQ(scan(timestamp(5, {1000, 3000}), t), 5u);
  EXPECT_EQ(t.creation, 3000);
  // Flags promise more than the block holds (the central-directory form).
  EXPECT_EQ(scan(timestamp(7, {1000}), t), 1u);
  EXPECT_EQ(scan(timestamp(1, {}), t), 0u);
}

TEST(ScanUnixTimes, TimesBefore1970OnlyForTheSmallestDosDate) {
  unix_times t;
  EXPECT_EQ(scan(timestamp(3, {-86400, -1}), t), 0u);
  EXPECT_EQ(scan(timestamp(3, {-86400, -1}), t, DOS_1980), 3u);
  EXPECT_EQ(t.modification, -86400);
  EXPECT_EQ(scan(timestamp(3, {5, -1}), t), 1u);  // a negative access time alone is dropped
  EXPECT_EQ(scan(unix_block(0x5855, 10, -5), t), 0u);
  EXPECT_EQ(scan(unix_block(0x5855, -10, 20), t), 1u);
}

TEST(ScanUnixTimes, UnixBlocksYieldToNewerBlocks) {
  unix_times t;
  EXPECT_EQ(scan(unix_block(0x5855, 10, 20), t), 3u);
  EXPECT_EQ(t.access, 10);
  EXPECT_EQ(t.modification, 20);
  EXPECT_EQ(scan(unix_block(0x000D, 11, 21), t), 3u);
  EXPECT_EQ(scan(timestamp(1, {99}) + unix_block(0x5855, 10, 20), t), 1u);
  EXPECT_EQ(t.modification, 99);
  EXPECT_EQ(scan(unix_block(0x5855, 10, 20) + timestamp(1, {99}), t), 1u);
  EXPECT_EQ(t.modification, 99);
  EXPECT_EQ(scan(unix_block(0x5855, 10, 20) + block(0x7855, {1, 2, 3, 4}), t), 0u);
  EXPECT_EQ(scan(block(0x7855, {}) + unix_block(0x5855, 10, 20), t), 0u);
}

TEST(ScanUnixTimes, ABlockLongerThanTheFieldEndsTheWalk) {
  unix_times t;
  Bytes ef = timestamp(1, {42});
  Bytes bad = block(0x5455, {1, 1, 2, 3, 4});
  bad[2] = 200;  // claims 200 bytes
  EXPECT_EQ(scan(ef + bad, t), 1u);
  EXPECT_EQ(t.modification, 42);
  EXPECT_EQ(scan(bad + ef, t), 0u);
  EXPECT_EQ(scan_unix_times(nullptr, 0, 0, t), 0u);
}

class EntryTimes : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    set_name(root_ + "file");
  }
  uint32_t times(int64_t& m, int64_t& a, int64_t& c) { return entry_file_times(ctx_, m, a, c); }
  void set_extra(Bytes ef) {
    extra_ = std::move(ef);
    ctx_.extra_field = extra_.data();
    ctx_.extra_field_length = static_cast<uint16_t>(extra_.size());
  }
  void TearDown() override { ctx_.extra_field = nullptr; }
  static int64_t ticks(int64_t t) { return t * 10000000 + platform::FILETIME_UNIX_EPOCH; }

  FakeLocalTime zone_;
  platform::ScopedService<platform::LocalTime> use_zone_{zone_};
  Bytes extra_;
};

TEST_F(EntryTimes, DosTimeIsLocalWallClockTime) {
  FakeVolume ntfs{255, "NTFS"};
  platform::ScopedService<platform::FileSystem> use(ntfs);
  ctx_.local.dos_time = dos_time(2024, 7, 1, 12, 0, 30);
  int64_t m = 0, a = 0, c = -1;
  EXPECT_EQ(times(m, a, c), 3u);
  int64_t utc = wall_seconds(2024, 7, 1, 10, 0, 30);
  EXPECT_EQ(dos_to_unix_time(ctx_.local.dos_time), utc);
  EXPECT_EQ(m, ticks(utc));
  EXPECT_EQ(a, ticks(utc));
  EXPECT_EQ(c, -1);  // untouched: the file keeps its creation time
}

TEST_F(EntryTimes, ExtendedTimestampSetsAllThree) {
  FakeVolume ntfs{255, "NTFS"};
  platform::ScopedService<platform::FileSystem> use(ntfs);
  set_extra(timestamp(7, {1700000000, 1700000100, 1600000000}));
  int64_t m = 0, a = 0, c = 0;
  EXPECT_EQ(times(m, a, c), 7u);
  EXPECT_EQ(m, ticks(1700000000));
  EXPECT_EQ(a, ticks(1700000100));
  EXPECT_EQ(c, ticks(1600000000));
}

TEST_F(EntryTimes, FatVolumeShowsTheStoredSummerTimeInWinter) {
  FakeVolume fat{255, "FAT32"};
  platform::ScopedService<platform::FileSystem> use(fat);
  ctx_.local.dos_time = dos_time(2024, 7, 1, 12, 0, 0);
  int64_t m = 0, a = 0, c = 0;
  times(m, a, c);
  // The volume stores m shifted by today's (winter) offset; that must read 12:00.
  int64_t stored = 0;
  ASSERT_TRUE(zone_.file_time_to_local(m, stored));
  EXPECT_EQ(stored, ticks(wall_seconds(2024, 7, 1, 12, 0, 0)));
}

TEST_F(EntryTimes, FatVolumeClampsTimesBefore1980) {
  FakeVolume fat{255, "FAT"};
  platform::ScopedService<platform::FileSystem> use(fat);
  set_extra(timestamp(1, {100000}));  // 1970-01-02
  int64_t m = 0, a = 0, c = 0;
  EXPECT_EQ(times(m, a, c), 1u);
  int64_t stored = 0;
  ASSERT_TRUE(zone_.file_time_to_local(m, stored));
  EXPECT_EQ(stored, ticks(wall_seconds(1980, 1, 1, 0, 0, 0)));
}

TEST_F(EntryTimes, UnrepresentableDosTimeBecomesTheLargestTime) {
  EXPECT_EQ(dos_to_unix_time(dos_time(2107, 12, 31, 23, 59, 58)), 0x7FFFFFFF);
}

}  // namespace
}  // namespace extraction_test
