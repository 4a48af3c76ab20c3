// The tree removal: read-only entries go, links go as links without their
// targets being touched, counts skip directories, the bar hears only of
// changed percentages, past 100 as they are, and what stays is noted.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "file_tree.h"
#include "record_image.h"
#include "recording_ui.h"

namespace fs = std::filesystem;

class TreeRemoval : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }
  std::string Path(const std::string& relative) { return temp_.path() + "/" + relative; }
  void File(const std::string& relative, const std::string& bytes = "x") {
    fs::create_directories(fs::path(Path(relative)).parent_path());
    WriteFileBytes(Path(relative), bytes);
  }
  // The tree at `relative`, opened for the removal.
  platform::TreeTop Open(const std::string& relative) {
    platform::TreeTop top;
    EXPECT_EQ(platform::open_tree(Path(relative), top), platform::Error::none) << relative;
    return top;
  }
  fakes::TempDir temp_{"tree"};
};

TEST_F(TreeRemoval, TenFilesInThreeDirectoriesRunPastHundred) {
  for (int i = 0; i < 4; ++i) File("d/f" + std::to_string(i));
  for (int i = 0; i < 3; ++i) File("d/a/f" + std::to_string(i));
  for (int i = 0; i < 3; ++i) File("d/b/f" + std::to_string(i));
  platform::TreeTop dir = Open("d");

  RecordingUi ui;
  Progress progress;
  progress.ui = &ui;
  progress.total = CountFiles(dir);
  EXPECT_EQ(progress.total, 10);
  RemovalContext context{&progress, {}, {}};
  DeleteTree(dir, context);

  EXPECT_FALSE(fs::exists(Path("d")));
  EXPECT_EQ(progress.done, 13);
  ASSERT_EQ(ui.positions.size(), 13u);
  EXPECT_EQ(ui.positions.front(), 10);
  EXPECT_EQ(ui.positions.back(), 130);
  for (size_t i = 1; i < ui.positions.size(); ++i) EXPECT_GT(ui.positions[i], ui.positions[i - 1]);
}

TEST_F(TreeRemoval, BarHearsOnlyOfChangedPercentages) {
  for (int i = 0; i < 1000; ++i) File("big/f" + std::to_string(i));
  platform::TreeTop dir = Open("big");
  RecordingUi ui;
  Progress progress;
  progress.ui = &ui;
  progress.total = CountFiles(dir);
  RemovalContext context{&progress, {}, {}};
  DeleteTree(dir, context);
  EXPECT_EQ(progress.done, 1001);
  // 1 .. 100, each once; the directory's removal rounds to 100 again.
  ASSERT_EQ(ui.positions.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(ui.positions[i], i + 1);
}

TEST_F(TreeRemoval, OnlyEmptyDirectoriesFillTheBarAtOnce) {
  fs::create_directories(Path("e/x/y"));
  platform::TreeTop dir = Open("e");
  RecordingUi ui;
  Progress progress;
  progress.ui = &ui;
  progress.total = CountFiles(dir);
  EXPECT_EQ(progress.total, 0);
  RemovalContext context{&progress, {}, {}};
  DeleteTree(dir, context);
  EXPECT_EQ(ui.positions, std::vector<int>{100});
  EXPECT_FALSE(fs::exists(Path("e")));
}

TEST_F(TreeRemoval, ReadOnlyFilesAndDirectoriesAreRemoved) {
  File("r/sub/file");
  File("r/top");
  ::chmod(Path("r/top").c_str(), 0444);
  ::chmod(Path("r/sub/file").c_str(), 0444);
  ::chmod(Path("r/sub").c_str(), 0555);
  ::chmod(Path("r").c_str(), 0555);
  RemovalContext context;
  platform::TreeTop r = Open("r");
  DeleteTree(r, context);
  EXPECT_FALSE(fs::exists(Path("r")));
  EXPECT_TRUE(context.not_removed.empty());
}

TEST_F(TreeRemoval, LinksAreRemovedNotFollowed) {
  File("outside/precious", "precious");
  ::chmod(Path("outside/precious").c_str(), 0444);
  File("tree/file");
  fs::create_directory_symlink(Path("outside"), Path("tree/dir-link"));
  fs::create_symlink(Path("outside/precious"), Path("tree/file-link"));
  fs::create_symlink(Path("nowhere"), Path("tree/dangling"));

  platform::TreeTop tree = Open("tree");
  EXPECT_EQ(CountFiles(tree), 4);
  RemovalContext context;
  DeleteTree(tree, context);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Path("tree"))));
  EXPECT_EQ(ReadFileBytes(Path("outside/precious")), "precious");
  // Its permissions were not touched through the link either.
  EXPECT_EQ(fs::status(Path("outside/precious")).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_TRUE(context.not_removed.empty());
}

TEST_F(TreeRemoval, KeptFilesAndTheirDirectoriesStay) {
  File("k/bin/RidOvavu.dll");
  File("k/bin/other");
  File("k/lib/x");
  RemovalContext context;
  KeepForLater(context, Path("k/bin/RidOvavu.dll"));
  platform::TreeTop k = Open("k");
  DeleteTree(k, context);
  EXPECT_TRUE(fs::exists(Path("k/bin/RidOvavu.dll")));
  EXPECT_FALSE(fs::exists(Path("k/bin/other")));
  EXPECT_FALSE(fs::exists(Path("k/lib")));
  // Kept on purpose, for the self-removal script: nothing to report.
  EXPECT_TRUE(context.not_removed.empty());
}

TEST_F(TreeRemoval, NamesOutsideAsciiAndOutsideUtf8AreRemoved) {
  File("Programme/Tarvik \xc3\xa9t\xc3\xa9/lib/\xe2\x82\xac.jar");
  File("Programme/caf\xe9");
  File("Programme/\xff\xfe.bin");
  platform::TreeTop dir = Open("Programme");
  EXPECT_EQ(CountFiles(dir), 3);
  RemovalContext context;
  DeleteTree(dir, context);
  EXPECT_FALSE(fs::exists(Path("Programme")));
  EXPECT_TRUE(context.not_removed.empty());
}

TEST_F(TreeRemoval, WhatResistsIsNotedWithWhy) {
  File("m/a");
  File("m/sub/b");
  fs::create_directories(Path("m/mnt"));
  if (::mount("qel-test", Path("m/mnt").c_str(), "tmpfs", 0, nullptr) != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  File("m/mnt/on-tmpfs", "tmpfs");
  platform::TreeTop dir = Open("m");
  RemovalContext context;
  DeleteTree(dir, context);
  ::umount2(Path("m/mnt").c_str(), MNT_DETACH);
  EXPECT_EQ(context.not_removed, std::vector<std::string>{Path("m/mnt") + " (another file system is mounted here)"});
  EXPECT_FALSE(fs::exists(Path("m/sub")));
  EXPECT_FALSE(fs::exists(Path("m/a")));
}

TEST_F(TreeRemoval, JvmInUseOnlyWhenPresentAndNotWritable) {
  File("jvm.dll");
  EXPECT_FALSE(IsJvmInUse(Path("jvm.dll")));
  EXPECT_FALSE(IsJvmInUse(Path("no-jvm.dll")));
  fs::create_directory(Path("dir.dll"));
  EXPECT_TRUE(IsJvmInUse(Path("dir.dll")));
}
