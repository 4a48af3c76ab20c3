// Entry attributes and finishing a file: the MS-DOS bits with the archive
// bit, the Unix permission bits carried for Unix-host entries, and a
// read-only entry that still gets its time.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "file_metadata.h"
#include "output.h"

namespace extraction_test {
namespace {

uint32_t mapped(uint32_t external, uint8_t host = 0) {
  EngineContext ctx;
  ctx.info = &ctx.infos[0];
  ctx.central.external_attributes = external;
  ctx.central.made_by_host = host;
  map_attributes(ctx);
  return ctx.info->file_attributes;
}

TEST(MapAttributes, DosBitsWithTheArchiveBitForFiles) {
  EXPECT_EQ(mapped(0x00), 0x20u);
  EXPECT_EQ(mapped(0x01), 0x21u);
  EXPECT_EQ(mapped(0x10), 0x10u);
  EXPECT_EQ(mapped(0x27), 0x27u);
  EXPECT_EQ(mapped(0x81ED0000u), 0x20u) << "a FAT host's high bits mean nothing";
}

TEST(MapAttributes, UnixHostEntriesCarryTheirPermissionBits) {
  uint32_t a = mapped(0x81ED0000u, 3);  // regular file, 0755
  EXPECT_TRUE(a & ENTRY_ATTR_HAS_UNIX_MODE);
  EXPECT_EQ(a >> ENTRY_ATTR_UNIX_SHIFT, 0755u);
  EXPECT_EQ(a & 0xFF, 0x20u);
  EXPECT_EQ(mapped(0x89ED0000u, 3) >> ENTRY_ATTR_UNIX_SHIFT, 0755u) << "set-user-id is not carried";
  EXPECT_FALSE(mapped(0xA1FF0000u, 3) & ENTRY_ATTR_HAS_UNIX_MODE) << "a link's bits are not a file's";
  EXPECT_FALSE(mapped(0x00000001u, 3) & ENTRY_ATTR_HAS_UNIX_MODE);
}

class CloseOutputFile : public EngineTest {};

TEST_F(CloseOutputFile, ReadOnlyEntryIsReadOnlyAndStillGetsItsTime) {
  set_name(root_ + "ro.txt");
  ctx_.info->file_attributes = 0x21;
  ctx_.local.dos_time = 0x4A2F6B5E;  // 2017-01-15 13:26:60
  ASSERT_EQ(open_output_file(ctx_), 0);
  ASSERT_EQ(flush_output(ctx_, reinterpret_cast<const uint8_t*>("data"), 4), 0);
  close_output_file(ctx_);
  EXPECT_EQ(messages_.all, "");
  platform::FileStatus st;
  ASSERT_EQ(platform::file_system().status(root_ + "ro.txt", st), platform::Error::none);
  EXPECT_TRUE(st.attributes & platform::FILE_ATTR_READONLY);
  EXPECT_EQ(st.modification.seconds, dos_to_unix_time(0x4A2F6B5E));
  EXPECT_EQ(read_file(root_ + "ro.txt"), "data");
  status_record sr;
  ASSERT_EQ(file_status(ctx_, (root_ + "ro.txt").c_str(), sr), 0);
  EXPECT_FALSE(sr.is_directory);
  EXPECT_EQ(sr.permissions, STATUS_READ);
  EXPECT_EQ(sr.size, 4u);
  EXPECT_EQ(sr.modification, dos_to_unix_time(0x4A2F6B5E));
  // A second extraction replaces the read-only file.
  ASSERT_EQ(open_output_file(ctx_), 0);
  close_output_file(ctx_);
  EXPECT_EQ(read_file(root_ + "ro.txt"), "");
}

TEST_F(CloseOutputFile, FileStatusOfDirectoriesAndMissingPaths) {
  status_record sr;
  ASSERT_EQ(file_status(ctx_, dir_.path().c_str(), sr), 0);
  EXPECT_TRUE(sr.is_directory);
  EXPECT_EQ(file_status(ctx_, (root_ + "absent").c_str(), sr), -1);
  write_file(root_ + "run.EXE", "MZ");
  ASSERT_EQ(file_status(ctx_, (root_ + "run.EXE").c_str(), sr), 0);
  EXPECT_EQ(sr.permissions, STATUS_READ | STATUS_WRITE | STATUS_EXECUTE);
}

}  // namespace
}  // namespace extraction_test
