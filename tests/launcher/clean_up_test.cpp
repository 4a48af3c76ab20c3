// Clean-up: deletion lists, whole trees with read-only entries, retries
// after sharing violations out of one shared budget (through the fake
// clock, no real sleeping) and the report of what stays, and the refusal to
// follow links (however a list writes them), to take a volume's root, or
// to read lists that others could plant.
#include "clean_up.h"

#include <algorithm>
#include <cstdlib>

#include "fakes/fake_clock.h"
#include "fakes/fake_directory_tree.h"
#include "launcher_test_support.h"

using launcher::State;
using launcher_test::Exists;
using launcher_test::LauncherTest;
using launcher_test::WriteFile;

class CleanUp : public LauncherTest {
 protected:
  void MakeReadOnly(const std::string& path) {
    platform::native<platform::FileSystem>().set_attributes(path, platform::FILE_ATTR_READONLY);
  }
  fakes::FakeClock clock_;
  platform::ScopedService<platform::Clock> use_clock_{clock_};
};

TEST_F(CleanUp, ListInTheBaseRemovesATreeWithReadOnlyFilesAndAFile) {
  const std::string tree = Path("tree"), sub = Path("tree") + launcher_test::Sep() + "sub";
  MakeDir(tree);
  MakeDir(sub);
  WriteFile(sub + launcher_test::Sep() + "ro.txt", "x");
  MakeReadOnly(sub + launcher_test::Sep() + "ro.txt");
  MakeReadOnly(sub);
  WriteFile(Path("single.txt"), "y");
  WriteFile(Path("kept.txt"), "z");
  // CR LF and LF line ends, an empty line.
  WriteFile(Path("to_be_deleted"), tree + "\r\n\r\n" + Path("single.txt") + "\n");
  State().temp_base = dir_.path();
  EXPECT_TRUE(launcher::CleanUp());
  EXPECT_FALSE(Exists(tree));
  EXPECT_FALSE(Exists(Path("single.txt")));
  EXPECT_FALSE(Exists(Path("to_be_deleted")));
  EXPECT_TRUE(Exists(Path("kept.txt")));
  EXPECT_TRUE(Exists(dir_.path()));  // the base itself stays
  EXPECT_FALSE(State().temp_base.has_value());
  EXPECT_TRUE(clock_.sleeps().empty());
}

TEST_F(CleanUp, ListInTheExtractionDirectoryGoesFirstThenTheDirectory) {
  auto& fs = platform::native<platform::FileSystem>();
  const std::string ex = Path("sfx1"), outside = Path("outside.txt");
  MakeDir(ex);
  WriteFile(outside, "o");
  WriteFile(ex + launcher_test::Sep() + "payload.bin", "p");
  // A relative path is taken against the directory of before the run.
  WriteFile(ex + launcher_test::Sep() + "to_be_deleted", "outside.txt\n");
  State().saved_directory = dir_.path();
  State().extraction_dir = ex;
  fs.set_current_directory(ex);
  launcher::CleanUp();
  std::string now;
  fs.current_directory(now);
  EXPECT_EQ(now, dir_.path());
  EXPECT_FALSE(Exists(outside));
  EXPECT_FALSE(Exists(ex));
  EXPECT_FALSE(State().extraction_dir.has_value());
}

TEST_F(CleanUp, SharingViolationsArePausedForAndRetriedWithinTheLimits) {
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  WriteFile(Path("held.txt"), "h");
  // Held open for three attempts, then let go.
  for (int i = 0; i < 3; ++i) {
    tree.fail(fakes::TreeOp::remove, 1, platform::Error::sharing_violation, false, "held.txt");
  }
  EXPECT_TRUE(launcher::RemoveTree(Path("held.txt")));
  EXPECT_EQ(tree.calls(fakes::TreeOp::remove), 4);
  EXPECT_EQ(clock_.sleeps(), (std::vector<uint32_t>{2000, 2000, 2000}));
  EXPECT_FALSE(Exists(Path("held.txt")));
  EXPECT_TRUE(State().left_behind.empty());

  // A directory: 3 attempts, 1 s pauses between; it stays, and is noted.
  MakeDir(Path("held_dir"));
  tree.fail_always(fakes::TreeOp::remove, platform::Error::sharing_violation, "held_dir");
  EXPECT_FALSE(launcher::RemoveTree(Path("held_dir")));
  EXPECT_EQ(tree.calls(fakes::TreeOp::remove), 4 + 3);
  EXPECT_EQ(clock_.total_slept_ms(), 6000u + 2000u);
  ASSERT_EQ(State().left_behind.size(), 1u);
  EXPECT_EQ(State().left_behind[0], (std::pair<std::string, std::string>{Path("held_dir"), "sharing violation"}));

  // A missing path costs nothing and is not left behind.
  EXPECT_TRUE(launcher::RemoveTree(Path("missing.txt")));
  EXPECT_EQ(tree.calls(fakes::TreeOp::remove), 7);
  EXPECT_EQ(State().left_behind.size(), 1u);
}

TEST_F(CleanUp, HeldFilesShareOneTimeBudgetAndAreReported) {
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  const std::string ex = Path("sfx3");
  MakeDir(ex);
  // Twenty jars that a VM still holds and never lets go.
  for (int i = 0; i < 20; ++i) WriteFile(ex + launcher_test::Sep() + "lib" + std::to_string(i) + ".jar", "j");
  WriteFile(ex + launcher_test::Sep() + "free.txt", "f");
  tree.fail_always(fakes::TreeOp::remove, platform::Error::sharing_violation, ".jar");
  State().mode = launcher::LAUNCH_SILENT;
  State().extraction_dir = ex;
  testing::internal::CaptureStderr();
  launcher::CleanUp();
  const std::string err = testing::internal::GetCapturedStderr();
  // Three minutes in all, not five per jar: the first jar used them up
  // (91 attempts), each later one is given up at its first.
  EXPECT_EQ(clock_.total_slept_ms(), launcher::kHeldFileBudgetMs);
  const std::vector<std::string> removals = tree.paths(fakes::TreeOp::remove);
  EXPECT_EQ(std::count_if(removals.begin(), removals.end(),
                          [](const std::string& p) { return p.find(".jar") != std::string::npos; }),
            91 + 19);
  EXPECT_FALSE(Exists(ex + launcher_test::Sep() + "free.txt"));
  size_t lines = 0;
  for (size_t at = 0; (at = err.find("**** Could not remove \"", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 20u) << err;
  EXPECT_NE(err.find("**** Could not remove \"" + ex + launcher_test::Sep() + "lib7.jar\": sharing violation.\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("\"" + ex + "\""), std::string::npos) << err;  // its jars say why it stays

  // The graphical report is one box, with the first ten.
  launcher::ResetState();
  launcher_test::RecordingDialogs dialogs;
  platform::ScopedService<platform::Dialogs> use_dialogs(dialogs);
  State().extraction_dir = ex;
  launcher::CleanUp();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].request.title.value_or(""), "Qel Installer");
  EXPECT_EQ(dialogs.boxes[0].request.text.rfind("Cleaning up had to leave these behind:\n", 0), 0u);
  EXPECT_NE(dialogs.boxes[0].request.text.find(" (sharing violation)\nand 10 more."), std::string::npos)
      << dialogs.boxes[0].request.text;
}

TEST_F(CleanUp, FileHeldBrieflyInTheExtractionDirectoryIsRemovedWithIt) {
  fakes::FakeDirectoryTree tree;
  platform::ScopedService<platform::DirectoryTree> use(tree);
  const std::string ex = Path("sfx2");
  MakeDir(ex);
  WriteFile(ex + launcher_test::Sep() + "jvm.dll", "j");
  for (int i = 0; i < 3; ++i) tree.fail(fakes::TreeOp::remove, 1, platform::Error::sharing_violation, false, "jvm.dll");
  State().extraction_dir = ex;
  launcher::CleanUp();
  EXPECT_FALSE(Exists(ex));
  EXPECT_EQ(clock_.total_slept_ms(), 6000u);
  EXPECT_TRUE(State().left_behind.empty());
}

TEST_F(CleanUp, LinksAreRemovedAsLinksAndListsMustBeOurOwnRegularFiles) {
  if (launcher_test::Sep() != '/') GTEST_SKIP() << "symbolic links and owners are POSIX matters here";
  const std::string victim = Path("victim"), victim_file = Path("victim") + "/precious.txt";
  MakeDir(victim);
  WriteFile(victim_file, "keep me");
  const std::string tree = Path("tree");
  MakeDir(tree);
  ASSERT_EQ(std::system(("ln -s '" + victim + "' '" + tree + "/link'").c_str()), 0);
  ASSERT_EQ(std::system(("ln -s '" + victim + "' '" + Path("toplink") + "'").c_str()), 0);
  WriteFile(Path("to_be_deleted"), tree + "\n" + Path("toplink") + "\n");
  launcher::ProcessDeleteList(dir_.path());
  EXPECT_FALSE(Exists(tree));
  EXPECT_FALSE(Exists(Path("toplink")));
  EXPECT_TRUE(Exists(victim_file));

  // A list that is a link, or that someone else owns, is not read at all.
  const std::string other = Path("other");
  MakeDir(other);
  WriteFile(other + "/list", victim_file + "\n");
  ASSERT_EQ(std::system(("ln -s '" + other + "/list' '" + Path("to_be_deleted") + "'").c_str()), 0);
  launcher::ProcessDeleteList(dir_.path());
  EXPECT_TRUE(Exists(victim_file));
  EXPECT_TRUE(Exists(Path("to_be_deleted")));  // nor removed: it is not ours to judge
  platform::native<platform::FileSystem>().delete_file(Path("to_be_deleted"));
  WriteFile(Path("to_be_deleted"), victim_file + "\n");
  if (std::system(("chown 12345 '" + Path("to_be_deleted") + "' 2>/dev/null").c_str()) == 0) {
    launcher::ProcessDeleteList(dir_.path());
    EXPECT_TRUE(Exists(victim_file));
  }
}

TEST_F(CleanUp, AListedLinkIsRemovedAsALinkHoweverItIsWritten) {
  if (launcher_test::Sep() != '/') GTEST_SKIP() << "symbolic links are a POSIX matter here";
  const std::string victim = Path("victim"), precious = Path("victim") + "/precious.txt";
  MakeDir(victim);
  MakeDir(victim + "/sub");
  WriteFile(precious, "keep me");
  for (const char* link : {"slash", "dot", "slashes"}) {
    ASSERT_EQ(std::system(("ln -s '" + victim + "' '" + Path(link) + "'").c_str()), 0);
  }
  // ".." is taken from the text, as Windows takes it: "tree/inner/.." is
  // tree, not the directory above the link's target (which would be ours).
  MakeDir(Path("tree"));
  ASSERT_EQ(std::system(("ln -s '" + victim + "/sub' '" + Path("tree") + "/inner'").c_str()), 0);
  WriteFile(Path("to_be_deleted"),
            Path("slash") + "/\n" + Path("dot") + "/.\n" + Path("slashes") + "//./\n" + Path("tree") + "/inner/..\n");
  launcher::ProcessDeleteList(dir_.path());
  for (const char* gone : {"slash", "dot", "slashes", "tree", "to_be_deleted"}) {
    EXPECT_FALSE(Exists(Path(gone))) << gone;
  }
  EXPECT_TRUE(Exists(precious));
  EXPECT_TRUE(Exists(victim + "/sub"));
  EXPECT_TRUE(State().left_behind.empty());
}

TEST_F(CleanUp, AVolumeRootIsNeverTaken) {
  std::string root, path;
  ASSERT_EQ(platform::native<platform::FileSystem>().volume_root(dir_.path(), root), platform::Error::none);
  EXPECT_FALSE(launcher::ListedPath(root, path));
  EXPECT_FALSE(launcher::ListedPath(root + "." + launcher_test::Sep(), path));
  ASSERT_EQ(State().left_behind.size(), 2u);
  EXPECT_EQ(State().left_behind[0].second, "the root of a volume is never removed");
  EXPECT_TRUE(launcher::ListedPath(dir_.path() + launcher_test::Sep() + "x" + launcher_test::Sep(), path));
  EXPECT_EQ(path, dir_.path() + launcher_test::Sep() + "x");
}

TEST_F(CleanUp, WithoutASuccessfulSetUpOnlyTheGivenBaseIsLookedAt) {
  WriteFile(Path("gone.txt"), "g");
  WriteFile(Path("to_be_deleted"), Path("gone.txt") + "\n");
  State().temp_base = dir_.path();  // from -Djava.io.tmpdir=, the query failed
  launcher::CleanUp();
  EXPECT_FALSE(Exists(Path("gone.txt")));
  launcher::ResetState();
  EXPECT_TRUE(launcher::CleanUp());  // nothing set: nothing done
}
