// How the POSIX backend realises Windows behaviour: symbolic links are
// removed, never followed; Unix modes are applied less the umask; volume
// names come from statfs; code page 437 round-trips through UTF-8 as ANSI;
// the temporary directory honours TMPDIR; EINTR never reaches callers; TZ is
// dropped so local time is the system's, as on Windows.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "fakes/temp_dir.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/local_time.h"

using platform::Error;
using platform::File;

namespace {

void make_file(const std::string& path, const std::string& text) {
  File f;
  ASSERT_EQ(platform::file_system().create(path, f), Error::none);
  ASSERT_EQ(f.write(text.data(), text.size()).error, Error::none);
  ASSERT_EQ(f.close(), Error::none);
}

}  // namespace

TEST(PosixBackend, SymbolicLinksAreRemovedNotFollowed) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  ASSERT_EQ(fs.create_directory(dir / "target"), Error::none);
  make_file(dir / "target/keep.txt", "keep");
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "target/keep.txt").c_str(), (dir / "filelink").c_str()), 0);

  platform::FileStatus st;
  ASSERT_EQ(fs.status(dir / "link", st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::symlink);
  // Not a directory to a tree walker, so it is never descended into.
  EXPECT_EQ(st.attributes & platform::FILE_ATTR_DIRECTORY, 0u);
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(fs.list_directory(dir.path(), entries), Error::none);
  for (auto& e : entries) {
    if (e.name == "link" || e.name == "filelink") {
      EXPECT_TRUE(e.is_symlink) << e.name;
      EXPECT_EQ(e.attributes & platform::FILE_ATTR_DIRECTORY, 0u) << e.name;
    }
  }
  EXPECT_EQ(fs.delete_file(dir / "link"), Error::none);
  EXPECT_EQ(fs.delete_file(dir / "filelink"), Error::none);
  ASSERT_EQ(fs.status(dir / "target/keep.txt", st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::file);

  // A dangling link blocks an exclusive create instead of being written
  // through.
  ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
  File f;
  EXPECT_EQ(fs.create_exclusive(dir / "dangling", f), Error::already_exists);
  ASSERT_EQ(fs.status(dir / "nowhere", st), Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::missing);
}

TEST(PosixBackend, UnixModeLessUmaskAndReadOnlyBits) {
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  auto& fs = platform::file_system();
  std::string path = dir / "tool.sh";
  make_file(path, "#!/bin/sh\n");
  mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_EQ(fs.set_unix_mode(path, 0100777), Error::none);  // regular file, rwxrwxrwx
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0777u & ~mask);

  ASSERT_EQ(fs.set_attributes(path, platform::FILE_ATTR_READONLY), Error::none);
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(st.st_mode & 0111, 0111u & ~mask);  // execute bits untouched
  ASSERT_EQ(fs.set_attributes(path, platform::FILE_ATTR_NORMAL), Error::none);
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0200u);  // the owner's write bit only
}

TEST(PosixBackend, VolumeInformationFromStatfs) {
  auto& fs = platform::file_system();
  platform::VolumeInfo vi;
  ASSERT_EQ(fs.volume_info("/proc", vi), Error::none);
  EXPECT_EQ(vi.file_system_name, "PROC");
  EXPECT_TRUE(vi.case_sensitive());
  EXPECT_FALSE(vi.persistent_acls());
  // A path still to be made is on the volume of its nearest existing parent.
  ASSERT_EQ(fs.volume_info("/proc/no/such/file", vi), Error::none);
  EXPECT_EQ(vi.file_system_name, "PROC");
  std::string root;
  ASSERT_EQ(fs.volume_root("/proc/self/status", root), Error::none);
  EXPECT_EQ(root, "/proc/");
  ASSERT_EQ(fs.volume_root("/", root), Error::none);
  EXPECT_EQ(root, "/");
  // A path that does not exist yet belongs to the volume of its parent.
  ASSERT_EQ(fs.volume_root("/proc/no/such/dir", root), Error::none);
  EXPECT_EQ(root, "/proc/");
}

TEST(PosixBackend, CodePage437RoundTripsThroughUtf8) {
  auto& cp = platform::code_page();
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::string ansi = cp.oem_to_ansi_string(all);
  EXPECT_GT(ansi.size(), all.size());  // the upper half is multi-byte UTF-8
  EXPECT_EQ(cp.ansi_to_oem_string(ansi), all);
  EXPECT_EQ(cp.oem_to_ansi_string("\x8E\xE1\xFB"), "\u00C4\u00DF\u221A");
  // Not in code page 437, or not UTF-8 at all: '?'.
  EXPECT_EQ(cp.ansi_to_oem_string("\u20AC|\xFF|"), "?|?|");

  // A cut never splits a UTF-8 sequence: "a" + two-byte + three-byte.
  char buf[8];
  size_t written = 0;
  EXPECT_EQ(cp.oem_to_ansi("a\x81\xFB", buf, 3, written), Error::name_too_long);
  EXPECT_EQ(std::string(buf, written), "a");
  EXPECT_EQ(cp.oem_to_ansi("a\x81\xFB", buf, 4, written), Error::name_too_long);
  EXPECT_EQ(std::string(buf, written), "a\u00FC");
  EXPECT_EQ(cp.oem_to_ansi("a\x81\xFB", buf, 7, written), Error::none);
  EXPECT_EQ(std::string(buf, written), "a\u00FC\u221A");

  std::u16string wide;
  ASSERT_EQ(cp.to_utf16("\xF0\x9F\x98\x80\xC3", platform::CodePageId::ansi, wide), Error::none);
  EXPECT_EQ(wide, u"\U0001F600\uFFFD");
}

TEST(PosixBackend, TempDirectoryHonoursTmpdir) {
  auto& fs = platform::file_system();
  const char* old = ::getenv("TMPDIR");
  std::string saved = old ? old : "";
  std::string tmp;
  ::setenv("TMPDIR", "/var/tmp", 1);
  ASSERT_EQ(fs.temp_directory(tmp), Error::none);
  EXPECT_EQ(tmp, "/var/tmp/");
  ::setenv("TMPDIR", "", 1);
  ASSERT_EQ(fs.temp_directory(tmp), Error::none);
  EXPECT_EQ(tmp, "/tmp/");
  if (old) ::setenv("TMPDIR", saved.c_str(), 1); else ::unsetenv("TMPDIR");
}

TEST(PosixBackend, UniqueNameInUnwritableDirectoryIsAccessDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  std::string name;
  EXPECT_EQ(platform::file_system().unique_temp_file(dir.path(), "x", name), Error::access_denied);
  ::chmod(dir.path().c_str(), 0755);
}

namespace {
void on_alarm(int) {}
}  // namespace

TEST(PosixBackend, InterruptedReadIsRetried) {
  // A signal arriving while a read from an empty pipe blocks must not
  // surface as an error: the read resumes and returns the data.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  struct sigaction sa {};
  sa.sa_handler = on_alarm;  // no SA_RESTART: read fails with EINTR
  struct sigaction old {};
  ASSERT_EQ(::sigaction(SIGALRM, &sa, &old), 0);
  pid_t child = ::fork();
  if (child == 0) {
    ::usleep(300000);
    ::kill(::getppid(), SIGALRM);
    ::usleep(200000);
    (void)!::write(fds[1], "ok", 2);
    ::_exit(0);
  }
  ::close(fds[1]);
  auto& fs = platform::file_system();
  File f(fs, fds[0]);
  char buf[2];
  auto r = f.read(buf, 2);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.value, 2);
  EXPECT_EQ(std::string(buf, 2), "ok");
  ::sigaction(SIGALRM, &old, nullptr);
  int status = 0;
  ::waitpid(child, &status, 0);
}

TEST(PosixBackend, FileSizeLimitIsADiskFullWrite) {
  // Run in a child: the limit and the signal disposition are per process.
  fakes::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  std::string path = dir / "limited";
  pid_t child = ::fork();
  if (child == 0) {
    auto& fs = platform::file_system();  // the backend now ignores SIGXFSZ
    struct rlimit limit {10000, 10000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    File f;
    if (fs.create(path, f) != Error::none) ::_exit(11);
    static char block[32768];
    auto first = f.write(block, sizeof block);
    // The part below the limit is written, then the write fails.
    if (first.error != Error::disk_full) ::_exit(12);
    if (first.value != 10000) ::_exit(13);
    if (f.write(block, 1).error != Error::disk_full) ::_exit(14);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PosixBackend, LocalTimeIgnoresTzVariable) {
  // In a child, so that the one-time removal of TZ happens here.
  pid_t child = ::fork();
  if (child == 0) {
    ::setenv("TZ", "XYZ-7", 1);  // a zone seven hours east, were it used
    platform::BrokenDownTime b;
    if (!platform::local_time().to_local(1719835200, b)) ::_exit(10);
    if (::getenv("TZ") != nullptr) ::_exit(11);
    // What the system zone says for the same instant.
    time_t t = 1719835200;
    struct tm tm {};
    ::localtime_r(&t, &tm);
    if (b.hour != tm.tm_hour || b.day != tm.tm_mday) ::_exit(12);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PosixBackend, LocalToUnixTimeAgreesWithMktimeAcrossOffsetChanges) {
  // In a child: after the one-time removal of TZ, zones with daylight
  // saving (and one with half-hour steps) are set by hand, and every
  // answer is compared with mktime's, including the hours around each
  // change of offset and fields out of range as MS-DOS times carry them.
  pid_t child = ::fork();
  if (child == 0) {
    platform::BrokenDownTime probe;
    platform::local_time().to_local(0, probe);
    const char* zones[] = {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "LHST-10:30LHDT-11,M10.1.0,M4.1.0",
                           "UTC0"};
    int zone_number = 0;
    for (const char* zone : zones) {
      ++zone_number;
      ::setenv("TZ", zone, 1);
      ::tzset();
      for (int year : {1980, 1999, 2024, 2037, 2100}) {
        for (int month = 0; month <= 13; ++month) {
          for (int day : {0, 1, 8, 14, 26, 27, 28, 29, 31, 32}) {
            for (int hour = 0; hour <= 26; ++hour) {
              for (int minute : {0, 29, 30, 59, 63}) {
                platform::BrokenDownTime b;
                b.year = year;
                b.month = month;
                b.day = day;
                b.hour = hour;
                b.minute = minute;
                b.second = 58;
                int64_t ours = 0;
                if (!platform::local_time().from_local(b, ours)) ::_exit(20 + zone_number);
                struct tm tm {};
                tm.tm_year = year - 1900;
                tm.tm_mon = month - 1;
                tm.tm_mday = day;
                tm.tm_hour = hour;
                tm.tm_min = minute;
                tm.tm_sec = 58;
                tm.tm_isdst = -1;
                if (static_cast<int64_t>(::mktime(&tm)) != ours) ::_exit(30 + zone_number);
              }
            }
          }
        }
      }
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
