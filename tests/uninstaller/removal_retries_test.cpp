// Bounded retries of a removal: twenty attempts, 200 ms apart only after a
// sharing violation (waits through the injected clock), and a path that
// resists does not stop the rest of the tree; it is noted with the reason.
#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_directory_tree.h"
#include "fakes/temp_dir.h"
#include "file_tree.h"
#include "record_image.h"

namespace fs = std::filesystem;

class RemovalRetries : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    fs::create_directories(temp_ / "d" + sep_ + "sub");
    WriteFileBytes(temp_ / "d" + sep_ + "held.bin", "held");
    WriteFileBytes(temp_ / "d" + sep_ + "sub" + sep_ + "free.bin", "free");
  }
  void Remove(RemovalContext& context) {
    platform::TreeTop top;
    ASSERT_EQ(platform::open_tree(temp_ / "d", top), platform::Error::none);
    DeleteTree(top, context);
  }
  fakes::TempDir temp_{"retry"};
  char sep_ = platform::file_system().path_separator();
  fakes::FakeClock clock_;
  platform::ScopedService<platform::Clock> use_clock_{clock_};
  fakes::FakeDirectoryTree tree_;
  platform::ScopedService<platform::DirectoryTree> use_tree_{tree_};
};

TEST_F(RemovalRetries, SharingViolationWaitsBetweenTwentyAttemptsAndIsNoted) {
  tree_.fail_always(fakes::TreeOp::remove, platform::Error::sharing_violation, "held.bin");
  Progress progress;
  RemovalContext context{&progress, {}, {}};
  Remove(context);
  EXPECT_EQ(tree_.injected_failures(), 20);
  EXPECT_EQ(clock_.sleeps(), std::vector<uint32_t>(19, 200));
  EXPECT_TRUE(fs::exists(temp_ / "d" + sep_ + "held.bin"));
  EXPECT_FALSE(fs::exists(temp_ / "d" + sep_ + "sub"));
  // The file and the subdirectory's two removals; d itself stays untried.
  EXPECT_EQ(progress.done, 2);
  ASSERT_EQ(context.not_removed.size(), 1u);
  EXPECT_EQ(context.not_removed[0], platform::directory_tree().message_path(temp_ / "d" + sep_ + "held.bin") +
                                        " (could not be removed: sharing violation)");
}

TEST_F(RemovalRetries, OtherFailuresRetryAtOnce) {
  tree_.fail_always(fakes::TreeOp::remove, platform::Error::access_denied, "held.bin");
  RemovalContext context;
  Remove(context);
  EXPECT_EQ(tree_.injected_failures(), 20);
  EXPECT_TRUE(clock_.sleeps().empty());
  ASSERT_EQ(context.not_removed.size(), 1u);
}

TEST_F(RemovalRetries, TransientViolationSucceedsOnALaterAttempt) {
  tree_.fail(fakes::TreeOp::remove, 1, platform::Error::sharing_violation, false, "held.bin");
  Progress progress;
  RemovalContext context{&progress, {}, {}};
  Remove(context);
  EXPECT_EQ(clock_.sleeps().size(), 1u);
  EXPECT_EQ(progress.done, 4);
  EXPECT_TRUE(context.not_removed.empty());
  EXPECT_FALSE(fs::exists(temp_ / "d"));
}
