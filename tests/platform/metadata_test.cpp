// Times and attributes: what is set by path or on an open handle is what
// status() reads back, absent times stay, read-only comes and goes, and
// status() of a missing path is "missing", not an error.
#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/file.h"
#include "platform/file_system.h"

using platform::Error;
using platform::File;
using platform::FileStatus;
using platform::FileTime;
using platform::FileTimes;

namespace {

void make_file(const std::string& path, const char* text) {
  File f;
  ASSERT_EQ(platform::file_system().create(path, f), Error::none);
  ASSERT_EQ(f.write(text, std::char_traits<char>::length(text)).error, Error::none);
  ASSERT_EQ(f.close(), Error::none);
}

}  // namespace

TEST(Metadata, StatusOfFileDirectoryAndMissing) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  make_file(dir / "f", "12345");
  FileStatus st;
  ASSERT_EQ(fs.status(dir / "f", st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::file);
  EXPECT_EQ(st.size, 5u);
  EXPECT_EQ(st.attributes & platform::FILE_ATTR_DIRECTORY, 0u);

  ASSERT_EQ(fs.status(dir.path(), st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::directory);
  EXPECT_NE(st.attributes & platform::FILE_ATTR_DIRECTORY, 0u);

  ASSERT_EQ(fs.status(dir / "nothing", st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::missing);
  uint32_t attributes;
  EXPECT_EQ(fs.get_attributes(dir / "nothing", attributes), Error::not_found);
}

TEST(Metadata, TimesByPathAndByHandle) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string path = dir / "t";
  make_file(path, "x");

  // 2001-09-09 01:46:40 UTC and a time before 1980 (DOS cannot hold it,
  // extra fields can); sub-second parts in 100 ns steps survive FILETIME.
  FileTimes set;
  set.modification = FileTime{1000000000, 500000000};
  set.access = FileTime{200000000, 0};
  ASSERT_EQ(fs.set_times(path, set), Error::none);
  FileStatus st;
  ASSERT_EQ(fs.status(path, st), Error::none);
  EXPECT_EQ(st.modification, (FileTime{1000000000, 500000000}));
  EXPECT_EQ(st.access, (FileTime{200000000, 0}));

  // Only the access time: the modification time stays.
  FileTimes only_access;
  only_access.access = FileTime{300000000, 0};
  ASSERT_EQ(fs.set_times(path, only_access), Error::none);
  ASSERT_EQ(fs.status(path, st), Error::none);
  EXPECT_EQ(st.modification.seconds, 1000000000);
  EXPECT_EQ(st.access.seconds, 300000000);

  // On a handle opened for writing, as the extractor sets times after the
  // data is written.
  File f;
  ASSERT_EQ(fs.open_write_existing(path, f), Error::none);
  FileTimes handle_times;
  handle_times.modification = FileTime{1234567890, 0};
  handle_times.access = FileTime{1234567890, 0};
  handle_times.creation = FileTime{1234567890, 0};
  ASSERT_EQ(f.set_times(handle_times), Error::none);
  ASSERT_EQ(f.close(), Error::none);
  ASSERT_EQ(fs.status(path, st), Error::none);
  EXPECT_EQ(st.modification.seconds, 1234567890);
  EXPECT_EQ(st.access.seconds, 1234567890);
  // POSIX has no creation time and reports the modification time; Windows
  // keeps what was set. Either way it is the value set here.
  EXPECT_EQ(st.creation.seconds, 1234567890);
}

TEST(Metadata, ReadOnlyAttributeRoundTrip) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string path = dir / "ro";
  make_file(path, "data");
  uint32_t a = 0;
  ASSERT_EQ(fs.get_attributes(path, a), Error::none);
  EXPECT_EQ(a & platform::FILE_ATTR_READONLY, 0u);

  ASSERT_EQ(fs.set_attributes(path, platform::FILE_ATTR_READONLY | platform::FILE_ATTR_ARCHIVE), Error::none);
  ASSERT_EQ(fs.get_attributes(path, a), Error::none);
  EXPECT_NE(a & platform::FILE_ATTR_READONLY, 0u);
  FileStatus st;
  ASSERT_EQ(fs.status(path, st), Error::none);
  EXPECT_NE(st.attributes & platform::FILE_ATTR_READONLY, 0u);

  // Times can still be set on a read-only file by path.
  FileTimes t;
  t.modification = FileTime{946684800, 0};
  EXPECT_EQ(fs.set_times(path, t), Error::none);

  // Clearing it gives the owner write access back, so the file can be
  // rewritten and removed.
  ASSERT_EQ(fs.set_attributes(path, a & ~platform::FILE_ATTR_READONLY), Error::none);
  ASSERT_EQ(fs.get_attributes(path, a), Error::none);
  EXPECT_EQ(a & platform::FILE_ATTR_READONLY, 0u);
  File f;
  EXPECT_EQ(fs.open_write_existing(path, f), Error::none);
  f.close();
  EXPECT_EQ(fs.delete_file(path), Error::none);
}

TEST(Metadata, HiddenAndSystemBitsAreAccepted) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string path = dir / "h";
  make_file(path, "");
  // The engine passes the archive's attribute byte (directory bit and all);
  // setting must not fail on bits that mean nothing for a file.
  EXPECT_EQ(fs.set_attributes(path, platform::FILE_ATTR_HIDDEN | platform::FILE_ATTR_SYSTEM | 0x10), Error::none);
  EXPECT_EQ(fs.set_attributes(path, 0), Error::none);
  uint32_t a = 0;
  ASSERT_EQ(fs.get_attributes(path, a), Error::none);
  EXPECT_EQ(a & (platform::FILE_ATTR_READONLY | platform::FILE_ATTR_HIDDEN | platform::FILE_ATTR_SYSTEM), 0u);
  // A directory keeps its directory bit whatever is set.
  EXPECT_EQ(fs.set_attributes(dir.path(), platform::FILE_ATTR_ARCHIVE), Error::none);
  ASSERT_EQ(fs.get_attributes(dir.path(), a), Error::none);
  EXPECT_NE(a & platform::FILE_ATTR_DIRECTORY, 0u);
}
