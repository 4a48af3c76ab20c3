// Bounded retries of a removal: twenty attempts, 200 ms apart only after a
// sharing violation (waits through the injected clock), and a path that
// resists does not stop the rest of the tree.
#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/temp_dir.h"
#include "file_tree.h"
#include "record_image.h"

namespace fs = std::filesystem;

class RemovalRetries : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    fs::create_directories(temp_.path() + "/d/sub");
    WriteFileBytes(temp_.path() + "/d/held.bin", "held");
    WriteFileBytes(temp_.path() + "/d/sub/free.bin", "free");
  }
  fakes::TempDir temp_{"retry"};
  fakes::FakeClock clock_;
  platform::ScopedService<platform::Clock> use_clock_{clock_};
  fakes::FakeFileSystem fs_;
  platform::ScopedService<platform::FileSystem> use_fs_{fs_};
};

TEST_F(RemovalRetries, SharingViolationWaitsBetweenTwentyAttempts) {
  fs_.fail_always(fakes::FsOp::delete_file, platform::Error::sharing_violation, "held.bin");
  Progress progress;
  RemovalContext context{&progress, {}};
  EXPECT_FALSE(RemovePath(WidePath(temp_.path() + "/d/held.bin"), PathKind::file, context));
  EXPECT_EQ(fs_.injected_failures(), 20);
  EXPECT_EQ(clock_.sleeps(), std::vector<uint32_t>(19, 200));
  EXPECT_EQ(progress.done, 0);
}

TEST_F(RemovalRetries, OtherFailuresRetryAtOnce) {
  fs_.fail_always(fakes::FsOp::delete_file, platform::Error::access_denied, "held.bin");
  RemovalContext context;
  EXPECT_FALSE(RemovePath(WidePath(temp_.path() + "/d/held.bin"), PathKind::file, context));
  EXPECT_EQ(fs_.injected_failures(), 20);
  EXPECT_TRUE(clock_.sleeps().empty());
}

TEST_F(RemovalRetries, TransientViolationSucceedsOnALaterAttempt) {
  fs_.fail(fakes::FsOp::delete_file, 1, platform::Error::sharing_violation, false, "held.bin");
  Progress progress;
  RemovalContext context{&progress, {}};
  EXPECT_TRUE(RemovePath(WidePath(temp_.path() + "/d/held.bin"), PathKind::file, context));
  EXPECT_EQ(clock_.sleeps().size(), 1u);
  EXPECT_EQ(progress.done, 1);
}

TEST_F(RemovalRetries, ResistingFileKeepsOnlyItsAncestors) {
  fs_.fail_always(fakes::FsOp::delete_file, platform::Error::sharing_violation, "held.bin");
  RemovalContext context;
  DeleteTree(WidePath(temp_.path() + "/d"), context);
  fs_.clear_failures();
  EXPECT_TRUE(fs::exists(temp_.path() + "/d/held.bin"));
  EXPECT_FALSE(fs::exists(temp_.path() + "/d/sub"));
  EXPECT_EQ(clock_.total_slept_ms(), 19u * 200u);
}
