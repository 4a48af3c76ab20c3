// AUTORUN.INF is searched, not parsed: values end at a carriage return,
// keys are found anywhere, and only the first 4,096 bytes count.
#include "launch_config.h"

#include "launcher_test_support.h"

using launcher::State;
using launcher_test::LauncherTest;

class LaunchConfig : public LauncherTest {
 protected:
  int Read(const std::string& text, launcher::LaunchMode mode) {
    launcher_test::WriteFile(Path("AUTORUN.INF"), text);
    platform::native<platform::FileSystem>().set_current_directory(dir_.path());
    State().mode = mode;
    return launcher::ReadLaunchConfig();
  }
};

TEST_F(LaunchConfig, EachModeReadsItsOwnKey) {
  const std::string inf = "[autorun]\r\nOPEN=gui a\r\nCONSOLE=con b\r\nSILENT=sil c\r\n";
  EXPECT_EQ(Read(inf, launcher::LAUNCH_GUI), 0);
  EXPECT_EQ(State().launch_command, "gui a");
  EXPECT_EQ(Read(inf, launcher::LAUNCH_CONSOLE), 0);
  EXPECT_EQ(State().launch_command, "con b");
  EXPECT_EQ(Read(inf, launcher::LAUNCH_SILENT), 0);
  EXPECT_EQ(State().launch_command, "sil c");
  EXPECT_FALSE(State().nested_enabled);
}

TEST_F(LaunchConfig, ValuesNeedACarriageReturn) {
  EXPECT_EQ(Read("[autorun]\nOPEN=gui\nSILENT=x\n", launcher::LAUNCH_SILENT), -1);
  // The last line without a line end counts as absent too.
  EXPECT_EQ(Read("[autorun]\r\nSILENT=x", launcher::LAUNCH_SILENT), -1);
  EXPECT_EQ(Read("[autorun]\r\nSILENT=\r\n", launcher::LAUNCH_SILENT), -1);
  EXPECT_EQ(Read("", launcher::LAUNCH_SILENT), -1);
}

TEST_F(LaunchConfig, MissingFileAndBlankOnlyCommandFindNothing) {
  platform::native<platform::FileSystem>().set_current_directory(dir_.path());
  State().mode = launcher::LAUNCH_GUI;
  EXPECT_EQ(launcher::ReadLaunchConfig(), -1);
  // Only blanks would leave no program to start.
  EXPECT_EQ(Read("OPEN=  \t \r\n", launcher::LAUNCH_GUI), -1);
}

TEST_F(LaunchConfig, FirstOccurrenceAnywhereWins) {
  EXPECT_EQ(Read("X=REOPEN=inner\r\nOPEN=outer\r\n", launcher::LAUNCH_GUI), 0);
  EXPECT_EQ(State().launch_command, "inner");
}

TEST_F(LaunchConfig, NestedArchivesNeedBothKeys) {
  EXPECT_EQ(Read("OPEN=a\r\nUNZIP=x.zip,,y.zip\r\n", launcher::LAUNCH_GUI), 0);
  EXPECT_EQ(State().nested_archives, "x.zip,,y.zip");
  EXPECT_FALSE(State().nested_enabled);
  EXPECT_EQ(Read("OPEN=a\r\nUNZIP=x.zip\r\nUNZIPTO=jre\r\n", launcher::LAUNCH_GUI), 0);
  EXPECT_TRUE(State().nested_enabled);
  EXPECT_EQ(State().nested_target, "jre");
}

TEST_F(LaunchConfig, TextEndsAtNulAndAfter4096Bytes) {
  EXPECT_EQ(Read(std::string("A=1\r\n\0OPEN=x\r\n", 14), launcher::LAUNCH_GUI), -1);
  EXPECT_EQ(Read(std::string(4090, ' ') + "OPEN=abcdef\r\n", launcher::LAUNCH_GUI), -1);
  EXPECT_EQ(Read(std::string(4080, ' ') + "OPEN=abc\r\n", launcher::LAUNCH_GUI), 0);
}
