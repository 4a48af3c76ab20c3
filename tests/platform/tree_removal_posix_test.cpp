// Tree removal on the real POSIX file system: links at the top and inside,
// links swapped in while the walk runs, mounts inside the tree, and names
// that are not UTF-8. Whatever lies outside the tree must be unchanged to
// the byte and to the nanosecond.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "fakes/fake_directory_tree.h"
#include "fakes/temp_dir.h"
#include "platform/tree_removal.h"
#include "support/tree_snapshot.h"

namespace fs = std::filesystem;
using platform::Error;
using platform::LeftReason;

namespace {

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

class PosixTreeRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    outside_ = temp_ / "outside";
    Write(outside_ + "/precious.txt", "precious");
    Write(outside_ + "/deep/keep.txt", "keep");
    ::chmod((outside_ + "/precious.txt").c_str(), 0444);
    tree_ = temp_ / "tree";
    Write(tree_ + "/a.txt", "a");
    Write(tree_ + "/sub/b.txt", "b");
    before_ = TreeSnapshot(outside_);
  }
  void TearDown() override {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
  }
  platform::TreeRemovalReport RemoveTree(const std::string& path) {
    platform::TreeTop top;
    EXPECT_EQ(platform::open_tree(path, top), Error::none);
    return platform::remove_tree(top, {});
  }
  bool Mount(const char* source, const std::string& target, const char* type, unsigned long flags) {
    if (!Exists(target)) fs::create_directories(target);
    if (::mount(source, target.c_str(), type, flags, nullptr) != 0) return false;
    mounts_.push_back(target);
    return true;
  }

  fakes::TempDir temp_{"posix-tree"};
  std::string outside_, tree_;
  std::map<std::string, std::string> before_;
  std::vector<std::string> mounts_;
};

TEST_F(PosixTreeRemoval, LinkAsTheTopIsRefusedHoweverItIsWritten) {
  fs::create_directory_symlink(outside_, temp_ / "link");
  for (const std::string& written : {temp_ / "link", temp_ / "link/", temp_ / "link/.", temp_ / "link//./"}) {
    platform::TreeTop top;
    EXPECT_EQ(platform::open_tree(written, top), Error::is_link) << written;
    EXPECT_FALSE(top.directory.is_open());
  }
  EXPECT_TRUE(Exists(temp_ / "link"));
  EXPECT_EQ(TreeSnapshot(outside_), before_);
  // As a deletion-list entry the link itself goes, never its target.
  platform::TreeRemovalReport report = platform::remove_path(temp_ / "link/", {});
  EXPECT_TRUE(report.top_removed);
  EXPECT_FALSE(Exists(temp_ / "link"));
  EXPECT_EQ(TreeSnapshot(outside_), before_);
}

TEST_F(PosixTreeRemoval, LinksInsideGoThemselvesAndLinksAboveAreResolved) {
  fs::create_directory_symlink(outside_, tree_ + "/dir-link");
  fs::create_symlink(outside_ + "/precious.txt", tree_ + "/sub/file-link");
  fs::create_symlink(temp_ / "nowhere", tree_ + "/dangling");
  // The top reached through a link above it: that link is the system's
  // business, resolved once; the walk then works on the real directory.
  fs::create_directory_symlink(temp_.path(), temp_ / "above");
  platform::TreeTop top;
  ASSERT_EQ(platform::open_tree(temp_ / "above/tree", top), Error::none);
  EXPECT_EQ(top.path(), fs::canonical(tree_).string());
  EXPECT_EQ(platform::count_tree_files(top), 5);
  platform::TreeRemovalReport report = platform::remove_tree(top, {});
  EXPECT_TRUE(report.top_removed);
  EXPECT_TRUE(report.left.empty());
  EXPECT_FALSE(Exists(tree_));
  EXPECT_EQ(TreeSnapshot(outside_), before_);
  EXPECT_TRUE(Exists(temp_ / "above"));
}

TEST_F(PosixTreeRemoval, DirectorySwappedForALinkAfterItsListingIsNotFollowed) {
  Write(tree_ + "/sub/inner/c.txt", "c");
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  bool swapped = false;
  tree.before(fakes::TreeOp::open_directory, [&](const std::string& path) {
    if (swapped || path != tree_ + "/sub/inner") return;
    swapped = true;
    fs::rename(tree_ + "/sub/inner", temp_ / "moved-away");
    fs::create_directory_symlink(outside_, tree_ + "/sub/inner");
  });
  platform::TreeRemovalReport report = RemoveTree(tree_);
  ASSERT_TRUE(swapped);
  EXPECT_TRUE(report.top_removed);
  EXPECT_FALSE(Exists(tree_));
  EXPECT_EQ(TreeSnapshot(outside_), before_);
  EXPECT_EQ(Read(temp_ / "moved-away/c.txt"), "c");
}

TEST_F(PosixTreeRemoval, ParentSwappedForALinkMidRunLeavesTheWalkOnTheHeldDirectory) {
  // The walk holds the directories it works on: renaming the top away and
  // putting a link to the outside in its place changes nothing for it.
  for (int i = 0; i < 5; ++i) Write(tree_ + "/sub/f" + std::to_string(i), "f");
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  bool swapped = false;
  tree.before(fakes::TreeOp::remove, [&](const std::string&) {
    if (swapped) return;
    swapped = true;
    fs::rename(tree_, temp_ / "tree-moved");
    fs::create_directory_symlink(outside_, tree_);
  });
  platform::TreeTop top;
  ASSERT_EQ(platform::open_tree(tree_, top), Error::none);
  platform::TreeRemovalReport report = platform::remove_tree(top, {});
  ASSERT_TRUE(swapped);
  EXPECT_TRUE(fs::is_empty(temp_ / "tree-moved"));
  EXPECT_EQ(TreeSnapshot(outside_), before_);
  // The name of the top now means the link, which is not what was opened:
  // it stays, and so does the emptied directory, reported.
  EXPECT_TRUE(fs::is_symlink(tree_));
  EXPECT_FALSE(report.top_removed);
  ASSERT_EQ(report.left.size(), 1u);
  EXPECT_EQ(report.left[0].path, tree_);
  EXPECT_EQ(report.left[0].reason, LeftReason::not_removed);
}

TEST_F(PosixTreeRemoval, MountsInsideAreLeftAndReported) {
  if (!Mount("qel-test", tree_ + "/tmpfs", "tmpfs", 0))
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root or a user namespace)";
  Write(tree_ + "/tmpfs/on-tmpfs.txt", "tmpfs");
  // A bind mount of a directory of the same file system has the same
  // device number: only the mount id tells it apart.
  ASSERT_TRUE(Mount(outside_.c_str(), tree_ + "/sub/bound", nullptr, MS_BIND));
  Write(temp_ / "file-outside", "file");
  Write(tree_ + "/bound-file", "");
  ASSERT_TRUE(Mount((temp_ / "file-outside").c_str(), tree_ + "/bound-file", nullptr, MS_BIND));

  platform::TreeTop top;
  ASSERT_EQ(platform::open_tree(tree_, top), Error::none);
  EXPECT_EQ(platform::count_tree_files(top), 5);  // a.txt, b.txt and the three mounts as one each
  platform::TreeRemovalReport report = platform::remove_tree(top, {});
  EXPECT_FALSE(report.top_removed);
  EXPECT_FALSE(report.complete());
  std::map<std::string, LeftReason> left;
  for (auto& l : report.left) left[l.path] = l.reason;
  EXPECT_EQ(left.size(), 3u);
  EXPECT_EQ(left[tree_ + "/tmpfs"], LeftReason::mount_point);
  EXPECT_EQ(left[tree_ + "/sub/bound"], LeftReason::mount_point);
  EXPECT_EQ(left[tree_ + "/bound-file"], LeftReason::mount_point);
  EXPECT_EQ(Read(tree_ + "/tmpfs/on-tmpfs.txt"), "tmpfs");
  EXPECT_EQ(Read(temp_ / "file-outside"), "file");
  // Named for removal itself (a deletion-list line), a mount point stays too.
  platform::TreeRemovalReport named = platform::remove_path(tree_ + "/tmpfs", {});
  EXPECT_FALSE(named.top_removed);
  ASSERT_EQ(named.left.size(), 1u);
  EXPECT_EQ(named.left[0].reason, LeftReason::mount_point);
  EXPECT_EQ(Read(tree_ + "/tmpfs/on-tmpfs.txt"), "tmpfs");
  EXPECT_FALSE(Exists(tree_ + "/a.txt"));
  EXPECT_FALSE(Exists(tree_ + "/sub/b.txt"));
  EXPECT_EQ(TreeSnapshot(outside_), before_);
}

TEST_F(PosixTreeRemoval, NamesThatAreNotUtf8AreRemovedAsTheyAre) {
  const std::string odd = tree_ + "/caf\xe9";
  Write(odd, "1");
  Write(tree_ + "/\xff\xfe.bin", "2");
  Write(tree_ + "/dir-\xc3(/x\x01y", "3");
  std::vector<std::string> heard;
  platform::TreeRemovalOptions options;
  options.removed = [&](const std::string& path, platform::TreeEntryKind) { heard.push_back(path); };
  // The top itself may have such a name too.
  fs::rename(tree_, temp_ / "tr\xe9" "e");
  platform::TreeTop top;
  ASSERT_EQ(platform::open_tree(temp_ / "tr\xe9" "e", top), Error::none);
  platform::TreeRemovalReport report = platform::remove_tree(top, options);
  EXPECT_TRUE(report.top_removed);
  EXPECT_TRUE(report.left.empty());
  EXPECT_FALSE(Exists(temp_ / "tr\xe9" "e"));
  EXPECT_NE(std::find(heard.begin(), heard.end(), temp_ / "tr\xe9" "e/caf\xe9"), heard.end());
}

}  // namespace
