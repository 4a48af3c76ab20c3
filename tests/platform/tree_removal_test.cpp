// Tree removal through held directories, on both backends: what goes, what
// stays and why, the retries after sharing violations (through the fake),
// kept files, and the paths open_tree refuses or tidies.
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_clock.h"
#include "fakes/fake_directory_tree.h"
#include "fakes/temp_dir.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/tree_removal.h"

using platform::Error;
using platform::LeftReason;
using platform::TreeRemovalOptions;
using platform::TreeRemovalReport;

namespace {

void make_file(const std::string& path, const std::string& bytes = "x") {
  platform::File f;
  ASSERT_EQ(platform::native<platform::FileSystem>().create(path, f), Error::none) << path;
  ASSERT_EQ(f.write(bytes.data(), bytes.size()).error, Error::none);
  ASSERT_EQ(f.close(), Error::none);
}

bool exists(const std::string& path) {
  platform::FileStatus st;
  return platform::native<platform::FileSystem>().status(path, st) == Error::none &&
         st.kind != platform::FileKind::missing;
}

class TreeRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    auto& fs = platform::file_system();
    ASSERT_EQ(fs.create_directory(temp_ / "t"), Error::none);
    ASSERT_EQ(fs.create_directory(temp_ / "t" + sep_ + "sub"), Error::none);
    ASSERT_EQ(fs.create_directory(Path("sub/deeper")), Error::none);
    make_file(Path("a.txt"));
    make_file(Path("sub/held.bin"), "held");
    make_file(Path("sub/deeper/b.txt"));
    make_file(Path("readonly.txt"));
    ASSERT_EQ(fs.set_attributes(Path("readonly.txt"), platform::FILE_ATTR_READONLY), Error::none);
  }
  // A path below the tree, written with '/' here for brevity.
  std::string Path(std::string relative) {
    std::replace(relative.begin(), relative.end(), '/', sep_);
    return temp_ / "t" + sep_ + relative;
  }
  std::string Top() { return temp_ / "t"; }

  TreeRemovalReport Remove(const TreeRemovalOptions& options) {
    platform::TreeTop top;
    EXPECT_EQ(platform::open_tree(Top(), top), Error::none);
    return platform::remove_tree(top, options);
  }

  fakes::TempDir temp_{"tree"};
  char sep_ = platform::file_system().path_separator();
  fakes::FakeClock clock_;
  platform::ScopedService<platform::Clock> use_clock_{clock_};
};

TEST_F(TreeRemoval, WholeTreeGoesAndEveryRemovalIsHeardOf) {
  platform::TreeTop top;
  ASSERT_EQ(platform::open_tree(Top(), top), Error::none);
  EXPECT_EQ(platform::count_tree_files(top), 4);
  std::vector<std::string> heard;
  TreeRemovalOptions options;
  options.removed = [&](const std::string& path, platform::TreeEntryKind) { heard.push_back(path); };
  TreeRemovalReport report = platform::remove_tree(top, options);
  EXPECT_TRUE(report.top_removed);
  EXPECT_TRUE(report.complete());
  EXPECT_TRUE(report.left.empty());
  EXPECT_EQ(report.removed, 7u);  // four files, two subdirectories, the top
  ASSERT_EQ(heard.size(), 7u);
  EXPECT_EQ(heard.back(), Top());
  // Depth first: a directory is heard of after what it held.
  auto at = [&](const std::string& p) { return std::find(heard.begin(), heard.end(), p) - heard.begin(); };
  EXPECT_LT(at(Path("sub/deeper/b.txt")), at(Path("sub/deeper")));
  EXPECT_LT(at(Path("sub/deeper")), at(Path("sub")));
  EXPECT_FALSE(exists(Top()));
}

TEST_F(TreeRemoval, SharingViolationPausesBetweenAttemptsThenTheFileStays) {
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  tree.fail_always(fakes::TreeOp::remove, Error::sharing_violation, "held.bin");
  TreeRemovalOptions options;
  options.file = {20, 200};
  options.directory = {3, 1000};
  TreeRemovalReport report = Remove(options);

  EXPECT_EQ(tree.injected_failures(), 20);
  EXPECT_EQ(clock_.sleeps(), std::vector<uint32_t>(19, 200));
  ASSERT_EQ(report.left.size(), 1u);
  EXPECT_EQ(report.left[0].path, Path("sub/held.bin"));
  EXPECT_EQ(report.left[0].reason, LeftReason::not_removed);
  EXPECT_EQ(report.left[0].error, Error::sharing_violation);
  EXPECT_FALSE(report.top_removed);
  EXPECT_FALSE(report.complete());
  // Its directories stay without being tried; everything else went.
  EXPECT_TRUE(exists(Path("sub/held.bin")));
  EXPECT_FALSE(exists(Path("sub/deeper")));
  EXPECT_FALSE(exists(Path("a.txt")));
  EXPECT_FALSE(exists(Path("readonly.txt")));
  for (const std::string& p : tree.paths(fakes::TreeOp::remove)) EXPECT_NE(p, Path("sub")) << "tried " << p;
}

TEST_F(TreeRemoval, OtherFailuresRetryAtOnceAndATransientOneIsOvercome) {
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  tree.fail_always(fakes::TreeOp::remove, Error::access_denied, "a.txt");
  // Two one-time rules: the second counts only the calls the first let pass.
  tree.fail(fakes::TreeOp::remove, 1, Error::sharing_violation, false, "b.txt");
  tree.fail(fakes::TreeOp::remove, 1, Error::sharing_violation, false, "b.txt");
  TreeRemovalOptions options;
  options.file = {5, 2000};
  TreeRemovalReport report = Remove(options);
  EXPECT_EQ(clock_.sleeps(), std::vector<uint32_t>(2, 2000));  // only b.txt's two violations
  ASSERT_EQ(report.left.size(), 1u);
  EXPECT_EQ(report.left[0].path, Path("a.txt"));
  EXPECT_EQ(report.left[0].error, Error::access_denied);
  EXPECT_FALSE(exists(Path("sub")));
}

TEST_F(TreeRemoval, KeptFilesStayWithTheirDirectoriesAndCountAsComplete) {
  platform::FileIdentity kept;
  ASSERT_EQ(platform::directory_tree().identify_path(Path("sub/held.bin"), kept), Error::none);
  TreeRemovalOptions options;
  options.keep.push_back(kept);
  TreeRemovalReport report = Remove(options);
  ASSERT_EQ(report.left.size(), 1u);
  EXPECT_EQ(report.left[0].reason, LeftReason::kept);
  EXPECT_EQ(report.left[0].path, Path("sub/held.bin"));
  EXPECT_TRUE(report.complete());
  EXPECT_FALSE(report.top_removed);
  EXPECT_TRUE(exists(Path("sub/held.bin")));
  EXPECT_FALSE(exists(Path("sub/deeper")));
  EXPECT_FALSE(exists(Path("a.txt")));
}

TEST_F(TreeRemoval, UnreadableDirectoryIsReportedAndTheRestGoes) {
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  tree.fail_always(fakes::TreeOp::list, Error::access_denied, "deeper");
  TreeRemovalReport report = Remove({});
  ASSERT_EQ(report.left.size(), 1u);
  EXPECT_EQ(report.left[0].path, Path("sub/deeper"));
  EXPECT_EQ(report.left[0].reason, LeftReason::not_listed);
  EXPECT_EQ(report.left[0].error, Error::access_denied);
  EXPECT_TRUE(exists(Path("sub/deeper/b.txt")));
  EXPECT_FALSE(exists(Path("sub/held.bin")));
}

TEST_F(TreeRemoval, PathsAreTidiedOrRefused) {
  platform::TreeTop top;
  // Doubled separators, "." steps and trailing separators name the same directory.
  std::string untidy = temp_.path() + sep_ + sep_ + "." + sep_ + "t" + sep_ + "." + sep_;
  ASSERT_EQ(platform::open_tree(untidy, top), Error::none);
  platform::TreeTop tidy;
  ASSERT_EQ(platform::open_tree(Top(), tidy), Error::none);
  EXPECT_EQ(top.path(), tidy.path());
  EXPECT_EQ(top.path().substr(top.path().size() - 2), sep_ + std::string("t"));

  EXPECT_EQ(platform::open_tree(Path("sub") + sep_ + ".." + sep_ + "sub", top), Error::invalid_name);
  EXPECT_EQ(platform::open_tree("", top), Error::invalid_name);
  EXPECT_EQ(platform::open_tree(std::string(1, sep_), top), Error::invalid_name);
  EXPECT_EQ(platform::open_tree(Path("missing"), top), Error::not_found);
  EXPECT_EQ(platform::open_tree(Path("a.txt"), top), Error::not_directory);
  EXPECT_TRUE(exists(Path("sub/deeper/b.txt")));
}

TEST_F(TreeRemoval, RemovePathTakesFilesDirectoriesAndMissingPaths) {
  TreeRemovalReport report = platform::remove_path(Path("readonly.txt"), {});
  EXPECT_TRUE(report.top_removed);
  EXPECT_EQ(report.removed, 1u);
  EXPECT_FALSE(exists(Path("readonly.txt")));

  report = platform::remove_path(Path("missing"), {});
  EXPECT_EQ(report.error, Error::not_found);
  EXPECT_EQ(report.removed, 0u);
  EXPECT_TRUE(report.complete());

  report = platform::remove_path(Path("sub"), {});
  EXPECT_TRUE(report.top_removed);
  EXPECT_EQ(report.removed, 4u);
  EXPECT_TRUE(exists(Path("a.txt")));
}

}  // namespace
