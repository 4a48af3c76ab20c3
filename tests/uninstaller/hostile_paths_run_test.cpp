// Runs of the real program against records and file systems that try to
// make it remove what is not the product's, or claim a success it did not
// have: links at the installation directory however it is written, a
// relative installation directory, a ".." step, a mount inside the tree,
// names that are not UTF-8, a start-menu folder that is a link, and an
// interactive run with nobody to ask. Sentinels next to and above the
// installation, and the targets of every link, must keep their content
// and their times; the log and the exit status must say what happened.
#include <sys/mount.h>

#include <map>

#include "support/tree_snapshot.h"
#include "uninstall_run.h"
#include "uninstall_main.h"

namespace {

const std::string kFailed = "Uninstallation Failed: ";

}  // namespace

class HostilePaths : public UninstallRun {
 protected:
  void SetUp() override {
    UninstallRun::SetUp();
    // The installation lies two levels down, with sentinels beside it and
    // above it, and a directory of someone else's files the links point to.
    install_ = world_ + "/apps/vendor/product";
    fields_.install_dir = install_;
    WriteSentinel(world_ + "/apps/vendor/beside.txt", "beside");
    WriteSentinel(world_ + "/apps/above.txt", "above");
    WriteSentinel(world_ + "/precious/data.txt", "precious");
    WriteSentinel(world_ + "/precious/deep/more.txt", "more");
    log_ = world_ + "/u.log";
  }
  void WriteSentinel(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFileBytes(path, text);
  }
  // Everything outside the installation directory, as it is now.
  std::map<std::string, std::string> Outside() {
    std::map<std::string, std::string> all = TreeSnapshot(world_);
    std::map<std::string, std::string> out;
    for (auto& [path, what] : all) {
      bool inside = path == install_ || path.rfind(install_ + "/", 0) == 0;
      bool ours = path.rfind(tmp_, 0) == 0 || path == log_ || path == world_ + "/stderr" || path == program_ ||
                  path.rfind(world_ + "/registry.reg", 0) == 0;
      if (!inside && !ours) out[path] = what;
    }
    // The directory that held the installation loses an entry: that one
    // change there is the point of the run.
    out.erase(fs::path(install_).parent_path().string());
    return out;
  }
  // The program with the record, kept outside the installation so that a
  // refused run can be told apart from a removal by the script.
  void PlaceOutside() { PlaceUninstaller(world_ + "/u/uninstall"); }
  void CommonPrograms(const std::string& dir) {
    WriteFileBytes(world_ + "/registry.reg",
                   "Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\n"
                   "\"Common Programs\"=\"" + dir + "\"\n\n");
  }

  // A run that removes everything: exit status 0, the success line alone,
  // the directory gone once the script has run, nothing outside changed.
  void ExpectWholeRemoval() {
    auto before = Outside();
    EXPECT_EQ(Run({"-silent", "-log=" + log_}), kExitRemoved);
    EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n");
    ASSERT_TRUE(WaitForScript());
    EXPECT_FALSE(Exists(install_));
    EXPECT_EQ(Outside(), before);
  }

  std::string log_;
};

TEST_F(HostilePaths, LinkAsInstallationDirectoryIsRefusedHoweverWritten) {
  fs::create_directories(world_ + "/apps/vendor");
  fs::create_directory_symlink(world_ + "/precious", install_);
  PlaceOutside();
  auto before = Outside();
  for (const std::string& written : {install_, install_ + "/", install_ + "/.", install_ + "//./"}) {
    fields_.install_dir = written;
    PlaceOutside();
    EXPECT_EQ(Run({"-silent", "-log=" + log_}), kExitFailed) << written;
    EXPECT_EQ(Log(log_), kFailed + "Installation directory is a link, nothing was removed.\n") << written;
    EXPECT_TRUE(fs::is_symlink(install_));
    EXPECT_EQ(Outside(), before) << written;
    EXPECT_TRUE(Scripts().empty());
  }
}

TEST_F(HostilePaths, LinkAsStartMenuFolderIsRefusedBeforeAnythingIsRemoved) {
  MakeProduct();
  fs::create_directories(world_ + "/menu");
  fs::create_directory_symlink(world_ + "/precious", world_ + "/menu/Qel Tarvik Test");
  CommonPrograms(world_ + "/menu");
  fields_.start_menu = "Qel Tarvik Test/";
  PlaceUninstaller();
  std::string store = ReadFileBytes(world_ + "/registry.reg");
  auto before = Outside();
  EXPECT_EQ(Run({"-silent", "-log=" + log_}), kExitFailed);
  EXPECT_EQ(Log(log_), kFailed + "Start-menu folder is a link, nothing was removed.\n");
  EXPECT_EQ(Outside(), before);
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
  EXPECT_EQ(ReadFileBytes(world_ + "/registry.reg"), store);
}

TEST_F(HostilePaths, RelativeInstallationDirectoryIsRefusedWhereverTheCallerStands) {
  // A directory of that name where the caller stands is not the product's.
  WriteSentinel(world_ + "/caller/relinst/yours.txt", "yours");
  cwd_ = world_ + "/caller";
  fields_.install_dir = "relinst";
  PlaceOutside();
  auto before = Outside();
  EXPECT_EQ(Run({"-silent", "-log=" + log_}), kExitFailed);
  EXPECT_EQ(Log(log_), kFailed + "Installation directory is not an absolute path, nothing was removed.\n");
  EXPECT_EQ(Outside(), before);

  fields_.install_dir = world_ + "/caller/relinst/../relinst";
  PlaceOutside();
  EXPECT_EQ(Run({"-silent", "-log=" + log_}), kExitFailed);
  EXPECT_EQ(Log(log_), kFailed + "Installation directory contains a \"..\" step, nothing was removed.\n");
  EXPECT_EQ(Outside(), before);
}

TEST_F(HostilePaths, TrailingSeparatorsAndDotStepsNameTheSameDirectory) {
  MakeProduct();
  fields_.install_dir = world_ + "/apps//vendor/./product/";
  PlaceUninstaller();
  ExpectWholeRemoval();
}

TEST_F(HostilePaths, MountInsideTheTreeIsLeftReportedAndFailsTheStatus) {
  MakeProduct();
  PlaceUninstaller();
  fs::create_directories(install_ + "/lib/mounted");
  if (::mount("qel-test", (install_ + "/lib/mounted").c_str(), "tmpfs", 0, nullptr) != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  WriteFileBytes(install_ + "/lib/mounted/on-tmpfs.txt", "tmpfs");
  auto before = Outside();
  int status = Run({"-silent", "-log=" + log_});
  std::string on_tmpfs = ReadFileBytes(install_ + "/lib/mounted/on-tmpfs.txt");
  ::umount2((install_ + "/lib/mounted").c_str(), MNT_DETACH);
  EXPECT_EQ(status, kExitIncomplete);
  EXPECT_EQ(on_tmpfs, "tmpfs");
  EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n" + "Not removed: " + install_ +
                           "/lib/mounted (another file system is mounted here)\n");
  EXPECT_FALSE(Exists(install_ + "/lib/rt.jar"));
  EXPECT_FALSE(Exists(install_ + "/bin"));
  EXPECT_EQ(Outside(), before);
}

TEST_F(HostilePaths, NamesThatAreNotUtf8AreRemovedAndSoIsADirectoryNamedSo) {
  install_ = world_ + "/apps/vendor/caf\xe9-product";
  fields_.install_dir = install_;
  MakeProduct();
  WriteFileBytes(install_ + "/lib/caf\xe9", "1");
  WriteFileBytes(install_ + "/lib/\xff\xfe.bin", "2");
  fs::create_directories(install_ + "/lib/\xc3(dir");
  WriteFileBytes(install_ + "/lib/\xc3(dir/x", "3");
  PlaceUninstaller();
  ExpectWholeRemoval();
}

TEST_F(HostilePaths, InteractiveRunWithNobodyToAskFailsAtOnceAndTouchesNothing) {
  MakeProduct();
  PlaceUninstaller();
  detached_ = true;
  auto before = TreeSnapshot(world_);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({}), kExitNoUser);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(Stderr(), "uninstall: no terminal or desktop to ask on, nothing was removed (use -silent)\n");
  auto after = TreeSnapshot(world_);
  after.erase(world_ + "/stderr");
  before.erase(world_ + "/stderr");
  EXPECT_EQ(after, before);
  // Silent, the same run needs nobody.
  EXPECT_EQ(Run({"-silent", "-log=" + log_}), kExitRemoved);
  EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n");
}

TEST_F(HostilePaths, FailureAndSuccessAreTheExitStatus) {
  MakeProduct();
  PlaceUninstaller();
  // A JVM library that cannot be opened for update: the product is in use.
  fs::remove(install_ + "/bin/tarvik/jvm.dll");
  fs::create_directory(install_ + "/bin/tarvik/jvm.dll");
  EXPECT_EQ(Run({"-silent"}), kExitFailed);
  fs::remove(install_ + "/bin/tarvik/jvm.dll");
  EXPECT_EQ(Run({"-silent"}), kExitRemoved);
  ASSERT_TRUE(WaitForScript());
  EXPECT_FALSE(Exists(install_));
}
