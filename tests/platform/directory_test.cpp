// Directories: listings show "." and ".." and every entry with its kind and
// size; creating, removing and renaming report the conditions callers act
// on (exists, not empty, not a directory) instead of a generic failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "fakes/temp_dir.h"
#include "platform/file.h"
#include "platform/file_system.h"

using platform::DirectoryEntry;
using platform::Error;
using platform::File;

namespace {

void make_file(const std::string& path, size_t size) {
  File f;
  ASSERT_EQ(platform::file_system().create(path, f), Error::none);
  std::string data(size, 'z');
  ASSERT_EQ(f.write(data.data(), data.size()).error, Error::none);
  ASSERT_EQ(f.close(), Error::none);
}

std::map<std::string, DirectoryEntry> by_name(const std::vector<DirectoryEntry>& entries) {
  std::map<std::string, DirectoryEntry> m;
  for (auto& e : entries) m[e.name] = e;
  return m;
}

}  // namespace

TEST(Directory, ListingHasDotsFilesAndSubdirectories) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  make_file(dir / "a.txt", 10);
  make_file(dir / "b.bin", 0);
  ASSERT_EQ(fs.create_directory(dir / "sub"), Error::none);

  std::vector<DirectoryEntry> entries;
  ASSERT_EQ(fs.list_directory(dir.path(), entries), Error::none);
  ASSERT_EQ(entries.size(), 5u);
  auto m = by_name(entries);
  ASSERT_EQ(m.count("."), 1u);
  ASSERT_EQ(m.count(".."), 1u);
  EXPECT_NE(m["."].attributes & platform::FILE_ATTR_DIRECTORY, 0u);
  EXPECT_NE(m[".."].attributes & platform::FILE_ATTR_DIRECTORY, 0u);
  EXPECT_EQ(m["a.txt"].size, 10u);
  EXPECT_EQ(m["a.txt"].attributes & platform::FILE_ATTR_DIRECTORY, 0u);
  EXPECT_FALSE(m["a.txt"].is_symlink);
  EXPECT_EQ(m["b.bin"].size, 0u);
  EXPECT_NE(m["sub"].attributes & platform::FILE_ATTR_DIRECTORY, 0u);

  // A trailing separator names the same directory.
  ASSERT_EQ(fs.list_directory(dir.path() + fs.path_separator(), entries), Error::none);
  EXPECT_EQ(entries.size(), 5u);

  // An empty directory still lists its two dots.
  ASSERT_EQ(fs.list_directory(dir / "sub", entries), Error::none);
  EXPECT_EQ(entries.size(), 2u);
}

TEST(Directory, ListingFailures) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  make_file(dir / "file", 1);
  std::vector<DirectoryEntry> entries(3);
  EXPECT_EQ(fs.list_directory(dir / "file", entries), Error::not_directory);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(fs.list_directory(dir / "missing", entries), Error::not_found);
}

TEST(Directory, UnicodeListingMatchesNarrow) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  make_file(dir / "plain.txt", 3);
  std::u16string wide_dir(dir.path().begin(), dir.path().end());  // the temp path is ASCII
  std::vector<platform::WideDirectoryEntry> entries;
  ASSERT_EQ(fs.list_directory_w(wide_dir, entries), Error::none);
  ASSERT_EQ(entries.size(), 3u);
  bool found = false;
  for (auto& e : entries) found |= e.name == u"plain.txt" && e.size == 3;
  EXPECT_TRUE(found);
  std::u16string file = wide_dir + static_cast<char16_t>(fs.path_separator()) + u"plain.txt";
  uint32_t a = 0;
  ASSERT_EQ(fs.set_attributes_w(file, platform::FILE_ATTR_READONLY), Error::none);
  ASSERT_EQ(fs.get_attributes_w(file, a), Error::none);
  EXPECT_NE(a & platform::FILE_ATTR_READONLY, 0u);
  ASSERT_EQ(fs.set_attributes_w(file, platform::FILE_ATTR_NORMAL), Error::none);
  EXPECT_EQ(fs.delete_file_w(file), Error::none);
  EXPECT_EQ(fs.get_attributes_w(file, a), Error::not_found);
  std::u16string sub = wide_dir + static_cast<char16_t>(fs.path_separator()) + u"sub";
  ASSERT_EQ(fs.create_directory(dir / "sub"), Error::none);
  EXPECT_EQ(fs.remove_directory_w(sub), Error::none);
}

TEST(Directory, CreateRemoveAndRename) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string sub = dir / "sub";
  ASSERT_EQ(fs.create_directory(sub), Error::none);
  EXPECT_EQ(fs.create_directory(sub), Error::already_exists);
  EXPECT_EQ(fs.create_directory(dir / "x" + fs.path_separator() + "y"), Error::not_found);

  make_file(sub + fs.path_separator() + "inner", 1);
  EXPECT_EQ(fs.remove_directory(sub), Error::not_empty);

  // Renaming never replaces an existing target.
  make_file(dir / "other", 2);
  EXPECT_EQ(fs.rename(sub + fs.path_separator() + "inner", dir / "other"), Error::already_exists);
  ASSERT_EQ(fs.rename(sub + fs.path_separator() + "inner", dir / "moved"), Error::none);
  platform::FileStatus st;
  ASSERT_EQ(fs.status(dir / "moved", st), Error::none);
  EXPECT_EQ(st.size, 1u);
  ASSERT_EQ(fs.status(dir / "other", st), Error::none);
  EXPECT_EQ(st.size, 2u);

  EXPECT_EQ(fs.remove_directory(sub), Error::none);
  EXPECT_EQ(fs.remove_directory(sub), Error::not_found);
  EXPECT_EQ(fs.delete_file(dir / "moved"), Error::none);
  EXPECT_EQ(fs.delete_file(dir / "moved"), Error::not_found);
}
