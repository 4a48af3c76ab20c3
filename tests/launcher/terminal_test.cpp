// setupstub on a real terminal (tmux): the console directory prompt and the
// key waits, and the graphical text dialog with its progress bar and Cancel.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "child_process.h"
#include "deflated_zeros.h"
#include "launcher_test_support.h"
#include "packed_installer.h"
#include "tmux_session.h"

using launcher_test::DeflatedZeros;
using launcher_test::Exists;
using launcher_test::HaveTmux;
using launcher_test::LauncherTest;
using launcher_test::Quote;
using launcher_test::ReadFile;
using launcher_test::Tmux;
using launcher_test::WriteFile;

class Terminal : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
    base_ = Path("base");
    MakeDir(base_);
    report_ = Path("report.txt");
    exit_file_ = Path("exit.txt");
  }
  std::string Autorun() const {
    const std::string self = "\"" + launcher_test::SelfPath() + "\"";
    return "[autorun]\r\nOPEN=" + self + " -gui\r\nCONSOLE=" + self + " -con\r\nSILENT=" + self + " -sil\r\n";
  }
  // The shell command that runs the installer and records its exit code.
  std::string Command(const std::string& stub, const std::string& args) const {
    return "cd " + Quote(dir_.path()) + " && QEL_CHILD_OUT=" + Quote(report_) + " QEL_CHILD_EXIT=3 " + Quote(stub) +
           " " + args + "; echo $? > " + Quote(exit_file_) + "; sleep 60";
  }
  std::string ExitCode() {
    for (int i = 0; i < 600 && ReadFile(exit_file_).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string s = ReadFile(exit_file_);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
  }
  std::string base_, report_, exit_file_;
};

TEST_F(Terminal, ConsolePromptAndKeyWaits) {
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  Tmux tmux(Command(stub, "-mode=console -Djava.io.tmpdir=" + Quote(Path("missing"))));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(tmux.wait_for_text("does not exist.")) << tmux.capture();
  ASSERT_TRUE(tmux.wait_for_text("Please input another directory or [Exit]:")) << tmux.capture();
  // Lower-case "exit" is a directory name, which does not exist.
  tmux.text("exit");
  tmux.keys("Enter");
  ASSERT_TRUE(tmux.wait_for_text("The directory \"exit\" does not exist.")) << tmux.capture();
  tmux.text(base_);
  tmux.keys("Enter");
  ASSERT_TRUE(tmux.wait_for_text("...Finish installation. Press any key to close this window...")) << tmux.capture();
  const std::string screen = tmux.capture();
  EXPECT_NE(screen.find("Extracting ....."), std::string::npos) << screen;
  EXPECT_NE(screen.find(". Done"), std::string::npos) << screen;
  EXPECT_TRUE(Exists(report_));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(ReadFile(exit_file_).empty());  // still waiting for the key
  tmux.keys("x");
  EXPECT_EQ(ExitCode(), "3");
  // The key is read without echo.
  EXPECT_EQ(tmux.capture().find("window...\nx"), std::string::npos);
}

TEST_F(Terminal, ConsoleExitAtThePromptEndsTheRun) {
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  Tmux tmux(Command(stub, "-mode=console -Djava.io.tmpdir=" + Quote(Path("missing"))));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(tmux.wait_for_text("[Exit]:")) << tmux.capture();
  tmux.text("Exit");
  tmux.keys("Enter");
  ASSERT_TRUE(tmux.wait_for_text("**** Could not setup the extraction directory.")) << tmux.capture();
  ASSERT_TRUE(tmux.wait_for_text("Press any key to close this window...")) << tmux.capture();
  tmux.keys("Escape");
  EXPECT_EQ(ExitCode(), "0");
  EXPECT_FALSE(Exists(report_));
}

TEST_F(Terminal, DialogShowsProgressAndCancelEndsTheRunQuietly) {
  const std::string stub = Path("setup");
  // Much data from a small payload, so that the extraction takes a while.
  const size_t member = 64u << 20;
  const std::string zeros = DeflatedZeros(member);
  std::vector<launcher_test::ZipMember> members = {{"AUTORUN.INF", Autorun(), ""}};
  const uint32_t crc = launcher_test::Crc32(std::string(member, '\0'));
  for (int i = 0; i < 24; ++i) {
    members.push_back({"zeros" + std::to_string(i) + ".bin", "", zeros, true, static_cast<uint32_t>(member), crc});
  }
  launcher_test::PackInstaller(stub, members);
  Tmux tmux(Command(stub, "-Djava.io.tmpdir=" + Quote(base_)));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(tmux.wait_for_text("Qel Installer")) << tmux.capture();
  bool saw_error = false;
  int first_percent = -1, later_percent = -1;
  auto percent_of = [](const std::string& screen) {
    size_t at = screen.find("% ");
    if (at == std::string::npos) return -1;
    size_t start = screen.find_last_of(' ', at) + 1;
    return std::atoi(screen.substr(start, at - start).c_str());
  };
  ASSERT_TRUE(tmux.wait_for([&](const std::string& s) {
    saw_error |= s.find("ERROR") != std::string::npos;
    int p = percent_of(s);
    if (p > 0 && first_percent < 0) first_percent = p;
    if (first_percent > 0 && p > first_percent) later_percent = p;
    return later_percent > 0;
  })) << tmux.capture();
  EXPECT_LT(later_percent, 100);
  tmux.keys("Escape");
  ASSERT_TRUE(tmux.wait_for([&](const std::string& s) {
    saw_error |= s.find("ERROR") != std::string::npos;
    return !ReadFile(exit_file_).empty();
  }));
  EXPECT_EQ(ExitCode(), "0");
  EXPECT_FALSE(saw_error);
  EXPECT_FALSE(Exists(report_));  // the installer never started
  std::vector<platform::DirectoryEntry> entries;
  platform::native<platform::FileSystem>().list_directory(base_, entries);
  EXPECT_EQ(entries.size(), 2u);  // the extraction directory is gone
}

TEST_F(Terminal, DialogReportsACorruptArchiveInABoxAndExitsWithZero) {
  const std::string stub = Path("setup");
  launcher_test::WriteFile(stub, ReadFile(launcher_test::SetupstubPath()) + "no archive here");
  platform::native<platform::FileSystem>().set_unix_mode(stub, 0755);
  Tmux tmux(Command(stub, "-Djava.io.tmpdir=" + Quote(base_)));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(tmux.wait_for_text("Could not obtain archive information since it is")) << tmux.capture();
  EXPECT_NE(tmux.capture().find("corrupted. Error code"), std::string::npos) << tmux.capture();
  EXPECT_NE(tmux.capture().find("ERROR"), std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(ReadFile(exit_file_).empty());  // the box waits for its OK
  tmux.keys("Enter");
  EXPECT_EQ(ExitCode(), "0");
}

TEST_F(Terminal, DialogRunStartsTheGraphicalCommandAndExitsWithZero) {
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  Tmux tmux(Command(stub, "-Djava.io.tmpdir=" + Quote(base_)));
  ASSERT_TRUE(tmux.ok());
  EXPECT_EQ(ExitCode(), "0");  // the installer's 3 is not the exit code here
  std::istringstream report(ReadFile(report_));
  std::string cwd, tmpdir, option;
  std::getline(report, cwd);
  std::getline(report, tmpdir);
  std::getline(report, option);
  EXPECT_EQ(option, "-gui");
  EXPECT_FALSE(Exists(cwd));
}

TEST_F(Terminal, DialogAsksForAnotherFolderAndGoesOnThere) {
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  Tmux tmux(Command(stub, "-Djava.io.tmpdir=" + Quote(Path("missing"))));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(tmux.wait_for_text("Qel Systems Installer")) << tmux.capture();
  EXPECT_NE(tmux.capture().find("change directory?"), std::string::npos) << tmux.capture();
  tmux.keys("Enter");  // OK
  ASSERT_TRUE(tmux.wait_for_text("Please choose a folder for extraction")) << tmux.capture();
  tmux.text(base_);
  tmux.keys("Enter");
  EXPECT_EQ(ExitCode(), "0");
  std::string cwd;
  std::getline(*std::make_unique<std::istringstream>(ReadFile(report_)), cwd);
  EXPECT_EQ(cwd.rfind(base_ + "/sfx", 0), 0u) << cwd;
}
