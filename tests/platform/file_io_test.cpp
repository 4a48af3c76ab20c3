// Open files: data written comes back byte for byte, positions and sizes are
// 64-bit, the open modes keep or refuse existing files as documented, and a
// File closes itself and can be moved.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "platform/file.h"
#include "platform/file_system.h"

using platform::Error;
using platform::File;

namespace {

std::string read_all(const std::string& path) {
  File f;
  EXPECT_EQ(platform::file_system().open_read(path, f), Error::none);
  std::string data;
  char buf[8192];
  for (;;) {
    auto r = f.read(buf, sizeof buf);
    EXPECT_TRUE(r.ok());
    if (!r.ok() || r.value == 0) break;
    data.append(buf, static_cast<size_t>(r.value));
  }
  return data;
}

}  // namespace

TEST(FileIo, WriteReadSeekAndSize) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string path = dir / "data.bin";

  // Blocks of the sizes the extractor and the archive reader use, with
  // every byte value in them.
  std::vector<char> block(32768);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 3);
  File out;
  ASSERT_EQ(fs.create(path, out), Error::none);
  for (int k = 0; k < 3; ++k) {
    auto w = out.write(block.data(), block.size());
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(w.value, 32768);
  }
  EXPECT_EQ(out.size().value, 3 * 32768);
  ASSERT_EQ(out.close(), Error::none);
  EXPECT_FALSE(out.is_open());
  EXPECT_EQ(out.close(), Error::none);  // closing twice is harmless

  File in;
  ASSERT_EQ(fs.open_read(path, in), Error::none);
  EXPECT_EQ(in.size().value, 3 * 32768);
  auto s = in.seek(32768 + 100);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.value, 32768 + 100);
  char buf[8192];
  auto r = in.read(buf, sizeof buf);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.value, 8192);
  EXPECT_EQ(std::memcmp(buf, block.data() + 100, 8192), 0);
  // At the end: a short read, then 0.
  ASSERT_TRUE(in.seek(3 * 32768 - 10).ok());
  EXPECT_EQ(in.read(buf, sizeof buf).value, 10);
  r = in.read(buf, sizeof buf);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.value, 0);
  // Beyond the end is a valid position that reads nothing.
  EXPECT_EQ(in.seek(1000000).value, 1000000);
  EXPECT_EQ(in.read(buf, sizeof buf).value, 0);
}

TEST(FileIo, SeekPastFourGigabytesInSparseFile) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  File f;
  ASSERT_EQ(platform::file_system().create(dir / "big", f), Error::none);
  const int64_t far = (int64_t(1) << 32) + 12345;
  auto s = f.seek(far);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.value, far);
  ASSERT_EQ(f.write("x", 1).value, 1);
  EXPECT_EQ(f.size().value, far + 1);
}

TEST(FileIo, CreateTruncatesAndExclusiveRefusesExisting) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string path = dir / "f.txt";
  File f;
  ASSERT_EQ(fs.create_exclusive(path, f), Error::none);
  ASSERT_EQ(f.write("hello world", 11).value, 11);
  ASSERT_EQ(f.close(), Error::none);

  EXPECT_EQ(fs.create_exclusive(path, f), Error::already_exists);
  EXPECT_FALSE(f.is_open());
  EXPECT_EQ(read_all(path), "hello world");

  // Writing into an existing file keeps what is not overwritten.
  ASSERT_EQ(fs.open_write_existing(path, f), Error::none);
  ASSERT_EQ(f.write("J", 1).value, 1);
  ASSERT_EQ(f.close(), Error::none);
  EXPECT_EQ(read_all(path), "Jello world");

  ASSERT_EQ(fs.open_read_write(path, f), Error::none);
  char c;
  ASSERT_EQ(f.read(&c, 1).value, 1);
  EXPECT_EQ(c, 'J');
  ASSERT_EQ(f.close(), Error::none);

  ASSERT_EQ(fs.create(path, f), Error::none);
  ASSERT_EQ(f.write("ab", 2).value, 2);
  ASSERT_EQ(f.close(), Error::none);
  EXPECT_EQ(read_all(path), "ab");
}

TEST(FileIo, OpenFailuresAreNamed) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  File f;
  EXPECT_EQ(fs.open_read(dir / "missing", f), Error::not_found);
  EXPECT_EQ(fs.open_read_write(dir / "missing", f), Error::not_found);
  EXPECT_EQ(fs.open_write_existing(dir / "missing", f), Error::not_found);
  EXPECT_EQ(fs.create(dir / "no" + fs.path_separator() + "such", f), Error::not_found);
  EXPECT_EQ(fs.open_read(dir.path(), f), Error::is_directory);
  EXPECT_FALSE(f.is_open());
  // A device opens like a file but is none: open_read refuses it.
  EXPECT_EQ(fs.open_read(fs.path_separator() == '\\' ? "NUL" : "/dev/null", f), Error::not_regular_file);
  EXPECT_FALSE(f.is_open());
  // A closed File refuses work instead of touching a stale handle.
  char c;
  EXPECT_EQ(f.read(&c, 1).error, Error::io);
  EXPECT_EQ(f.write(&c, 1).error, Error::io);
}

TEST(FileIo, MovedFileKeepsHandleAndClosesOnce) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  File a;
  ASSERT_EQ(fs.create(dir / "m", a), Error::none);
  File b(std::move(a));
  EXPECT_FALSE(a.is_open());
  ASSERT_TRUE(b.is_open());
  EXPECT_EQ(b.write("xyz", 3).value, 3);
  File c;
  c = std::move(b);
  EXPECT_FALSE(b.is_open());
  EXPECT_EQ(c.write("!", 1).value, 1);
  {
    File scoped = std::move(c);
  }  // closed here
  EXPECT_EQ(read_all(dir / "m"), "xyz!");
  // The file is closed, so it can be removed (Windows refuses open files).
  EXPECT_EQ(fs.delete_file(dir / "m"), Error::none);
}
