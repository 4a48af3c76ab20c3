// The self-removal script's steps: ten deletion attempts of the program with
// pauses between them, the helper library and the product directories of a
// JRE or an SDK, the program's directory and the emptied directories above
// it, and last the script itself; every path quoted so that no byte is
// special; the script's file is new and private.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/self_removal.h"
#include "platform/text_file.h"
#include "self_removal_script.h"

namespace {

const platform::SelfRemoval& Sh() { return platform::self_removal(); }

// A path as the script names it.
std::string Q(const std::string& path) {
  std::string out;
  EXPECT_EQ(Sh().script_path(path, out), platform::Error::none) << path;
  return out;
}

std::string Attempts(const std::string& program) {
  const platform::SelfRemoval& sh = Sh();
  std::string text = sh.change_to_root() + sh.begin_attempts();
  for (int i = 1; i <= 10; ++i) {
    text += sh.delete_file(Q(program)) + sh.end_if_missing(Q(program));
    if (i < 10) text += sh.run(Q(program), "-sleep");
    text += "\n";
  }
  return text + sh.end_attempts();
}

UninstallInfo Info(bool jre) {
  UninstallInfo info = DefaultUninstallInfo();
  info.IsJre = jre;
  return info;
}

std::string Text(bool jre, const std::string& dir, const std::string& program, const std::string& script) {
  std::string text, problem;
  EXPECT_TRUE(SelfRemovalScriptText(Info(jre), dir, program, script, text, problem)) << problem;
  return text;
}

std::string Rm(const std::string& p) { return Sh().delete_file(Q(p)); }
std::string Rmdir(const std::string& p) { return Sh().remove_directory(Q(p)); }

}  // namespace

TEST(SelfRemovalScript, JreWithTheProgramInItsOwnDirectory) {
  std::string text = Text(true, "/prod", "/prod/uninst/uninstall", "/tmp/uninstallX.sh");
  std::string expected = Attempts("/prod/uninst/uninstall") + Rm("/prod/bin/RidOvavu.dll") + Rmdir("/prod/bin") +
                         Rmdir("/prod") + Rmdir("/prod/uninst") + Rmdir("/prod") + Rm("/tmp/uninstallX.sh");
  EXPECT_EQ(text, expected);
}

TEST(SelfRemovalScript, SdkWithTheProgramInTheInstallation) {
  std::string text = Text(false, "/sdk", "/sdk/uninstall", "/tmp/s.sh");
  std::string expected = Attempts("/sdk/uninstall") + Rm("/sdk/jre/bin/RidOvavu.dll") + Rmdir("/sdk/jre/bin") +
                         Rmdir("/sdk/jre") + Rmdir("/sdk") + Rmdir("/sdk") + Rm("/tmp/s.sh");
  EXPECT_EQ(text, expected);
}

TEST(SelfRemovalScript, DeepProgramDirectoryRemovesEachEmptiedAncestor) {
  std::string text = Text(true, "/p", "/p/a/b/uninstall", "/t/s.sh");
  std::string tail = Rmdir("/p/a/b") + Rmdir("/p/a") + Rmdir("/p") + Rm("/t/s.sh");
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  // A program outside the installation adds no such lines.
  std::string outside = Text(true, "/p", "/q/uninstall", "/t/s.sh");
  EXPECT_EQ(outside.substr(outside.size() - (Rmdir("/q") + Rm("/t/s.sh")).size()), Rmdir("/q") + Rm("/t/s.sh"));
  // "/pq" is not inside "/p".
  std::string sibling = Text(true, "/p", "/pq/uninstall", "/t/s.sh");
  EXPECT_EQ(sibling.find(Rmdir("/p") + Rmdir("/pq") + Rmdir("/p")), std::string::npos);
}

TEST(SelfRemovalScript, PosixQuotingKeepsEveryByteLiteral) {
  EXPECT_EQ(Rm("/a b/it's $HOME `x`"), "rm -f -- '/a b/it'\\''s $HOME `x`'\n");
  EXPECT_EQ(Rmdir("/new\nline/caf\xe9 %PATH%"), "rmdir -- '/new\nline/caf\xe9 %PATH%'\n");
  EXPECT_EQ(Sh().script_extension(), ".sh");
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
