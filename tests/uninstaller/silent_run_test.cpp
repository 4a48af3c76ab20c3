// Silent runs of the real program: the log's texts for success and for each
// failure (with the doubled full stop where a message ends in one), what is
// removed, and that nothing is removed when a stage fails.
#include "uninstall_run.h"

namespace {

const std::string kFailed = "Uninstallation Failed: ";

}  // namespace

TEST_F(UninstallRun, SuccessRemovesTheTreeAndLogsIt) {
  MakeProduct();
  WriteFileBytes(world_ + "/outside.txt", "keep me");
  PlaceUninstaller();
  std::string log = world_ + "/uninstall.log";
  EXPECT_EQ(Run({"-silent", "-log=" + log}), 0);
  EXPECT_EQ(Log(log), fields_.product + " was successfully uninstalled.\n");
  ASSERT_TRUE(WaitForScript());
  EXPECT_FALSE(Exists(install_ + "/bin"));
  EXPECT_FALSE(Exists(install_ + "/readonly.txt"));
  // The program file, kept during the run, went with the script, and the
  // installation directory with it.
  EXPECT_FALSE(Exists(program_));
  EXPECT_FALSE(Exists(install_));
  EXPECT_EQ(ReadFileBytes(world_ + "/outside.txt"), "keep me");
}

TEST_F(UninstallRun, OptionsAreCaseInsensitiveAndThePauseOnlyCountsFirst) {
  MakeProduct();
  PlaceUninstaller();
  std::string log = world_ + "/u.log";
  EXPECT_EQ(Run({"-SILENT", "-sleep", "-LoG=" + log}), 0);
  EXPECT_EQ(Log(log), fields_.product + " was successfully uninstalled.\n");
  ASSERT_TRUE(WaitForScript());
  EXPECT_FALSE(Exists(install_));
}

TEST_F(UninstallRun, OnlyTheLastLogReceivesOutput) {
  PlaceUninstaller(world_ + "/u/uninstall");
  std::string first = world_ + "/first.log", last = world_ + "/last.log";
  WriteFileBytes(first, "old contents");
  Run({"-log=" + first, "-silent", "-log=" + last});
  EXPECT_EQ(Log(first), "");
  EXPECT_EQ(Log(last), fields_.product + " was successfully uninstalled.\n");
}

TEST_F(UninstallRun, ProgramWithoutRecordRemovesNothing) {
  MakeProduct();
  std::string program = world_ + "/bare-uninstall";
  WriteFileBytes(program, ReadFileBytes(BuiltUninstaller()), true);
  std::string log = world_ + "/u.log";
  Run({"-silent", "-log=" + log}, program);
  EXPECT_EQ(Log(log), kFailed + "Can't retrieve uninstall information.\n");
  EXPECT_TRUE(Exists(install_ + "/bin/tarvik/jvm.dll"));
  EXPECT_TRUE(Exists(program));
  EXPECT_TRUE(Scripts().empty());
}

TEST_F(UninstallRun, JvmThatCannotBeOpenedForUpdateStopsTheRun) {
  MakeProduct();
  // A directory cannot be opened for writing, even by root.
  fs::remove(install_ + "/bin/tarvik/jvm.dll");
  fs::create_directory(install_ + "/bin/tarvik/jvm.dll");
  PlaceUninstaller();
  std::string log = world_ + "/u.log";
  Run({"-silent", "-log=" + log});
  EXPECT_EQ(Log(log), kFailed + "JVM is in use, please try again later.\n");
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
  EXPECT_TRUE(Scripts().empty());
  EXPECT_TRUE(Exists(program_));
}

TEST_F(UninstallRun, MissingJvmDoesNotBlockAnInterruptedRemoval) {
  MakeProduct();
  fs::remove(install_ + "/bin/tarvik/jvm.dll");
  PlaceUninstaller();
  std::string log = world_ + "/u.log";
  Run({"-silent", "-log=" + log});
  EXPECT_EQ(Log(log), fields_.product + " was successfully uninstalled.\n");
  EXPECT_FALSE(Exists(install_ + "/lib"));
}

TEST_F(UninstallRun, HomeDirectoryAsInstallationIsRefused) {
  MakeProduct();
  env_["HOME"] = install_;
  PlaceUninstaller(world_ + "/u/uninstall");
  std::string log = world_ + "/u.log";
  Run({"-silent", "-log=" + log});
  EXPECT_EQ(Log(log), kFailed + "Installation directory is a root, home or system directory, nothing was removed.\n");
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
  // Its parent holds the home too.
  env_["HOME"] = install_ + "/lib";
  Run({"-silent", "-log=" + log});
  EXPECT_EQ(Log(log), kFailed + "Installation directory is a root, home or system directory, nothing was removed.\n");
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
}

TEST_F(UninstallRun, SilentWithoutLogWritesNoFile) {
  MakeProduct();
  PlaceUninstaller(world_ + "/u/uninstall");
  Run({"-silent"});
  ASSERT_TRUE(WaitForScript());
  EXPECT_FALSE(Exists(install_));
  // Only the registry store (and the temporary directory) remain.
  std::vector<std::string> left;
  for (auto& e : fs::directory_iterator(world_)) left.push_back(e.path().filename().string());
  for (const std::string& name : left)
    EXPECT_TRUE(name == "tmp" || name == "stderr" || name.rfind("registry.reg", 0) == 0) << name;
}
