// The self-removal script's steps: ten deletion attempts of the program with
// pauses between them, the helper library and the product directories of a
// JRE or an SDK, the program's directory and the emptied directories above
// it, and last the script itself; the script's file is new and private.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/self_removal.h"
#include "platform/text_file.h"
#include "self_removal_script.h"

namespace {

std::string Attempts(const platform::SelfRemoval& sh, const std::string& program) {
  std::string text = sh.change_to_root() + sh.begin_attempts();
  for (int i = 1; i <= 10; ++i) {
    text += sh.delete_file(program) + sh.end_if_missing(program);
    if (i < 10) text += sh.run(program, "-sleep");
    text += "\n";
  }
  return text + sh.end_attempts();
}

UninstallInfo Info(bool jre, const std::string& dir) {
  UninstallInfo info = DefaultUninstallInfo();
  info.IsJre = jre;
  info.InstallDir = dir;
  return info;
}

}  // namespace

TEST(SelfRemovalScript, JreWithTheProgramInItsOwnDirectory) {
  const platform::SelfRemoval& sh = platform::self_removal();
  std::string text = SelfRemovalScriptText(Info(true, "/prod"), "/prod/uninst/uninstall", "/tmp/uninstallX.sh");
  std::string expected = Attempts(sh, "/prod/uninst/uninstall") + sh.delete_file("/prod/bin/RidOvavu.dll") +
                         sh.remove_directory("/prod/bin") + sh.remove_directory("/prod") +
                         sh.remove_directory("/prod/uninst") + sh.remove_directory("/prod") +
                         sh.delete_file("/tmp/uninstallX.sh");
  EXPECT_EQ(text, expected);
}

TEST(SelfRemovalScript, SdkWithTheProgramInTheInstallation) {
  const platform::SelfRemoval& sh = platform::self_removal();
  std::string text = SelfRemovalScriptText(Info(false, "/sdk"), "/sdk/uninstall", "/tmp/s.sh");
  std::string expected = Attempts(sh, "/sdk/uninstall") + sh.delete_file("/sdk/jre/bin/RidOvavu.dll") +
                         sh.remove_directory("/sdk/jre/bin") + sh.remove_directory("/sdk/jre") +
                         sh.remove_directory("/sdk") + sh.remove_directory("/sdk") + sh.delete_file("/tmp/s.sh");
  EXPECT_EQ(text, expected);
}

TEST(SelfRemovalScript, DeepProgramDirectoryRemovesEachEmptiedAncestor) {
  const platform::SelfRemoval& sh = platform::self_removal();
  std::string text = SelfRemovalScriptText(Info(true, "/p"), "/p/a/b/uninstall", "/t/s.sh");
  std::string tail = sh.remove_directory("/p/a/b") + sh.remove_directory("/p/a") + sh.remove_directory("/p") +
                     sh.delete_file("/t/s.sh");
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  // A program outside the installation adds no such lines.
  std::string outside = SelfRemovalScriptText(Info(true, "/p"), "/q/uninstall", "/t/s.sh");
  EXPECT_EQ(outside.substr(outside.size() - (sh.remove_directory("/q") + sh.delete_file("/t/s.sh")).size()),
            sh.remove_directory("/q") + sh.delete_file("/t/s.sh"));
  // "/pq" is not inside "/p".
  std::string sibling = SelfRemovalScriptText(Info(true, "/p"), "/pq/uninstall", "/t/s.sh");
  EXPECT_EQ(sibling.find(sh.remove_directory("/p") + sh.remove_directory("/pq") + sh.remove_directory("/p")),
            std::string::npos);
}

TEST(SelfRemovalScript, PosixQuotingKeepsEveryByteLiteral) {
  const platform::SelfRemoval& sh = platform::self_removal();
  EXPECT_EQ(sh.delete_file("/a b/it's $HOME `x`"), "rm -f '/a b/it'\\''s $HOME `x`'\n");
  EXPECT_EQ(sh.script_extension(), ".sh");
}

TEST(SelfRemovalScript, ScriptNamesAreFreshAndPrivate) {
  fakes::TempDir temp("script");
  std::string first, second;
  platform::File a, b;
  ASSERT_EQ(platform::text_files().create_unique(temp.path(), "uninstall", ".sh", first, a), platform::Error::none);
  ASSERT_EQ(platform::text_files().create_unique(temp.path(), "uninstall", ".sh", second, b), platform::Error::none);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind(temp.path() + "/uninstall", 0), 0u);
  EXPECT_EQ(first.substr(first.size() - 3), ".sh");
  struct stat st;
  ASSERT_EQ(::lstat(first.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
