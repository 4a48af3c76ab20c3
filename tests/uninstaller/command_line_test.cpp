// The pause and restart courses, and the interactive course's dialogs: the
// pause only waits, the restart waits 15 s and never restarts without the
// right to, Cancel changes nothing, and the texts are those of the run.
#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/temp_dir.h"
#include "platform/system_restart.h"
#include "record_image.h"
#include "recording_ui.h"
#include "run_uninstall.h"
#include "uninstall_main.h"

namespace fs = std::filesystem;

namespace {

class FakeRestart final : public platform::SystemRestart {
 public:
  bool privileged = false;
  int privilege_requests = 0, restarts = 0;
  bool enable_restart_privilege() override {
    ++privilege_requests;
    return privileged;
  }
  bool restart() override {
    ++restarts;
    return true;
  }
};

}  // namespace

class Courses : public ::testing::Test {
 protected:
  fakes::FakeClock clock_;
  platform::ScopedService<platform::Clock> use_clock_{clock_};
  FakeRestart restart_;
  platform::ScopedService<platform::SystemRestart> use_restart_{restart_};
  RecordingUi ui_;
};

TEST_F(Courses, PauseOnlyWaits) {
  EXPECT_EQ(UninstallMain({"uninstall", "-sleep", "-silent"}, ui_), 0);
  EXPECT_EQ(clock_.sleeps(), std::vector<uint32_t>{500});
  EXPECT_TRUE(ui_.confirmations.empty());
  EXPECT_EQ(restart_.privilege_requests, 0);
}

TEST_F(Courses, RefusedRestartIsSilent) {
  EXPECT_EQ(UninstallMain({"uninstall", "-reboot"}, ui_), 0);
  EXPECT_EQ(clock_.sleeps(), std::vector<uint32_t>{15000});
  EXPECT_EQ(restart_.privilege_requests, 1);
  EXPECT_EQ(restart_.restarts, 0);
  EXPECT_TRUE(ui_.confirmations.empty());
  EXPECT_TRUE(ui_.results.empty());
}

TEST_F(Courses, PrivilegedRestartAsksTheSystem) {
  restart_.privileged = true;
  UninstallMain({"uninstall", "-reboot"}, ui_);
  EXPECT_EQ(restart_.restarts, 1);
}

TEST_F(Courses, PauseAndRestartCountOnlyExactlyAndFirst) {
  // Another case or position is an ignored argument: an interactive run.
  ui_.answer_ok = false;
  UninstallMain({"uninstall", "-Sleep"}, ui_);
  UninstallMain({"uninstall", "-REBOOT"}, ui_);
  UninstallMain({"uninstall", "-x", "-sleep"}, ui_);
  EXPECT_EQ(ui_.confirmations.size(), 3u);
  EXPECT_TRUE(clock_.sleeps().empty());
  EXPECT_EQ(restart_.privilege_requests, 0);
}

TEST_F(Courses, CancelChangesNothingAndLeavesTheLogEmpty) {
  fakes::TempDir temp("courses");
  std::string log = temp.path() + "/interactive.log";
  WriteFileBytes(log, "earlier");
  ui_.answer_ok = false;
  EXPECT_EQ(UninstallMain({"uninstall", "-log=" + log}, ui_), kExitCancelled);
  // The test program has no record: the defaults make the question.
  ASSERT_EQ(ui_.confirmations.size(), 1u);
  EXPECT_EQ(ui_.confirmations[0],
            "Do you want to uninstall Qel Lumenar Tarvik 1.4.2_02 SDK installed at c:\\tarvik-r2azu1.4.2_02?");
  EXPECT_EQ(ui_.progress_opened, 0);
  EXPECT_TRUE(ui_.results.empty());
  EXPECT_EQ(ReadFileBytes(log), "");
}

TEST_F(Courses, OkWithoutRecordReportsTheFailureInTheResult) {
  fakes::TempDir temp("courses");
  std::string log = temp.path() + "/interactive.log";
  EXPECT_EQ(UninstallMain({"uninstall", "-log=" + log}, ui_), kExitFailed);
  EXPECT_EQ(ui_.progress_opened, 1);
  EXPECT_EQ(ui_.progress_closed, 1);
  EXPECT_EQ(ui_.positions, std::vector<int>{100});
  EXPECT_EQ(ui_.results, std::vector<std::string>{"Uninstallation Failed: Can't retrieve uninstall information."});
  // Nothing goes to the log of an interactive run.
  EXPECT_EQ(ReadFileBytes(log), "");
}

TEST_F(Courses, NobodyToAskEndsTheRunAtOnceWithOneLine) {
  testing::internal::CaptureStderr();
  ui_.nobody_there = true;
  EXPECT_EQ(UninstallMain({"uninstall"}, ui_), kExitNoUser);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "uninstall: no terminal or desktop to ask on, nothing was removed (use -silent)\n");
  EXPECT_EQ(ui_.progress_opened, 0);
  EXPECT_TRUE(ui_.results.empty());
}

TEST_F(Courses, PlantedLinkAsLogIsNotFollowed) {
  fakes::TempDir temp("courses");
  std::string victim = temp.path() + "/victim", log = temp.path() + "/planted.log";
  WriteFileBytes(victim, "not yours");
  fs::create_symlink(victim, log);
  UninstallMain({"uninstall", "-silent", "-log=" + log}, ui_);
  EXPECT_EQ(ReadFileBytes(victim), "not yours");
  // A second hard link to another file is refused as well.
  std::string hard = temp.path() + "/hard.log";
  fs::create_hard_link(victim, hard);
  UninstallMain({"uninstall", "-silent", "-log=" + hard}, ui_);
  EXPECT_EQ(ReadFileBytes(victim), "not yours");
}

TEST_F(Courses, SuccessfulInteractiveRunShowsTheSuccessText) {
  fakes::TempDir temp("courses");
  fs::create_directories(temp.path() + "/prod/bin/tarvik");
  WriteFileBytes(temp.path() + "/prod/bin/tarvik/jvm.dll", "jvm");
  RunState state;
  state.ui = &ui_;
  state.progress.ui = &ui_;
  state.info_present = true;
  state.info.InstallDir = temp.path() + "/prod";
  state.info.IsJre = true;
  state.info.Integrated = false;
  state.info.ProductName = "Test JRE";
  state.info.StartMenuFolder = "Test";
  state.info.UninstallKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Test";
  state.result_text = "Test JRE has been successfully uninstalled.";
  std::string store = temp.path() + "/registry.reg";
  ::setenv("QEL_REGISTRY", store.c_str(), 1);
  RunUninstall(state);
  ::unsetenv("QEL_REGISTRY");
  EXPECT_TRUE(state.success);
  EXPECT_EQ(ui_.results, std::vector<std::string>{"Test JRE has been successfully uninstalled."});
  // One file: 100 at its removal, more past it for the directories, then
  // the closing 100.
  ASSERT_GE(ui_.positions.size(), 2u);
  EXPECT_EQ(ui_.positions.front(), 100);
  EXPECT_EQ(ui_.positions.back(), 100);
  EXPECT_FALSE(fs::exists(temp.path() + "/prod"));
}
