// Whole POSIX extractions: a real full disk (RLIMIT_FSIZE in a child, with
// SIGXFSZ ignored) ends the run after the entry that hit it, and links
// planted in the target are never written through; archives made by
// bsdtar and 7-Zip extract to exactly what Python's zipfile extracts.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "engine_fixture.h"
#include "run_engine.h"

namespace extraction_test {
namespace {

class PosixEndToEnd : public EngineTest {
 protected:
  std::string make_zip(const std::string& script) {
    std::string zip = root_ + "made.zip";
    std::string cmd = "cd '" + root_ + "' && python3 -c '" + script + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return "";
    return zip;
  }
  static bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
  }
};

TEST_F(PosixEndToEnd, FullDiskEndsTheRunAfterThatEntry) {
  if (!have("python3")) GTEST_SKIP() << "python3 missing";
  std::string zip = make_zip(
      "import zipfile\n"
      "z = zipfile.ZipFile(\"made.zip\", \"w\", zipfile.ZIP_DEFLATED)\n"
      "z.writestr(\"big.bin\", bytes(range(256)) * 2000)\n"
      "z.writestr(\"after.txt\", b\"never\")\n"
      "z.close()\n");
  ASSERT_FALSE(zip.empty());
  std::string target = root_ + "out";
  std::string log = root_ + "log.txt";
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim{100000, 100000};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    EngineRun run;
    int r = run.extract(zip, target);
    // The log itself must fit under the limit.
    std::ofstream(log) << run.text.substr(0, 4000);
    ::_exit(r == RC_DISK_FULL ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  std::ifstream in(log);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << text;
  EXPECT_EQ(count_of(text, "big.bin:  write error (disk full?).\n"), 1) << text;
  EXPECT_NE(text.find("warning:  " + target + "/big.bin is probably truncated\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("after.txt"), std::string::npos) << text;
  EXPECT_EQ(kind(target + "/after.txt"), platform::FileKind::missing);
}

TEST_F(PosixEndToEnd, LinksInTheTargetAreNeverWrittenThrough) {
  if (!have("python3")) GTEST_SKIP() << "python3 missing";
  std::string zip = make_zip(
      "import zipfile\n"
      "z = zipfile.ZipFile(\"made.zip\", \"w\")\n"
      "z.writestr(\"linkdir/inside.txt\", b\"through the link\")\n"
      "z.writestr(\"linkfile\", b\"replaced\")\n"
      "z.close()\n");
  ASSERT_FALSE(zip.empty());
  auto& fs = platform::native<platform::FileSystem>();
  std::string target = root_ + "out", outside = root_ + "outside";
  ASSERT_EQ(fs.create_directory(target), platform::Error::none);
  ASSERT_EQ(fs.create_directory(outside), platform::Error::none);
  write_file(outside + "/precious", "keep");
  ASSERT_EQ(::symlink(outside.c_str(), (target + "/linkdir").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/precious").c_str(), (target + "/linkfile").c_str()), 0);
  EngineRun run;
  run.options.overwrite_always = 1;
  EXPECT_EQ(run.extract(zip, target), RC_ERROR) << run.text;
  EXPECT_NE(run.text.find("linkdir exists but is not directory\n"), std::string::npos) << run.text;
  EXPECT_EQ(kind(outside + "/inside.txt"), platform::FileKind::missing);
  EXPECT_EQ(read_file(outside + "/precious"), "keep");
  EXPECT_EQ(kind(target + "/linkfile"), platform::FileKind::file);
  EXPECT_EQ(read_file(target + "/linkfile"), "replaced");
}

// Trees from one source made into archives by each tool: what the engine
// extracts equals, byte for byte, what Python's zipfile extracts.
TEST_F(PosixEndToEnd, ArchivesOfEveryToolMatchPythonsExtraction) {
  if (!have("python3")) GTEST_SKIP() << "python3 missing";
  std::string src = root_ + "src";
  std::string setup = "mkdir -p '" + src + "/d/e' && cd '" + src +
                      "' && python3 -c 'import os\n"
                      "open(\"t.txt\",\"wb\").write(b\"line\\r\\n\" * 3000)\n"
                      "open(\"d/r.bin\",\"wb\").write(os.urandom(70000))\n"
                      "open(\"d/e/z.bin\",\"wb\").write(bytes(100000))\n"
                      "open(\"empty\",\"wb\").close()\n'";
  ASSERT_EQ(std::system(setup.c_str()), 0);
  struct maker {
    const char* tool;
    std::string command;
  } makers[] = {
      {"python3", "python3 -m zipfile -c '" + root_ + "py.zip' t.txt d empty"},
      {"bsdtar", "bsdtar --format zip -cf '" + root_ + "bt.zip' t.txt d empty"},
      {"7zz", "7zz a -tzip -bd '" + root_ + "7z.zip' t.txt d empty >/dev/null"},
      {"7zz", "7zz a -tzip -bd -mm=Copy '" + root_ + "7s.zip' t.txt d empty >/dev/null"},
  };
  int n = 0;
  for (const maker& m : makers) {
    if (!have(m.tool)) continue;
    ++n;
    ASSERT_EQ(std::system(("cd '" + src + "' && " + m.command).c_str()), 0) << m.command;
    std::string made = m.command.substr(m.command.find('\'') + 1);
    made = made.substr(0, made.find('\''));
    std::string ours = root_ + "ours" + std::to_string(n), theirs = root_ + "theirs" + std::to_string(n);
    EngineRun run;
    EXPECT_LE(run.extract(made, ours), RC_WARNING) << m.command << "\n" << run.text;
    ASSERT_EQ(std::system(("python3 -m zipfile -e '" + made + "' '" + theirs + "'").c_str()), 0);
    EXPECT_EQ(std::system(("diff -r '" + ours + "' '" + theirs + "' >/dev/null").c_str()), 0) << m.command;
  }
  if (n == 0) GTEST_SKIP() << "no archiver found";
}

}  // namespace
}  // namespace extraction_test
