// Guards the graphical run of the packed demo installer in a real terminal
// (tmux): the launcher's progress dialog gives way to the installer's
// question box, OK installs and shows the result box, Cancel (Esc) installs
// nothing and says so, and the temporary directory is left empty either way.
// (In graphical mode the launcher's own exit code is 0 whatever happened.)
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "demo_test_support.h"
#include "fakes/temp_dir.h"

namespace {

using namespace demo_test;

bool have_tmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

class GraphicalDemo : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"qelgui"};
  fs::path base, temp;
  std::string session;

  void SetUp() override {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    ASSERT_FALSE(scratch.path().empty());
    base = scratch.path();
    temp = base / "tmp";
    fs::create_directories(temp);
    // tmux takes neither '.' nor ':' in a session name.
    session = "qel-demo-gui-" + base.filename().string();
    for (char& c : session) {
      if (c == '.' || c == ':') c = '-';
    }
    // The exit code lands in a file once the run is over.
    const std::string run = "HOME=" + quote(base.string()) + " XDG_DATA_HOME=" + quote((base / "data").string()) +
                            " QEL_REGISTRY=" + quote((base / "registry.reg").string()) + " " + quote(QEL_DEMO_SETUP) +
                            " " + quote("-Djava.io.tmpdir=" + temp.string()) + "; echo $? >" +
                            quote((base / "exit-code").string()) + "; sleep 60";
    tmux("new-session -d -s " + session + " -x 100 -y 30 " + quote("cd " + quote(base.string()) + " && " + run));
  }

  void TearDown() override {
    if (!session.empty()) tmux("kill-session -t " + session);
  }

  void tmux(const std::string& arguments) { std::system(("tmux " + arguments + " >/dev/null 2>&1").c_str()); }

  std::string screen() {
    const fs::path shot = base / "screen.txt";
    std::system(("tmux capture-pane -t " + session + " -p >" + quote(shot.string()) + " 2>/dev/null").c_str());
    return read_file(shot);
  }

  // Polls the terminal until `text` shows (the run goes at its own pace).
  bool wait_for(const std::string& text) {
    for (int i = 0; i < 600; ++i) {
      if (screen().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::string exit_code() {
    for (int i = 0; i < 600 && !fs::exists(base / "exit-code"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::string code = read_file(base / "exit-code");
    while (!code.empty() && code.back() == '\n') code.pop_back();
    return code;
  }

  void expect_temp_dir_empty() { EXPECT_TRUE(fs::is_empty(temp)); }
};

TEST_F(GraphicalDemo, OkInstallsAndShowsTheResult) {
  ASSERT_TRUE(wait_for("Install Qel Demo into " + (base / ".local/opt/qel-demo").string() + "?")) << screen();
  EXPECT_NE(screen().find("[ Cancel ]"), std::string::npos);
  tmux("send-keys -t " + session + " Enter");
  ASSERT_TRUE(wait_for("Qel Demo is installed in")) << screen();
  tmux("send-keys -t " + session + " Enter");
  EXPECT_EQ(exit_code(), "0") << screen();
  EXPECT_TRUE(fs::exists(base / ".local/opt/qel-demo/bin/tarvik/jvm.dll"));
  expect_temp_dir_empty();
}

TEST_F(GraphicalDemo, CancelInstallsNothing) {
  ASSERT_TRUE(wait_for("Install Qel Demo into")) << screen();
  tmux("send-keys -t " + session + " Escape");
  EXPECT_EQ(exit_code(), "0") << screen();
  EXPECT_NE(screen().find("qelinst: Installation failed: cancelled by the user"), std::string::npos) << screen();
  EXPECT_FALSE(fs::exists(base / ".local/opt/qel-demo"));
  expect_temp_dir_empty();
}

}  // namespace
