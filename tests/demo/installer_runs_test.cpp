// Guards the demo installer as the launcher starts it: the options the
// launcher passes ("-mode=", "-log=", "-silent_xml=", the temporary-directory
// property, anything else tolerated), the copied product with its program
// bits, the deletion list for its scratch directory, the exit codes, and
// that a refused or failed installation changes nothing that was there.
#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "demo_test_support.h"

namespace {

using namespace demo_test;

class InstallerRuns : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"qelinst"};
  fs::path work, temp, target, answers, log;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    // The launcher's extraction directory: the product lies in it.
    work = fs::path(scratch.path()) / "sfx0001.tmp";
    fs::create_directories(work);
    fs::copy(QEL_DEMO_PRODUCT_DIR, work / "product", fs::copy_options::recursive);
    temp = fs::path(scratch.path()) / "tmp";
    fs::create_directories(temp);
    target = fs::path(scratch.path()) / "install" / "Qel Demo";
    answers = fs::path(scratch.path()) / "answers.xml";
    log = fs::path(scratch.path()) / "install.log";
  }

  // The command line the launcher builds for the demo payload.
  CommandResult install(const std::string& mode_options, const std::string& input = "") {
    return run_command(quote(QELINST_EXE) + " " + quote("-Djava.io.tmpdir=" + temp.string()) +
                           " -Dqel.user=1 -product=product " + mode_options,
                       work, input);
  }

  std::string silent_options() {
    return "-mode=silent " + quote("-log=" + log.string()) + " " + quote("-silent_xml=" + answers.string());
  }
};

TEST_F(InstallerRuns, SilentInstallCopiesTheProductAndListsItsScratch) {
  write_file(answers, silent_xml(target.string()));
  const CommandResult r = install(silent_options() + " -unknown=yes");
  ASSERT_EQ(r.exit_code, 0) << r.output;

  EXPECT_EQ(read_file(target / "bin/tarvik/jvm.dll"), read_file(fs::path(QEL_DEMO_PRODUCT_DIR) / "bin/tarvik/jvm.dll"));
  EXPECT_TRUE(fs::exists(target / "lib/qel.properties"));
  EXPECT_NE(static_cast<unsigned>(fs::status(target / "bin/qel-hello").permissions() & fs::perms::owner_exec), 0u);

  const std::string logged = read_file(log);
  EXPECT_NE(logged.find("Installing into " + target.string()), std::string::npos) << logged;
  EXPECT_NE(logged.find("Ignoring the argument -unknown=yes"), std::string::npos) << logged;

  // One absolute path per line, naming a directory of ours in the temp dir;
  // a new list is UTF-8 behind the byte-order mark.
  const std::string list = read_file(temp / "to_be_deleted");
  ASSERT_GE(list.size(), 5u);
  EXPECT_EQ(list.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(list.substr(list.size() - 2), "\r\n");
  const fs::path scratch_dir = list.substr(3, list.size() - 5);
  EXPECT_TRUE(scratch_dir.is_absolute());
  EXPECT_EQ(scratch_dir.parent_path(), temp);
  EXPECT_TRUE(fs::exists(scratch_dir / "install-state.txt"));
}

TEST_F(InstallerRuns, ReinstallOverAnEarlierInstallationIsAllowed) {
  write_file(answers, silent_xml(target.string()));
  ASSERT_EQ(install(silent_options()).exit_code, 0);
  const CommandResult again = install(silent_options());
  EXPECT_EQ(again.exit_code, 0) << again.output;
  // Both runs asked for their own scratch directory to be removed.
  const std::string list = read_file(temp / "to_be_deleted");
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 2);
}

TEST_F(InstallerRuns, UnusableAnswerFileEndsWithCode2) {
  const CommandResult missing = install(silent_options());
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_NE(missing.output.find("cannot be opened"), std::string::npos) << missing.output;

  write_file(answers, "<installation></installation>");
  const CommandResult empty = install(silent_options());
  EXPECT_EQ(empty.exit_code, 2);
  EXPECT_NE(empty.output.find("has no <installdir> element"), std::string::npos) << empty.output;
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(fs::exists(temp / "to_be_deleted"));
}

TEST_F(InstallerRuns, ForeignOrRelativeTargetIsRefusedWithCode3) {
  write_file(target / "precious.txt", "not ours");
  write_file(answers, silent_xml(target.string()));
  const CommandResult foreign = install(silent_options());
  EXPECT_EQ(foreign.exit_code, 3);
  EXPECT_NE(foreign.output.find("holds no earlier installation"), std::string::npos) << foreign.output;
  EXPECT_EQ(fs::directory_iterator(target)->path().filename(), "precious.txt");
  EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1);

  // A relative path would land in the extraction directory, which the
  // launcher deletes afterwards.
  write_file(answers, silent_xml("relative/dir"));
  const CommandResult relative = install(silent_options());
  EXPECT_EQ(relative.exit_code, 3);
  EXPECT_NE(relative.output.find("is not an absolute path"), std::string::npos) << relative.output;
  EXPECT_FALSE(fs::exists(work / "relative"));
}

TEST_F(InstallerRuns, FailedCopyRemovesWhatItCreated) {
  // An earlier installation in which a directory stands where the product
  // has a file: the copy fails part way.
  write_file(target / "qel-demo.installed", "Qel Demo\n");
  write_file(target / "README.txt/keep.txt", "kept");
  write_file(answers, silent_xml(target.string()));
  const CommandResult r = install(silent_options());
  EXPECT_EQ(r.exit_code, 4) << r.output;
  EXPECT_NE(r.output.find("cannot copy README.txt"), std::string::npos) << r.output;
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(target)) left.push_back(fs::relative(e.path(), target).string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"README.txt", "README.txt/keep.txt", "qel-demo.installed"}));
}

TEST_F(InstallerRuns, ConsoleModeAsksForTheDirectory) {
  const fs::path typed = fs::path(scratch.path()) / "typed";
  const CommandResult r = install("-mode=console", typed.string() + "\n");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("Press Enter to accept"), std::string::npos) << r.output;
  EXPECT_TRUE(fs::exists(typed / "README.txt"));

  const CommandResult cancelled = install("-mode=console", "q\n");
  EXPECT_EQ(cancelled.exit_code, 5) << cancelled.output;
}

TEST_F(InstallerRuns, PlantedDeletionListIsLeftAlone) {
  const fs::path victim = fs::path(scratch.path()) / "victim.txt";
  write_file(victim, "someone else's file\n");
  fs::create_symlink(victim, temp / "to_be_deleted");
  write_file(answers, silent_xml(target.string()));
  const CommandResult r = install(silent_options());
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(read_file(victim), "someone else's file\n");
  // Without a list the installer removes its scratch directory itself.
  for (const auto& e : fs::directory_iterator(temp)) EXPECT_EQ(e.path().filename(), "to_be_deleted");
}

TEST_F(InstallerRuns, BadModeIsABadArgument) {
  const CommandResult r = install("-mode=loud");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("unknown mode in -mode=loud"), std::string::npos) << r.output;
}

}  // namespace
