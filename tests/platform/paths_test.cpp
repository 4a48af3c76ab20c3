// Paths: full_path normalises textually against the current directory, the
// temporary directory ends with a separator, unique names are created and
// distinct, and the program's own path and its volume can be queried.
#include <gtest/gtest.h>

#include <set>

#include "fakes/temp_dir.h"
#include "platform/file_system.h"

using platform::Error;

namespace {

// Restores the current directory when a test changed it.
class CurrentDirectoryGuard {
 public:
  CurrentDirectoryGuard() { platform::file_system().current_directory(saved_); }
  ~CurrentDirectoryGuard() { platform::file_system().set_current_directory(saved_); }

 private:
  std::string saved_;
};

bool ends_with_separator(const std::string& s) {
  return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

}  // namespace

TEST(Paths, FullPathResolvesAgainstCurrentDirectory) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  CurrentDirectoryGuard guard;
  auto& fs = platform::file_system();
  const char sep = fs.path_separator();
  ASSERT_EQ(fs.set_current_directory(dir.path()), Error::none);
  std::string cwd;
  ASSERT_EQ(fs.current_directory(cwd), Error::none);

  std::string full;
  ASSERT_EQ(fs.full_path("name.txt", full), Error::none);
  EXPECT_EQ(full, cwd + sep + "name.txt");
  // "." and ".." go textually, the target need not exist.
  ASSERT_EQ(fs.full_path(std::string("a") + sep + "." + sep + "b" + sep + ".." + sep + "c", full), Error::none);
  EXPECT_EQ(full, cwd + sep + "a" + sep + "c");
  ASSERT_EQ(fs.full_path(std::string("x") + sep + sep + "y", full), Error::none);
  EXPECT_EQ(full, cwd + sep + "x" + sep + "y");
  ASSERT_EQ(fs.full_path(std::string("d") + sep, full), Error::none);
  EXPECT_EQ(full, cwd + sep + "d" + sep);
  ASSERT_EQ(fs.full_path(".", full), Error::none);
  EXPECT_EQ(full, cwd);
  ASSERT_EQ(fs.full_path("..", full), Error::none);
  EXPECT_EQ(full, cwd.substr(0, cwd.rfind(sep)));  // the temporary directory is never a root
  // An absolute path is only normalised.
  ASSERT_EQ(fs.full_path(cwd + sep + "q" + sep + ".." + sep + "r", full), Error::none);
  EXPECT_EQ(full, cwd + sep + "r");
  EXPECT_NE(fs.full_path("", full), Error::none);
}

TEST(Paths, CurrentDirectoryFollowsChanges) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  CurrentDirectoryGuard guard;
  auto& fs = platform::file_system();
  ASSERT_EQ(fs.create_directory(dir / "sub"), Error::none);
  ASSERT_EQ(fs.set_current_directory(dir / "sub"), Error::none);
  std::string cwd, expected;
  ASSERT_EQ(fs.current_directory(cwd), Error::none);
  ASSERT_EQ(fs.full_path(dir / "sub", expected), Error::none);
  // The temporary directory may itself be reached through a link; compare
  // the last component only.
  EXPECT_EQ(cwd.substr(cwd.size() - 4), std::string(1, fs.path_separator()) + "sub");
  EXPECT_EQ(fs.set_current_directory(dir / "missing"), Error::not_found);
}

TEST(Paths, TempDirectoryAndUniqueNames) {
  auto& fs = platform::file_system();
  std::string tmp;
  ASSERT_EQ(fs.temp_directory(tmp), Error::none);
  EXPECT_TRUE(ends_with_separator(tmp)) << tmp;

  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name;
    ASSERT_EQ(fs.unique_temp_file(dir.path(), "sfx", name), Error::none);
    EXPECT_TRUE(names.insert(name).second) << name;
    platform::FileStatus st;
    ASSERT_EQ(fs.status(name, st), Error::none);
    EXPECT_EQ(st.kind, platform::FileKind::file);  // created, empty
    EXPECT_EQ(st.size, 0u);
    std::string base = name.substr(name.find_last_of("/\\") + 1);
    EXPECT_EQ(base.substr(0, 3), "sfx") << name;
    EXPECT_EQ(name.substr(0, dir.path().size()), dir.path());
  }
  std::string name;
  EXPECT_EQ(fs.unique_temp_file(dir / "missing", "sfx", name), Error::not_found);
}

TEST(Paths, ProgramPathShortPathAndVolume) {
  auto& fs = platform::file_system();
  std::string self;
  ASSERT_EQ(fs.program_path(self), Error::none);
  platform::FileStatus st;
  ASSERT_EQ(fs.status(self, st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::file) << self;
  std::string shortened;
  ASSERT_EQ(fs.short_path(self, shortened), Error::none);
  ASSERT_EQ(fs.status(shortened, st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::file) << shortened;

  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  uint64_t free_bytes = 0;
  ASSERT_EQ(fs.free_space(dir.path(), free_bytes), Error::none);
  EXPECT_GT(free_bytes, 0u);
  platform::VolumeInfo vi;
  ASSERT_EQ(fs.volume_info(dir.path(), vi), Error::none);
  EXPECT_GE(vi.max_component_length, 12u);
  EXPECT_FALSE(vi.file_system_name.empty());
  std::string root;
  ASSERT_EQ(fs.volume_root(dir.path(), root), Error::none);
  EXPECT_TRUE(ends_with_separator(root)) << root;
  std::string full;
  ASSERT_EQ(fs.full_path(dir.path(), full), Error::none);
  EXPECT_EQ(full.substr(0, root.size() - 1), root.substr(0, root.size() - 1)) << full << " on " << root;
}

TEST(Paths, Separators) {
  auto& fs = platform::file_system();
  EXPECT_TRUE(fs.path_separator() == '/' || fs.path_separator() == '\\');
  EXPECT_EQ(fs.path_list_separator(), fs.path_separator() == '/' ? ':' : ';');
}
