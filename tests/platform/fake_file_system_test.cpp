// The fake file system fails exactly the calls a test asks for (the N-th,
// once or from then on, on chosen paths), counts every call, passes the rest
// to the real file system, and the fake clock records waits without waiting.
#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/temp_dir.h"
#include "platform/file.h"

using fakes::FakeFileSystem;
using fakes::FsOp;
using platform::Error;
using platform::File;

namespace {

void make_file(const std::string& path) {
  File f;
  ASSERT_EQ(platform::file_system().create(path, f), Error::none);
  ASSERT_EQ(f.close(), Error::none);
}

}  // namespace

TEST(FakeFileSystem, FailsTheNthCallOnce) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  FakeFileSystem fake;
  platform::ScopedService<platform::FileSystem> use(fake);
  auto& fs = platform::file_system();
  ASSERT_EQ(&fs, &fake);
  for (const char* n : {"1", "2", "3", "4"}) make_file(dir / n);

  fake.fail(FsOp::delete_file, 2, Error::sharing_violation);
  EXPECT_EQ(fs.delete_file(dir / "1"), Error::none);
  EXPECT_EQ(fs.delete_file(dir / "2"), Error::sharing_violation);
  EXPECT_EQ(fs.last_system_error(), 32);
  // The failed call did not reach the disk: the file is still there.
  platform::FileStatus st;
  ASSERT_EQ(fs.status(dir / "2", st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::file);
  EXPECT_EQ(fs.delete_file(dir / "2"), Error::none);
  EXPECT_EQ(fs.delete_file(dir / "3"), Error::none);
  EXPECT_EQ(fake.calls(FsOp::delete_file), 4);
  EXPECT_EQ(fake.calls(FsOp::status), 1);
  EXPECT_EQ(fake.injected_failures(), 1);
}

TEST(FakeFileSystem, FailsFromTheNthCallOnAndOnlyMatchingPaths) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  FakeFileSystem fake;
  platform::ScopedService<platform::FileSystem> use(fake);
  auto& fs = platform::file_system();
  make_file(dir / "locked.dll");
  make_file(dir / "free.txt");

  fake.fail(FsOp::delete_file, 1, Error::access_denied, /*persistent=*/true, "locked");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(fs.delete_file(dir / "locked.dll"), Error::access_denied);
  EXPECT_EQ(fs.delete_file(dir / "free.txt"), Error::none);
  // The UTF-16 form is the same operation.
  std::string locked = dir / "locked.dll";
  EXPECT_EQ(fs.delete_file_w(std::u16string(locked.begin(), locked.end())), Error::access_denied);
  EXPECT_EQ(fake.injected_failures(), 6);

  fake.clear_failures();
  EXPECT_EQ(fs.delete_file(dir / "locked.dll"), Error::none);
}

TEST(FakeFileSystem, FailsOperationsOnOpenFiles) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  FakeFileSystem fake;
  platform::ScopedService<platform::FileSystem> use(fake);
  auto& fs = platform::file_system();

  File f;
  fake.fail(FsOp::create, 1, Error::access_denied);
  EXPECT_EQ(fs.create(dir / "out", f), Error::access_denied);
  EXPECT_FALSE(f.is_open());
  ASSERT_EQ(fs.create(dir / "out", f), Error::none);
  EXPECT_EQ(f.owner(), &fake);

  fake.fail(FsOp::write, 3, Error::disk_full);
  char block[32768] = {};
  EXPECT_TRUE(f.write(block, sizeof block).ok());
  EXPECT_TRUE(f.write(block, sizeof block).ok());
  auto w = f.write(block, sizeof block);
  EXPECT_EQ(w.error, Error::disk_full);
  EXPECT_EQ(w.value, 0);
  EXPECT_TRUE(f.write(block, 1).ok());

  // A failing close still releases the handle.
  fake.fail(FsOp::close, 1, Error::io);
  EXPECT_EQ(f.close(), Error::io);
  EXPECT_FALSE(f.is_open());
  EXPECT_EQ(fs.delete_file(dir / "out"), Error::none);  // nothing holds it open

  make_file(dir / "in");
  ASSERT_EQ(fs.open_read(dir / "in", f), Error::none);
  fake.fail(FsOp::read, 1, Error::io);
  char c;
  EXPECT_EQ(f.read(&c, 1).error, Error::io);
  auto r = f.read(&c, 1);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.value, 0);
  EXPECT_EQ(fake.calls(FsOp::read), 2);
  EXPECT_EQ(fake.calls(FsOp::open_read), 1);
}

TEST(FakeFileSystem, LoopOverEveryFailurePoint) {
  // The pattern callers use: fail call N for N = 1, 2, ... until the job
  // completes, checking each failure is reported.
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto job = [&](platform::FileSystem& fs) -> Error {
    File f;
    if (Error e = fs.create(dir / "job", f); e != Error::none) return e;
    for (int i = 0; i < 3; ++i) {
      if (auto w = f.write("abc", 3); !w.ok()) return w.error;
    }
    return f.close();
  };
  int n = 1;
  for (;; ++n) {
    FakeFileSystem fake;
    fake.fail(FsOp::write, n, Error::disk_full);
    Error e = job(fake);
    if (fake.injected_failures() == 0) {
      EXPECT_EQ(e, Error::none);
      break;
    }
    EXPECT_EQ(e, Error::disk_full) << n;
  }
  EXPECT_EQ(n, 4);
}

TEST(FakeFileSystem, DiskFillsUpPartWayThroughAWrite) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  FakeFileSystem fake;
  fake.limit_written_bytes(40000);
  File f;
  ASSERT_EQ(fake.create(dir / "full", f), Error::none);
  static char block[32768];
  EXPECT_TRUE(f.write(block, sizeof block).ok());
  auto w = f.write(block, sizeof block);
  EXPECT_EQ(w.error, Error::disk_full);
  EXPECT_EQ(w.value, 40000 - 32768);  // what fitted reached the disk
  EXPECT_EQ(fake.last_system_error(), 112);
  w = f.write(block, 1);
  EXPECT_EQ(w.error, Error::disk_full);
  EXPECT_EQ(w.value, 0);
  EXPECT_EQ(f.size().value, 40000);
  ASSERT_EQ(f.close(), Error::none);
}

TEST(FakeFileSystem, ChosenFreeSpaceAndVolume) {
  FakeFileSystem fake;
  fake.set_free_space(12345);
  platform::VolumeInfo fat;
  fat.file_system_name = "FAT";
  fat.max_component_length = 12;
  fake.set_volume_info(fat);
  std::string tmp;
  ASSERT_EQ(fake.temp_directory(tmp), Error::none);
  uint64_t free_bytes = 0;
  ASSERT_EQ(fake.free_space(tmp, free_bytes), Error::none);
  EXPECT_EQ(free_bytes, 12345u);
  platform::VolumeInfo vi;
  ASSERT_EQ(fake.volume_info(tmp, vi), Error::none);
  EXPECT_EQ(vi.file_system_name, "FAT");
  EXPECT_EQ(vi.max_component_length, 12u);
  // A rule still wins over the chosen answer.
  fake.fail(FsOp::free_space, 1, Error::not_found);
  EXPECT_EQ(fake.free_space(tmp, free_bytes), Error::not_found);
}

TEST(FakeClock, RecordsSleepsWithoutSleeping) {
  fakes::FakeClock clock;
  platform::ScopedService<platform::Clock> use(clock);
  auto& c = platform::monotonic_clock();
  uint64_t start = c.now_ms();
  for (int i = 0; i < 20; ++i) c.sleep_ms(200);
  EXPECT_EQ(c.now_ms() - start, 4000u);
  EXPECT_EQ(clock.sleeps().size(), 20u);
  EXPECT_EQ(clock.total_slept_ms(), 4000u);
}

TEST(NativeClock, IsMonotonicAndSleeps) {
  auto& c = platform::native<platform::Clock>();
  uint64_t a = c.now_ms();
  c.sleep_ms(20);
  uint64_t b = c.now_ms();
  EXPECT_GE(b, a + 15);  // generous for coarse timers
}
