// Whole runs of a packed setupstub in console and silent mode, as real
// processes: the texts, the exit code of each situation (silent runs fail
// non-zero), the installer started in the extraction directory with an
// absolute base, over-long paths, nested archives aimed outside, and the
// clean-up after.
#include <algorithm>
#include <cstdlib>

#include "packed_installer.h"
#include "packed_run_fixture.h"
#include "platform/environment.h"
#include "zipengine/zipengine.h"

using launcher_test::Exists;
using launcher_test::PackInstaller;
using launcher_test::ReadFile;
using launcher_test::RunProgram;
using launcher_test::Sep;
using launcher_test::WriteFile;
using launcher_test::ZipMember;

class PackedRun : public launcher_test::PackedRunTest {};

TEST_F(PackedRun, SilentRunStartsTheInstallerInTheExtractionDirectoryAndGivesItsExitCode) {
  const std::string stub = Path("setup.exe");
  PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}, {"data/", "", ""}, {"data/file.txt", "hello", ""}});
  WriteFile(Path("leftover.txt"), "l");
  WriteFile(base_ + Sep() + "to_be_deleted", Path("leftover.txt") + "\r\n");
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + base_, "-Dfoo=1", "-log=x.log"}, dir_.path());
  EXPECT_EQ(r.exit_code, 3) << r.err;
  EXPECT_EQ(r.out, "Extracting " + std::string(100, '.') + " Done\n");
  EXPECT_EQ(r.err, "");
  std::vector<std::string> seen = Report();
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0].rfind(base_ + Sep() + "sfx", 0), 0u) << seen[0];
  EXPECT_EQ(seen[1], "-Djava.io.tmpdir=" + base_);
  EXPECT_EQ(seen[2], "-Dfoo=1");
  EXPECT_EQ(seen[3], "-sil");
  EXPECT_EQ(seen[4], "M");
  EXPECT_EQ(seen[5], "-mode=silent");
  EXPECT_EQ(seen[6], "-log=" + dir_.path() + Sep() + "x.log");
  EXPECT_FALSE(Exists(seen[0]));  // the extraction directory is gone
  EXPECT_FALSE(Exists(Path("leftover.txt")));
  ExpectBaseHoldsOnly({});
}

TEST_F(PackedRun, ConsolePromptTakesLowerCaseExitAsADirectoryThenAnExistingOne) {
  const std::string stub = Path("setup.exe");
  PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  const std::string missing = Path("missing");
  auto r = RunProgram(stub, {"-mode=console", "-Djava.io.tmpdir=" + missing}, dir_.path(),
                      "exit\n" + base_ + "\nk");
  EXPECT_EQ(r.exit_code, 3) << r.err;
  EXPECT_EQ(r.err, "The directory \"" + missing + "\" does not exist. \n" +
                       "The directory \"exit\" does not exist. \n");
  EXPECT_EQ(r.out, "Please input another directory or [Exit]:Please input another directory or [Exit]:Extracting " +
                       std::string(100, '.') + " Done\n\n...Finish installation. Press any key to close this window...\n");
  ASSERT_FALSE(Report().empty());
  EXPECT_EQ(Report()[1], "-Djava.io.tmpdir=" + base_);
  EXPECT_EQ(Report()[2], "-con");
}

TEST_F(PackedRun, ConsolePromptExitEndsWithTheSetUpMessageAndExitCodeZero) {
  const std::string stub = Path("setup.exe");
  PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  auto r = RunProgram(stub, {"-mode=console", "-Djava.io.tmpdir="}, dir_.path(), "Exit\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "The directory \"\" does not exist. \n**** Could not setup the extraction directory.\n");
  EXPECT_FALSE(Exists(report_));
  // Input that ends at the prompt ends the run the same way.
  r = RunProgram(stub, {"-mode=console", "-Djava.io.tmpdir=" + Path("missing")}, dir_.path(), "");
  EXPECT_EQ(r.exit_code, 0);
}

// Silent runs are read by deployment tools: every failure exits non-zero.
TEST_F(PackedRun, SilentFailuresExitNonZeroAndSayWhy) {
  const std::string stub = Path("setup.exe");
  PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + Path("missing")}, dir_.path(), "");
  EXPECT_EQ(r.exit_code, Sep() == '/' ? 254 : -2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "The directory \"" + Path("missing") +
                       "\" does not exist. \n**** Could not setup the extraction directory.\n");

  // Nested archives aimed outside the extraction directory: refused, the
  // installer not started, nothing written outside.
  const std::string nested = launcher_test::MakeZip({{"escaped.txt", "x", ""}});
  PackInstaller(stub, {{"AUTORUN.INF", Autorun() + "UNZIP=rt.zip\r\nUNZIPTO=../../outside\r\n", ""},
                       {"rt.zip", nested, ""}});
  r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + base_}, dir_.path());
  EXPECT_EQ(r.exit_code, Sep() == '/' ? 253 : -3);
  EXPECT_EQ(r.err,
            "\nThe launch configuration puts the nested archives into \"../../outside\", which is not inside the "
            "extraction directory.\n");
  EXPECT_FALSE(Exists(report_));
  EXPECT_FALSE(Exists(Path("outside")));
  ExpectBaseHoldsOnly({});
  // Console mode keeps its code for a run that started nothing.
  r = RunProgram(stub, {"-mode=console", "-Djava.io.tmpdir=" + base_}, dir_.path(), "k");
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(PackedRun, RelativeOrLinkedBaseReachesTheInstallerAsAnAbsolutePath) {
  const std::string stub = Path("setup.exe");
  PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=base"}, dir_.path());
  EXPECT_EQ(r.exit_code, 3) << r.err;
  ASSERT_GE(Report().size(), 2u);
  EXPECT_EQ(Report()[1], "-Djava.io.tmpdir=" + base_);  // the installer runs elsewhere
  EXPECT_EQ(Report()[0].rfind(base_ + Sep() + "sfx", 0), 0u);
  ExpectBaseHoldsOnly({});
  if (Sep() != '/') return;
  ASSERT_EQ(std::system(("ln -s base '" + Path("linked") + "'").c_str()), 0);
  r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=linked"}, dir_.path());
  EXPECT_EQ(r.exit_code, 3) << r.err;
  ASSERT_GE(Report().size(), 2u);
  EXPECT_EQ(Report()[1], "-Djava.io.tmpdir=" + Path("linked"));
  ExpectBaseHoldsOnly({});
}

TEST_F(PackedRun, OverLongPathsAreSaidToBeTooLong) {
  // A real directory whose path has 300 characters (where the system can
  // make one).
  std::string deep = dir_.path();
  while (deep.size() < 300) {
    deep += Sep() + std::string(std::min<size_t>(100, 300 - deep.size()), 'd');
    MakeDir(deep);
  }
  const std::string stub = Path("setup.exe");
  PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + deep}, dir_.path());
  EXPECT_EQ(r.exit_code, Sep() == '/' ? 254 : -2);
  EXPECT_EQ(r.err, "The directory \"" + deep + "\" has a path too long for extraction. \n"
                   "**** Could not setup the extraction directory.\n");

  // The launcher itself stored there: its payload cannot be read, which is
  // not a corrupt payload.
  if (!Exists(deep)) GTEST_SKIP() << "this system makes no directory of 300 characters";
  // Windows makes one (the \\?\ form) but starts no program from there.
  if (Sep() == '\\') GTEST_SKIP() << "this system starts no program from a path of 300 characters";
  const std::string far = deep + Sep() + "setup.exe";
  PackInstaller(far, {{"AUTORUN.INF", Autorun(), ""}});
  r = RunProgram(far, {"-mode=silent", "-Djava.io.tmpdir=" + base_}, dir_.path());
  EXPECT_EQ(r.exit_code, RC_NO_ARCHIVE);
  EXPECT_EQ(r.err, "**** The installer cannot read itself: its path is longer than 259 characters. Move it to a folder "
                   "with a shorter path.\n");
  EXPECT_FALSE(Exists(report_));
  ExpectBaseHoldsOnly({});
}

TEST_F(PackedRun, MissingLaunchKeyGivesMinusOne) {
  const std::string stub = Path("setup.exe");
  // LF line ends: no key has a carriage return after it.
  PackInstaller(stub, {{"AUTORUN.INF", "[autorun]\nSILENT=x\n", ""}});
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + base_}, dir_.path());
  EXPECT_EQ(r.exit_code, launcher_test::MinusOneExit());
  EXPECT_EQ(r.err, "**** Could not locate the launcher command.\n");
  ExpectBaseHoldsOnly({});
}

TEST_F(PackedRun, InstallerThatCannotStartGivesMinusOne) {
  const std::string stub = Path("setup.exe");
  PackInstaller(stub, {{"AUTORUN.INF", "SILENT=no-such-program-qel -x\r\n", ""}});
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + base_}, dir_.path());
  EXPECT_EQ(r.exit_code, launcher_test::MinusOneExit());
  EXPECT_EQ(r.err.rfind("**** Could not launch the installer. Error: ", 0), 0u) << r.err;
}

TEST_F(PackedRun, CorruptOrMissingPayloadGivesTheEnginesCode) {
  const std::string stub = Path("setup.exe");
  // No payload at all.
  WriteFile(stub, ReadFile(launcher_test::SetupstubPath()));
  platform::native<platform::FileSystem>().set_unix_mode(stub, 0755);
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + base_}, dir_.path());
  EXPECT_NE(r.exit_code, 0);
  EXPECT_EQ(r.err, "**** Could not obtain archive information since it is corrupted. Error code = " +
                       std::to_string(r.exit_code) + "\n");
  // A member whose data fails its check: listing passes, extraction fails.
  PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}, {"bad.bin", "abcdef", "\xff\xff\xff\xff"}});
  r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + base_}, dir_.path());
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.err.find("**** Could not extract the archive since it is corrupted. Error code = " +
                       std::to_string(r.exit_code) + "\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(Exists(report_));
  ExpectBaseHoldsOnly({});
}

TEST_F(PackedRun, NestedArchivesAreExtractedBeforeTheInstallerStarts) {
  const std::string stub = Path("setup.exe");
  const std::string nested = launcher_test::MakeZip({{"bin/", "", ""}, {"bin/runtime.txt", "rt", ""}});
  platform::native<platform::Environment>().set("QEL_CHILD_CHECK", "rt" + std::string(1, Sep()) + "bin" +
                                                                        std::string(1, Sep()) + "runtime.txt");
  PackInstaller(stub, {{"AUTORUN.INF", Autorun() + "UNZIP=one.zip,,two.zip\r\nUNZIPTO=rt\r\n", ""},
                       {"one.zip", nested, ""},
                       {"rt/", "", ""}});
  auto r = RunProgram(stub, {"-mode=silent", "-Djava.io.tmpdir=" + base_}, dir_.path());
  platform::native<platform::Environment>().set("QEL_CHILD_CHECK", std::nullopt);
  EXPECT_EQ(r.exit_code, 3) << r.err;  // the missing two.zip is no reason to stop
  std::vector<std::string> seen = Report();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "check:present");
}
