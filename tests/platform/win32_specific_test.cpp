// How the Win32 backend behaves where the POSIX one differs: read-only files
// refuse deletion until the attribute is cleared (with the raw code kept for
// messages), volumes have drive roots and Windows file-system names, and
// temporary names carry the ".tmp" suffix.
#include <gtest/gtest.h>

#include <cctype>

#include "fakes/temp_dir.h"
#include "platform/file.h"
#include "platform/file_system.h"

using platform::Error;

TEST(Win32Backend, ReadOnlyFileRefusesDeletion) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string path = dir / "ro.txt";
  platform::File f;
  ASSERT_EQ(fs.create(path, f), Error::none);
  ASSERT_EQ(f.close(), Error::none);
  ASSERT_EQ(fs.set_attributes(path, platform::FILE_ATTR_READONLY), Error::none);
  EXPECT_EQ(fs.delete_file(path), Error::access_denied);
  EXPECT_EQ(fs.last_system_error(), 5);  // ERROR_ACCESS_DENIED
  ASSERT_EQ(fs.set_attributes(path, platform::FILE_ATTR_NORMAL), Error::none);
  EXPECT_EQ(fs.delete_file(path), Error::none);
}

TEST(Win32Backend, DriveRootsAndVolumeNames) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string root;
  ASSERT_EQ(fs.volume_root(dir.path(), root), Error::none);
  ASSERT_EQ(root.size(), 3u) << root;
  EXPECT_EQ(root.substr(1), ":\\");
  platform::VolumeInfo vi;
  ASSERT_EQ(fs.volume_info(dir / "not" + "\\yet", vi), Error::none);
  EXPECT_FALSE(vi.file_system_name.empty());
  std::string name;
  ASSERT_EQ(fs.unique_temp_file(dir.path(), "sfx", name), Error::none);
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(suffix, ".tmp") << name;  // GetTempFileNameA's suffix, in either case
}
