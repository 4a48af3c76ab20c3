// The self-removal script's steps: ten deletion attempts of the program with
// pauses between them, the helper library and the product directories of a
// JRE or an SDK, the program's directory and the emptied directories above
// it, and last the script itself; every path quoted so that no byte is
// special; the script's file is new and private.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/self_removal.h"
#include "platform/text_file.h"
#include "record_image.h"
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

// A world with the program file at each of `programs` (below its root).
class ScriptWorld {
 public:
  explicit ScriptWorld(std::initializer_list<const char*> programs) {
    for (const char* p : programs) {
      std::filesystem::create_directories(std::filesystem::path(At(p)).parent_path());
      WriteFileBytes(At(p), "program");
    }
  }
  std::string At(const std::string& p) const { return temp_.path() + p; }

 private:
  fakes::TempDir temp_{"script-world"};
};

}  // namespace

TEST(SelfRemovalScript, JreWithTheProgramInItsOwnDirectory) {
  ScriptWorld w({"/prod/uninst/uninstall"});
  auto at = [&](const char* p) { return w.At(p); };
  std::string text = Text(true, at("/prod"), at("/prod/uninst/uninstall"), "/tmp/uninstallX.sh");
  std::string expected = Attempts(at("/prod/uninst/uninstall")) + Rm(at("/prod/bin/RidOvavu.dll")) +
                         Rmdir(at("/prod/bin")) + Rmdir(at("/prod")) + Rmdir(at("/prod/uninst")) + Rmdir(at("/prod")) +
                         Rm("/tmp/uninstallX.sh");
  EXPECT_EQ(text, expected);
}

TEST(SelfRemovalScript, SdkWithTheProgramInTheInstallation) {
  ScriptWorld w({"/sdk/uninstall"});
  auto at = [&](const char* p) { return w.At(p); };
  std::string text = Text(false, at("/sdk"), at("/sdk/uninstall"), "/tmp/s.sh");
  std::string expected = Attempts(at("/sdk/uninstall")) + Rm(at("/sdk/jre/bin/RidOvavu.dll")) +
                         Rmdir(at("/sdk/jre/bin")) + Rmdir(at("/sdk/jre")) + Rmdir(at("/sdk")) + Rmdir(at("/sdk")) +
                         Rm("/tmp/s.sh");
  EXPECT_EQ(text, expected);
}

TEST(SelfRemovalScript, ProgramFileGoneAlreadyLeavesOnlyTheDirectories) {
  // Another run's script took it (a rerun after an interrupted removal).
  std::string text = Text(true, "/gone", "/gone/uninstall", "/tmp/s.sh");
  EXPECT_EQ(text, Sh().change_to_root() + Rm("/gone/bin/RidOvavu.dll") + Rmdir("/gone/bin") + Rmdir("/gone") +
                      Rmdir("/gone") + Rm("/tmp/s.sh"));
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
