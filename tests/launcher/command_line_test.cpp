// The launcher's options: which arguments pick the mode and the temporary
// directory, and how -log= and -silent_xml= are made absolute.
#include "command_line.h"

#include "launcher_test_support.h"

using launcher::State;
using launcher_test::LauncherTest;

class CommandLine : public LauncherTest {};

TEST_F(CommandLine, LastModeArgumentWinsAndOnlyExactSpellingsCount) {
  EXPECT_FALSE(launcher::ParseCommandLine({"stub", "-mode=console", "-mode=silent"}));
  EXPECT_EQ(State().mode, launcher::LAUNCH_SILENT);
  EXPECT_FALSE(launcher::ParseCommandLine({"stub", "-mode=silent", "-mode=console"}));
  EXPECT_EQ(State().mode, launcher::LAUNCH_CONSOLE);
  // Other letter case, a trailing blank, a one-character argument: no options.
  EXPECT_TRUE(launcher::ParseCommandLine({"stub", "-MODE=silent", "-mode=silent ", "x"}));
  EXPECT_EQ(State().mode, launcher::LAUNCH_GUI);
  EXPECT_EQ(State().arguments.size(), 4u);  // nothing is removed
}

TEST_F(CommandLine, TemporaryDirectoryOptionMayBeEmptyAndLastOneWins) {
  launcher::ParseCommandLine({"stub", "-Djava.io.tmpdir=/a", "-Djava.io.tmpdir=/b"});
  EXPECT_EQ(State().temp_base, "/b");
  launcher::ResetState();
  launcher::ParseCommandLine({"stub", "-Djava.io.tmpdir="});
  ASSERT_TRUE(State().temp_base.has_value());
  EXPECT_EQ(*State().temp_base, "");
  launcher::ResetState();
  launcher::ParseCommandLine({"stub", "-mode=silent"});
  EXPECT_FALSE(State().temp_base.has_value());
}

TEST_F(CommandLine, LogAndSilentXmlBecomeQuotedAbsolutePaths) {
  auto& fs = platform::native<platform::FileSystem>();
  ASSERT_EQ(fs.set_current_directory(dir_.path()), platform::Error::none);
  std::string cwd;
  fs.current_directory(cwd);
  launcher::ParseCommandLine({"stub", "-log=first.log", "-silent_xml=s.xml", "-log=second.log"});
  EXPECT_EQ(State().log_option, "-log=\"" + cwd + launcher_test::Sep() + "second.log\"");
  EXPECT_EQ(State().silent_xml_option, "-silent_xml=\"" + cwd + launcher_test::Sep() + "s.xml\"");
  // An empty value is the current directory itself.
  EXPECT_EQ(launcher::AbsolutizeOption("-log="), "-log=\"" + cwd + "\"");
  // A path that would not fit the 259-character limit stays as it was.
  const std::string huge = "-log=" + std::string(300, 'a');
  EXPECT_EQ(launcher::AbsolutizeOption(huge), huge);
}
