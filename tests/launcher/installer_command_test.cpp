// The installer's command line, built entry by entry from the configured
// command and the launcher's own arguments, and the child process that
// gets it (this test binary, re-executed).
#include <cstdlib>

#include "child_process.h"
#include "command_line.h"
#include "installer_process.h"
#include "launcher_test_support.h"
#include "platform/environment.h"

using launcher::State;
using launcher_test::LauncherTest;
using launcher_test::Sep;

class InstallerCommand : public LauncherTest {
 protected:
  void TearDown() override {
    auto& env = platform::native<platform::Environment>();
    env.set("QEL_CHILD_OUT", std::nullopt);
    env.set("QEL_CHILD_EXIT", std::nullopt);
    if (saved_path_) env.set("PATH", saved_path_);
    LauncherTest::TearDown();
  }
  // Starts the child through RunAndWait and answers its report lines.
  std::vector<std::string> RunChild(const std::vector<std::string>& entries, int expected_exit) {
    auto& env = platform::native<platform::Environment>();
    const std::string report = Path("child.txt");
    env.set("QEL_CHILD_OUT", report);
    env.set("QEL_CHILD_EXIT", std::to_string(expected_exit));
    EXPECT_EQ(launcher::RunAndWait(entries), expected_exit);
    std::vector<std::string> lines;
    std::istringstream in(launcher_test::ReadFile(report));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::optional<std::string> saved_path_ = platform::native<platform::Environment>().get("PATH");
};

TEST_F(InstallerCommand, WorkedExampleGivesTheDocumentedCommandLine) {
  auto& fs = platform::native<platform::FileSystem>();
  const std::string work = Path("w"), tmp = Path("tmp");
  MakeDir(work);
  MakeDir(tmp);
  ASSERT_EQ(fs.set_current_directory(work), platform::Error::none);
  launcher::ParseCommandLine({"stub", "-Dfoo=1", "-mode=silent", "-log=x.log", "-Djava.io.tmpdir=" + tmp});
  std::vector<std::string> entries = launcher::BuildInstallerArguments(launcher::SplitCommandLine("P -a -b M"));
  EXPECT_EQ(entries.size(), 5u + 4u + 1u);
  EXPECT_EQ(launcher::JoinCommandLine(entries), "P \"-Djava.io.tmpdir=" + tmp + "\" -Dfoo=1 -a -b M -mode=silent -log=\"" +
                                                    work + Sep() + "x.log\"");
  // A trailing separator comes off the directory the installer is given.
  State().temp_base = tmp + Sep();
  entries = launcher::BuildInstallerArguments({"P"});
  EXPECT_EQ(entries[1], "\"-Djava.io.tmpdir=" + tmp + "\"");
  EXPECT_EQ(*State().temp_base, tmp);
}

TEST_F(InstallerCommand, EveryLogArgumentBecomesTheLastOnesAbsoluteForm) {
  launcher::ParseCommandLine({"stub", "-log=a", "-x", "-log=b", "-silent_xml=s", "-Djava.io.tmpdir=/q"});
  std::string last = *State().log_option;
  std::vector<std::string> e = launcher::BuildInstallerArguments({"P"});
  EXPECT_EQ(e[2], last);
  EXPECT_EQ(e[3], "-x");
  EXPECT_EQ(e[4], last);
  EXPECT_EQ(e[5], *State().silent_xml_option);
  const std::string line = launcher::JoinCommandLine(e);
  EXPECT_EQ(line.find("tmpdir"), line.rfind("tmpdir"));  // passed once only
}

TEST_F(InstallerCommand, SplittingFollowsTheCRuntimeRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(launcher::SplitCommandLine("  a\\\\\\\"b \"c d\"\te\\\\f \"x\"\"y\" \\\\\\\\\"z\" "),
            (V{"a\\\"b", "c d", "e\\\\f", "x\"y", "\\\\z"}));
  EXPECT_EQ(launcher::SplitCommandLine(" \t "), V{});
  EXPECT_EQ(launcher::QuoteIfBlank("a b"), "\"a b\"");
  EXPECT_EQ(launcher::QuoteIfBlank("a\tb"), "\"a\tb\"");
  EXPECT_EQ(launcher::QuoteIfBlank("ab"), "ab");
}

TEST_F(InstallerCommand, ArgumentsReachTheChildAsTheInstallerWouldSeeThem) {
  auto& fs = platform::native<platform::FileSystem>();
  ASSERT_EQ(fs.set_current_directory(dir_.path()), platform::Error::none);
  // A configured argument with a blank is quoted again; a launcher argument
  // with a blank is passed as it came and so falls apart in two.
  launcher::ParseCommandLine({"stub", "two words", "-Djava.io.tmpdir=" + dir_.path()});
  std::vector<std::string> configured = launcher::SplitCommandLine("\"" + launcher_test::SelfPath() + "\" \"-cp a b\" M");
  std::vector<std::string> entries = launcher::BuildInstallerArguments(configured);
  entries[0] = launcher_test::SelfPath();
  std::vector<std::string> seen = RunChild(entries, 3);
  std::string cwd;
  fs.current_directory(cwd);
  EXPECT_EQ(seen, (std::vector<std::string>{cwd, "-Djava.io.tmpdir=" + dir_.path(), "-cp a b", "M", "two", "words"}));
}

TEST_F(InstallerCommand, ProgramIsFoundAlongPathEvenInADirectoryWithABlank) {
  auto& env = platform::native<platform::Environment>();
  // Not found in the current directory first (ctest runs beside the binary).
  platform::native<platform::FileSystem>().set_current_directory(dir_.path());
  const std::string bin = Path("with blank");
  MakeDir(bin);
  const std::string self = launcher_test::SelfPath();
  const std::string name = self.substr(self.find_last_of("/\\") + 1);
  // A copy of this binary is the program on PATH.
  launcher_test::WriteFile(bin + Sep() + name, launcher_test::ReadFile(self));
  platform::native<platform::FileSystem>().set_attributes(bin + Sep() + name, 0);
  if (Sep() == '/') std::system(("chmod 755 '" + bin + "/" + name + "'").c_str());
  std::string list_sep(1, platform::native<platform::FileSystem>().path_list_separator());
  env.set("PATH", Path("none") + list_sep + list_sep + bin);
  std::string found;
  ASSERT_TRUE(launcher::LocateProgram(name, found));
  EXPECT_EQ(found, bin + Sep() + name);
  EXPECT_FALSE(launcher::LocateProgram("\"" + name + "\"", found));
  // The found path goes unquoted onto the command line and still starts.
  std::vector<std::string> seen = RunChild({found, "-x"}, 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], "-x");
  env.set("PATH", std::nullopt);
  EXPECT_FALSE(launcher::LocateProgram(name, found));
}

TEST_F(InstallerCommand, ProgramThatCannotStartGivesMinusOne) {
  EXPECT_EQ(launcher::RunAndWait({Path("missing-program"), "-x"}), -1);
}
