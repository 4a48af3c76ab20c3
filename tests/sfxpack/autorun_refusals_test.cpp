// Guards sfxpack's refusals: a payload the launcher could not run (no
// AUTORUN.INF, LF-only line ends, an empty launch key, a nested archive
// that is not there, a key the launcher never sees, nested archives aimed
// outside the extraction directory) ends the real program
// with exit code 1 and a message naming the fault, and leaves no installer
// (nor a half-made one) behind. What the launcher copes with is accepted.
#include <gtest/gtest.h>

#include "autorun_check.h"
#include "fakes/temp_dir.h"
#include "sfxpack_test_support.h"

namespace {

using namespace sfxpack_test;

class AutorunRefusals : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"sfxpack"};
  fs::path tree, stub, output;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    tree = fs::path(scratch.path()) / "payload";
    stub = fs::path(scratch.path()) / "stub";
    output = fs::path(scratch.path()) / "setup";
    write_file(stub, std::string(4096, 'S'));
    write_file(tree / "product/README.txt", "product\n");
    write_file(tree / "runtime.zip", "nested");
  }

  CommandResult pack() {
    return run_command(quote(sfxpack_program()) + " --no-verify " + quote(stub.string()) + " " + quote(tree.string()) + " " +
                   quote(output.string()),
               scratch.path());
  }

  void expect_refused(const std::string& message) {
    const CommandResult r = pack();
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(output.string() + ".sfxpack-tmp"));
  }
};

TEST_F(AutorunRefusals, ValidConfigurationIsPacked) {
  write_file(tree / "AUTORUN.INF", autorun_text("runtime.zip"));
  const CommandResult r = pack();
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(fs::exists(output));
}

TEST_F(AutorunRefusals, MissingAutorunIsRefused) {
  write_file(tree / "autorun.inf", autorun_text());  // the launcher opens exactly AUTORUN.INF
  expect_refused("the payload has no AUTORUN.INF at its root");
}

TEST_F(AutorunRefusals, AutorunBelowTheRootIsRefused) {
  write_file(tree / "product/AUTORUN.INF", autorun_text());
  expect_refused("no AUTORUN.INF at its root");
}

TEST_F(AutorunRefusals, LfOnlyLineEndsAreRefused) {
  std::string lf = autorun_text("runtime.zip");
  for (size_t at; (at = lf.find('\r')) != std::string::npos;) lf.erase(at, 1);
  write_file(tree / "AUTORUN.INF", lf);
  expect_refused("line ends without a carriage return");
}

TEST_F(AutorunRefusals, EmptyOrBlankLaunchKeyIsRefused) {
  write_file(tree / "AUTORUN.INF", "[autorun]\r\nOPEN=a\r\nCONSOLE=\r\nSILENT= \t \r\n");
  const CommandResult r = pack();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("empty CONSOLE= value, so console mode"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("empty SILENT= value, so silent mode"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(AutorunRefusals, MissingLaunchKeyIsRefused) {
  write_file(tree / "AUTORUN.INF", "[autorun]\r\nOPEN=a\r\nCONSOLE=b\r\n");
  expect_refused("AUTORUN.INF has no SILENT= line, so silent mode cannot start");
}

TEST_F(AutorunRefusals, MissingNestedArchiveIsRefused) {
  write_file(tree / "AUTORUN.INF", autorun_text("runtime.zip,,jre/tools.zip"));
  expect_refused("names the nested archive \"jre/tools.zip\" in UNZIP=, but the payload holds no such file");
}

TEST_F(AutorunRefusals, NestedArchiveThatIsADirectoryIsRefused) {
  fs::create_directories(tree / "jre.zip");
  write_file(tree / "jre.zip/x", "x");
  write_file(tree / "AUTORUN.INF", autorun_text("jre.zip"));
  expect_refused("\"jre.zip\" in UNZIP=, but the payload holds no such file");
}

TEST_F(AutorunRefusals, NestedTargetOutsideTheExtractionDirectoryIsRefused) {
  for (const std::string target : {"../../x", "/opt/x", "\\x", "C:\\x", "c:x", "rt/../../x", "rt\\..\\..\\x"}) {
    write_file(tree / "AUTORUN.INF", autorun_text() + "UNZIP=runtime.zip\r\nUNZIPTO=" + target + "\r\n");
    SCOPED_TRACE(target);
    expect_refused("puts the nested archives into \"" + target + "\" (UNZIPTO=), which is not inside");
  }
  // Climbing back down is still inside.
  write_file(tree / "AUTORUN.INF", autorun_text() + "UNZIP=runtime.zip\r\nUNZIPTO=rt/../rt2/./x\r\n");
  const CommandResult r = pack();
  EXPECT_EQ(r.exit_code, 0) << r.output;
}

TEST_F(AutorunRefusals, RefusalLeavesAnEarlierInstallerAlone) {
  write_file(output, "earlier installer");
  write_file(tree / "AUTORUN.INF", "[autorun]\r\n");
  const CommandResult r = pack();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(read_file(output), "earlier installer");
}

// The launcher's reading rules, which the check mirrors.
TEST(AutorunCheck, KeysTheLauncherCannotSeeAreExplained) {
  auto present = [](const std::string&) { return true; };
  // The last line has no line end: its key counts as absent.
  auto f = sfxpack::check_autorun("OPEN=a\r\nCONSOLE=b\r\nSILENT=c", present);
  ASSERT_EQ(f.problems.size(), 1u);
  EXPECT_NE(f.problems[0].find("no carriage return after SILENT="), std::string::npos);

  // Only the first 4,096 bytes are read.
  f = sfxpack::check_autorun("OPEN=a\r\nCONSOLE=b\r\n" + std::string(5000, ';') + "\r\nSILENT=c\r\n", present);
  ASSERT_EQ(f.problems.size(), 1u);
  EXPECT_NE(f.problems[0].find("beyond what the launcher reads"), std::string::npos);

  // The text ends at a NUL byte.
  f = sfxpack::check_autorun(std::string("OPEN=a\r\nCONSOLE=b\r\n\0SILENT=c\r\n", 29), present);
  ASSERT_EQ(f.problems.size(), 1u);
  EXPECT_NE(f.problems[0].find("beyond what the launcher reads"), std::string::npos);
}

TEST(AutorunCheck, WhatTheLauncherCopesWithIsOnlyAWarning) {
  auto present = [](const std::string&) { return true; };
  // A key text inside another line is what the launcher takes.
  auto f = sfxpack::check_autorun("SILENT=x -Dq.OPEN=1\r\nOPEN=a\r\nCONSOLE=b\r\n", present);
  EXPECT_TRUE(f.ok());
  ASSERT_EQ(f.warnings.size(), 1u);
  EXPECT_NE(f.warnings[0].find("OPEN= first inside another line"), std::string::npos);
  EXPECT_EQ(sfxpack::find_launch_key("SILENT=x -Dq.OPEN=1\r\nOPEN=a\r\n", "OPEN="), "1");

  // Nested archives without a target are not extracted, but the launch goes on.
  f = sfxpack::check_autorun("OPEN=a\r\nCONSOLE=b\r\nSILENT=c\r\nUNZIP=r.zip\r\n", present);
  EXPECT_TRUE(f.ok());
  ASSERT_EQ(f.warnings.size(), 1u);
  EXPECT_NE(f.warnings[0].find("no UNZIPTO="), std::string::npos);
}

TEST(AutorunCheck, NestedListSplitsLikeTheLauncher) {
  EXPECT_EQ(sfxpack::split_nested_list("a.zip,,b.zip,"), (std::vector<std::string>{"a.zip", "b.zip"}));
  EXPECT_TRUE(sfxpack::split_nested_list(",,").empty());
  auto f = sfxpack::check_autorun("OPEN=a\r\nCONSOLE=b\r\nSILENT=c\r\nUNZIP=" + std::string(512, 'n') +
                                      "\r\nUNZIPTO=r\r\n",
                                  [](const std::string&) { return true; });
  ASSERT_EQ(f.problems.size(), 1u);
  EXPECT_NE(f.problems[0].find("longer than 511 characters"), std::string::npos);
}

}  // namespace
