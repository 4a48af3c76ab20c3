// How extraction meets POSIX: permission bits of Unix-host entries less the
// umask, default modes, symbolic links at the output name or in the path
// (removed or refused, never written through), and a full disk made with
// RLIMIT_FSIZE in a child process.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine_fixture.h"
#include "file_metadata.h"
#include "mapname.h"
#include "output.h"

namespace extraction_test {
namespace {

class PosixOutput : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // The process's umask, left as it is (the platform reads it once).
    mask_ = ::umask(022);
    ::umask(mask_);
  }
  mode_t mode_of(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }
  void extract(const std::string& name, uint32_t attributes, const std::string& data = "x") {
    set_name(root_ + name);
    ctx_.info->file_attributes = attributes;
    ASSERT_EQ(open_output_file(ctx_), 0);
    ASSERT_EQ(flush_output(ctx_, reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size())), 0);
    close_output_file(ctx_);
  }
  mode_t mask_ = 022;
};

uint32_t unix_attributes(uint32_t mode) {
  return 0x20 | ENTRY_ATTR_HAS_UNIX_MODE | (mode << ENTRY_ATTR_UNIX_SHIFT);
}

TEST_F(PosixOutput, UnixPermissionBitsLessTheUmask) {
  extract("tool", unix_attributes(0755));
  EXPECT_EQ(mode_of(root_ + "tool"), 0755u & ~mask_);
  extract("open", unix_attributes(0666));
  EXPECT_EQ(mode_of(root_ + "open"), 0666u & ~mask_);
  extract("private", unix_attributes(0700));
  EXPECT_EQ(mode_of(root_ + "private"), 0700u & ~mask_);
  extract("ro-tool", unix_attributes(0555) | 0x01);
  EXPECT_EQ(mode_of(root_ + "ro-tool"), 0555u & ~mask_);
  // The bits are given as the file is made: a mode without write permission
  // must still let the data in, also over an older file of the name.
  extract("sealed", unix_attributes(0400), "first");
  extract("sealed", unix_attributes(0400), "second data");
  EXPECT_EQ(mode_of(root_ + "sealed"), 0400u & ~mask_);
  struct stat st;
  ASSERT_EQ(::stat((root_ + "sealed").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 11);
  EXPECT_EQ(messages_.all, "");
}

TEST_F(PosixOutput, OtherEntriesGetTheDefaultMode) {
  extract("plain", 0x20);
  EXPECT_EQ(mode_of(root_ + "plain"), 0666u & ~mask_);
  extract("readonly", 0x21);
  EXPECT_EQ(mode_of(root_ + "readonly"), 0444u & ~mask_);
}

TEST_F(PosixOutput, LinkAtTheOutputNameIsReplacedNotFollowed) {
  write_file(root_ + "precious", "keep me");
  ASSERT_EQ(::symlink((root_ + "precious").c_str(), (root_ + "out").c_str()), 0);
  extract("out", 0x20, "new data");
  EXPECT_EQ(read_file(root_ + "precious"), "keep me");
  EXPECT_EQ(kind(root_ + "out"), platform::FileKind::file);
  EXPECT_EQ(read_file(root_ + "out"), "new data");
  // A dangling link to a place outside is removed, and nothing appears there.
  ASSERT_EQ(::symlink((root_ + "elsewhere").c_str(), (root_ + "dangling").c_str()), 0);
  extract("dangling", 0x20);
  EXPECT_EQ(kind(root_ + "elsewhere"), platform::FileKind::missing);
  EXPECT_EQ(kind(root_ + "dangling"), platform::FileKind::file);
}

TEST_F(PosixOutput, LinkWhereADirectoryIsExpectedIsNotADirectory) {
  auto& fs = platform::native<platform::FileSystem>();
  ASSERT_EQ(fs.create_directory(root_ + "outside"), platform::Error::none);
  ASSERT_EQ(fs.create_directory(root_ + "target"), platform::Error::none);
  ASSERT_EQ(::symlink((root_ + "outside").c_str(), (root_ + "target/d").c_str()), 0);
  ASSERT_EQ(set_target_root(ctx_, (root_ + "target").c_str()), 0);
  set_name("d/x.txt");
  EXPECT_EQ(mapname(ctx_, 0), 3);
  EXPECT_NE(messages_.all.find(" exists but is not directory\n"), std::string::npos) << messages_.all;
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(fs.list_directory(root_ + "outside", entries), platform::Error::none);
  EXPECT_EQ(entries.size(), 2u);  // "." and ".." only
}

TEST_F(PosixOutput, TargetRootMayBeALinkToADirectory) {
  auto& fs = platform::native<platform::FileSystem>();
  ASSERT_EQ(fs.create_directory(root_ + "real"), platform::Error::none);
  ASSERT_EQ(::symlink((root_ + "real").c_str(), (root_ + "via").c_str()), 0);
  EXPECT_EQ(set_target_root(ctx_, (root_ + "via").c_str()), 0);
  EXPECT_EQ(messages_.all, "");
}

// The child writes past its file-size limit: the write fails (SIGXFSZ is
// ignored), the message comes once and later flushes return 50 at once.
TEST_F(PosixOutput, FullDiskGivesOneMessageAndResult50) {
  set_name(root_ + "big");
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim{100000, 100000};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    if (open_output_file(ctx_) != 0) ::_exit(10);
    static uint8_t block[32768];
    int r = 0, flushes = 0;
    while (r == 0 && flushes < 100) {
      r = flush_output(ctx_, block, sizeof block);
      ++flushes;
    }
    if (r != 50 || flushes != 4) ::_exit(11);
    if (flush_output(ctx_, block, sizeof block) != 50) ::_exit(12);
    if (ctx_.output.disk_full != 2) ::_exit(13);
    if (messages_.all != root_ + "big:  write error (disk full?).\n") ::_exit(14);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace extraction_test
