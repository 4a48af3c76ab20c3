// The uninstall_record tool as an installer script runs it: a copy that
// carries the record and stays runnable, the original untouched, and clear
// refusals that change nothing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "uninstall_info.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string output;  // stdout and stderr together
};

ToolRun RunTool(const std::string& args) {
  ToolRun run;
  std::string command = std::string("'") + QEL_RECORD_TOOL + "' " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
  int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RecordTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qel-record-tool-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    program_ = dir_ + "/uninstall";
    std::filesystem::copy_file("/bin/true", program_);
    ::chmod(program_.c_str(), 0755);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::string Fields(const std::string& install_dir = "/opt/tarvik-1.4.2_02") {
    return "--product-name 'Qel Lumenar Tarvik 1.4.2_02' --install-dir '" + install_dir +
           "' --public-jre-dir /opt/tarvik-1.4.2_02 --full-version 1.4.2_02 --is-jre 1 --integrated 0"
           " --StartMenuFolder 'Tarvik 1.4.2_02'"
           " --uninstall-key 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qel'";
  }

  std::string dir_, program_;
};

}  // namespace

TEST_F(RecordTool, AppendsToACopyThatStillRuns) {
  const std::string original = ReadAll(program_);
  const std::string copy = dir_ + "/copy";
  ToolRun run = RunTool("append '" + program_ + "' --output '" + copy + "' " + Fields());
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(ReadAll(program_), original);

  std::optional<UninstallInfo> info = ParseUninstallImage(ReadAll(copy));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->InstallDir, "/opt/tarvik-1.4.2_02");
  EXPECT_EQ(info->VersionMajor, "1");
  EXPECT_EQ(info->VersionMinor, "4");
  EXPECT_EQ(info->VersionMicro, "2");
  EXPECT_EQ(info->VersionUpdate, "02");
  EXPECT_EQ(info->StartMenuFolder, "Tarvik 1.4.2_02");
  EXPECT_EQ(::system(("'" + copy + "'").c_str()), 0);

  run = RunTool("show '" + copy + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("FullVersion=1.4.2_02\nIsJre=1\n"), std::string::npos) << run.output;
  // A second record needs --replace.
  run = RunTool("append '" + copy + "' " + Fields());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("already carries an uninstall record"), std::string::npos) << run.output;
  EXPECT_EQ(RunTool("append '" + copy + "' --replace " + Fields("/opt/other")).status, 0);
  EXPECT_EQ(ParseUninstallImage(ReadAll(copy))->InstallDir, "/opt/other");
}

TEST_F(RecordTool, RefusalsChangeNothing) {
  const std::string original = ReadAll(program_);
  ToolRun run = RunTool("append '" + program_ + "' " + Fields("/opt/a,b"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("InstallDir contains a comma"), std::string::npos) << run.output;
  // What the uninstaller would refuse to act on is refused before it is written.
  for (const auto& [arguments, says] : std::vector<std::pair<std::string, std::string>>{
           {Fields("relinst"), "InstallDir must be an absolute path"},
           {Fields("/opt/tarvik/"), "InstallDir ends with a separator"},
           {Fields("/opt/tarvik\nx"), "InstallDir contains a control character"},
           {Fields() + " --is-jre yes", "IsJre must be 0 or 1"},
           {Fields() + " --uninstall-key 'SOFTWARE\\Qel'", "UninstallKey must be"},
       }) {
    run = RunTool("append '" + program_ + "' " + arguments);
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_NE(run.output.find(says), std::string::npos) << run.output;
  }

  run = RunTool("append '" + program_ + "' --product-name X --install-dir /opt/x");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("the record needs PublicJreDir (--PublicJreDir)"), std::string::npos) << run.output;

  run = RunTool("append '" + program_ + "' --colour blue");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("unknown option --colour"), std::string::npos) << run.output;

  run = RunTool("show '" + program_ + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("carries no uninstall record"), std::string::npos) << run.output;
  EXPECT_EQ(ReadAll(program_), original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}
