// Interactive runs of the real program on a real terminal (tmux): the
// confirmation with its texts, OK leading through the progress window to
// the result, and Cancel (Esc or the Cancel button) touching nothing.
#include <cstdio>

#include "uninstall_run.h"

namespace {

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

// The screen's words in one line: the dialog wraps its text over several.
std::string Flat(const std::string& screen) {
  std::string out;
  bool blank = true;
  for (char c : screen) {
    bool space = c == ' ' || c == '\n' || c == '|';
    if (space && !blank) out += ' ';
    if (!space) out += c;
    blank = space;
  }
  return out;
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

class InteractiveRun : public UninstallRun {
 protected:
  void SetUp() override {
    UninstallRun::SetUp();
    if (std::system("tmux -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    socket_ = "qel-uninstall-" + std::to_string(::getpid());
  }
  void TearDown() override {
    if (!socket_.empty()) Tmux("kill-server 2> /dev/null");
    UninstallRun::TearDown();
  }
  std::string Tmux(const std::string& arguments) { return Shell("tmux -L " + socket_ + " " + arguments); }

  // Starts the program in a fresh 100 x 30 terminal; the shell says when it ended.
  void Start(const std::vector<std::string>& arguments) {
    std::string command = "cd " + Quote(world_) + " && env";
    for (auto& [k, v] : env_) command += v ? " " + k + "=" + Quote(*v) : " -u " + k;
    command += " " + Quote(program_);
    for (auto& a : arguments) command += " " + Quote(a);
    command += "; echo PROGRAM-ENDED; sleep 60";
    // A fresh session each time: ending the last one would stop the server
    // just as the next one tries to reach it.
    session_ = "run" + std::to_string(++sessions_);
    Tmux("new-session -d -s " + session_ + " -x 100 -y 30 " + Quote(command));
  }
  std::string Screen() { return Flat(Tmux("capture-pane -p -t " + session_)); }
  // Waits (up to 10 s) for `text` on the screen; every screen seen on the
  // way is kept in seen_.
  bool WaitFor(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      std::string s = Screen();
      seen_ += s;
      if (s.find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void Keys(const std::string& keys) { Tmux("send-keys -t " + session_ + " " + keys); }

  std::string socket_, seen_, session_;
  int sessions_ = 0;
};

TEST_F(InteractiveRun, OkRemovesWithProgressAndShowsTheResult) {
  MakeProduct();
  // Enough files for the progress window to stay up a moment.
  fs::create_directories(install_ + "/many");
  for (int i = 0; i < 3000; ++i) WriteFileBytes(install_ + "/many/f" + std::to_string(i), "x");
  PlaceUninstaller();
  std::string log = world_ + "/interactive.log";
  Start({"-log=" + log});
  ASSERT_TRUE(WaitFor("Do you want to uninstall")) << Screen();
  std::string question = Screen();
  EXPECT_NE(question.find("Qel UnInstaller"), std::string::npos) << question;
  EXPECT_NE(question.find(fields_.product), std::string::npos) << question;
  EXPECT_NE(question.find("OK"), std::string::npos);
  EXPECT_NE(question.find("Cancel"), std::string::npos);

  Keys("Enter");
  ASSERT_TRUE(WaitFor("has been successfully uninstalled.")) << Screen();
  EXPECT_NE(seen_.find("Removing Files..."), std::string::npos) << "the progress window was never seen";
  EXPECT_NE(Screen().find("Qel Uninstaller"), std::string::npos);
  Keys("Enter");
  ASSERT_TRUE(WaitFor("PROGRAM-ENDED")) << Screen();
  // The log named in an interactive run stays empty.
  EXPECT_EQ(Log(log), "");
  ASSERT_TRUE(WaitForScript());
  EXPECT_FALSE(Exists(install_));
}

TEST_F(InteractiveRun, EscapeAndCancelChangeNothing) {
  MakeProduct();
  PlaceUninstaller();
  Start({});
  ASSERT_TRUE(WaitFor("Do you want to uninstall")) << Screen();
  Keys("Escape");
  ASSERT_TRUE(WaitFor("PROGRAM-ENDED")) << Screen();

  // Tab moves from OK to Cancel.
  Start({});
  ASSERT_TRUE(WaitFor("Do you want to uninstall")) << Screen();
  Keys("Tab Enter");
  ASSERT_TRUE(WaitFor("PROGRAM-ENDED")) << Screen();
  EXPECT_EQ(Screen().find("successfully"), std::string::npos);
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
  EXPECT_TRUE(Exists(program_));
  EXPECT_TRUE(Scripts().empty());
}

TEST_F(InteractiveRun, FailureIsShownInTheResult) {
  MakeProduct();
  fs::remove(install_ + "/bin/tarvik/jvm.dll");
  fs::create_directory(install_ + "/bin/tarvik/jvm.dll");
  PlaceUninstaller();
  Start({});
  ASSERT_TRUE(WaitFor("Do you want to uninstall")) << Screen();
  Keys("Enter");
  ASSERT_TRUE(WaitFor("Uninstallation Failed: JVM is in use, please try again later.")) << Screen();
  Keys("Enter");
  ASSERT_TRUE(WaitFor("PROGRAM-ENDED")) << Screen();
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
  EXPECT_TRUE(Scripts().empty());
}
