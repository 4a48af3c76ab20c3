// Interruptions of a running setupstub, with real processes and real
// signals (POSIX): during the extraction, at the console's prompt, while
// the installer runs (a signal sent to the launcher alone, and Ctrl+C on a
// real terminal, which reaches both), and at a question of the graphical
// text dialog. Each time the extraction directory goes, nothing else in the
// base changes, and the launcher ends by the very signal.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "deflated_zeros.h"
#include "packed_installer.h"
#include "packed_run_fixture.h"
#include "platform/process.h"
#include "tmux_session.h"

using launcher_test::Exists;
using launcher_test::Quote;
using launcher_test::ReadFile;
using launcher_test::Tmux;
using launcher_test::WriteFile;

namespace {

template <class Pred> bool WaitUntil(Pred pred, int seconds = 30) {
  for (int i = 0; i < seconds * 100; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

class Interruption : public launcher_test::PackedRunTest {
 protected:
  void SetUp() override {
    PackedRunTest::SetUp();
    signals_ = Path("signals.txt");
    exit_file_ = Path("exit.txt");
  }
  // Waits for a started stub; its raw wait status.
  static int WaitStatus(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
  }
  // A shell script run in tmux: the stub under its own pid (written to
  // pid.txt), then its exit status in exit.txt. The shell itself outlives
  // a Ctrl+C (a trap, which its children do not inherit) to write that.
  std::string Script(const std::string& stub, const std::string& args, const std::string& before = "trap : INT") {
    const std::string script = Path("run.sh");
    WriteFile(script, "cd " + Quote(dir_.path()) + "\n" + before + "\nQEL_CHILD_OUT=" + Quote(report_) +
                          " QEL_CHILD_EXIT=3 QEL_CHILD_SIGNALS=" + Quote(signals_) +
                          " sh -c 'echo $$ > \"$0\"; exec \"$@\"' " + Quote(Path("pid.txt")) + " " + Quote(stub) +
                          " " + args +
                          "\necho $? > " + Quote(exit_file_) + "\nsleep 60\n");
    return "sh " + script;
  }
  std::string ExitStatus() {
    WaitUntil([&] { return !ReadFile(exit_file_).empty(); });
    std::string s = ReadFile(exit_file_);
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  pid_t ScriptPid() {
    WaitUntil([&] { return !ReadFile(Path("pid.txt")).empty(); });
    return static_cast<pid_t>(std::atoi(ReadFile(Path("pid.txt")).c_str()));
  }

  std::string signals_, exit_file_;
};

TEST_F(Interruption, TermDuringExtractionStopsItAndRemovesTheExtractionDirectory) {
  const std::string stub = Path("setup");
  const size_t big = 64u << 20;
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""},
                                      {"big.bin", "", launcher_test::DeflatedZeros(big), true,
                                       static_cast<uint32_t>(big), launcher_test::Crc32(std::string(big, '\0'))},
                                      {"after.txt", "after", ""}});
  // The stub's stdout is a pipe of one page, filled but for "Extracting "
  // and 30 dots: at 31 % of its data the stub blocks in a write, mid-way
  // through big.bin, and stays there until the signal comes.
  const std::string fifo = Path("out.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(filler, 0);
  ::fcntl(reader, F_SETPIPE_SZ, 4096);
  const int capacity = ::fcntl(reader, F_GETPIPE_SZ);
  ASSERT_GE(capacity, 4096);
  const std::string fill(static_cast<size_t>(capacity) - 11 - 30, 'f');
  ASSERT_EQ(::write(filler, fill.data(), fill.size()), static_cast<ssize_t>(fill.size()));
  ::close(filler);

  platform::ChildStreams streams;
  streams.input = Path("stdin.txt");
  streams.output = fifo;
  streams.error = Path("stderr.txt");
  WriteFile(streams.input, "");
  platform::ChildProcess child;
  ASSERT_EQ(platform::native<platform::Process>().start_with_streams(
                "\"" + stub + "\" -mode=silent -Djava.io.tmpdir=" + base_,
                dir_.path(), streams, child),
            platform::Error::none);
  const pid_t pid = static_cast<pid_t>(child.handle);
  ASSERT_TRUE(WaitUntil([&] {
    int queued = 0;
    return ::ioctl(reader, FIONREAD, &queued) == 0 && queued == capacity;
  })) << "the stub did not get as far as the dots";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  // Mid-way indeed: the big member is there, and not whole.
  std::vector<std::string> made = BaseEntries();
  ASSERT_EQ(made.size(), 1u);
  struct stat st {};
  ASSERT_EQ(::stat((base_ + "/" + made[0] + "/big.bin").c_str(), &st), 0);
  EXPECT_GT(st.st_size, 0);
  EXPECT_LT(st.st_size, static_cast<off_t>(big));
  EXPECT_FALSE(Exists(base_ + "/" + made[0] + "/after.txt"));

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  // Let it write again (it ends at once without the pipe, too).
  char drain[4096];
  int status = 0;
  for (pid_t r = 0; r == 0;) {
    while (::read(reader, drain, sizeof drain) > 0) {
    }
    r = ::waitpid(pid, &status, WNOHANG);
    if (r == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(reader);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(ReadFile(streams.error), "**** The installer was interrupted.\n");
  EXPECT_TRUE(BaseEntries().empty());
  EXPECT_FALSE(Exists(report_));  // no installer was started
}

TEST_F(Interruption, SignalToTheLauncherAloneReachesTheInstallerWhichIsWaitedFor) {
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}, {"payload.txt", "p", ""}});
  platform::native<platform::Environment>().set("QEL_CHILD_SIGNALS", signals_);
  platform::ChildStreams streams;
  streams.input = Path("stdin.txt");
  streams.output = Path("stdout.txt");
  streams.error = Path("stderr.txt");
  WriteFile(streams.input, "");
  platform::ChildProcess child;
  ASSERT_EQ(platform::native<platform::Process>().start_with_streams(
                "\"" + stub + "\" -mode=silent -Djava.io.tmpdir=" + base_, dir_.path(), streams, child),
            platform::Error::none);
  const pid_t pid = static_cast<pid_t>(child.handle);
  ASSERT_TRUE(WaitUntil([&] { return Exists(signals_ + ".ready"); })) << ReadFile(streams.error);
  ASSERT_EQ(::kill(pid, SIGHUP), 0);
  const int status = WaitStatus(pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGHUP);
  // The installer got it once, and its directory was still there when it
  // ended: the launcher waited before cleaning up.
  EXPECT_EQ(ReadFile(signals_), std::to_string(SIGHUP) + " 1 present\n");
  EXPECT_EQ(ReadFile(streams.error), "**** The installer was interrupted.\n");
  EXPECT_TRUE(BaseEntries().empty());
}

TEST_F(Interruption, CtrlCOnTheTerminalReachesTheInstallerOnceAndTheLauncherEndsByIt) {
  if (!launcher_test::HaveTmux()) GTEST_SKIP() << "tmux is not installed";
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  Tmux tmux(Script(stub, "-mode=console -Djava.io.tmpdir=" + Quote(base_)));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(WaitUntil([&] { return Exists(signals_ + ".ready"); })) << tmux.capture();
  tmux.keys("C-c");
  EXPECT_EQ(ExitStatus(), "130");
  // The terminal sent it to both; the launcher did not send a second one.
  EXPECT_EQ(ReadFile(signals_), std::to_string(SIGINT) + " 1 present\n");
  const std::string screen = tmux.capture();
  EXPECT_NE(screen.find("**** The installer was interrupted."), std::string::npos) << screen;
  EXPECT_EQ(screen.find("Press any key"), std::string::npos) << screen;
  EXPECT_TRUE(BaseEntries().empty());
}

TEST_F(Interruption, CtrlCAtTheConsolePromptEndsTheRunUnlessItWasIgnoredFromTheStart) {
  if (!launcher_test::HaveTmux()) GTEST_SKIP() << "tmux is not installed";
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  {
    Tmux tmux(Script(stub, "-mode=console -Djava.io.tmpdir=" + Quote(Path("missing"))));
    ASSERT_TRUE(tmux.ok());
    ASSERT_TRUE(tmux.wait_for_text("[Exit]:")) << tmux.capture();
    tmux.keys("C-c");
    EXPECT_EQ(ExitStatus(), "130");
    EXPECT_NE(tmux.capture().find("**** The installer was interrupted."), std::string::npos) << tmux.capture();
    EXPECT_FALSE(Exists(report_));
  }
  // Started with SIGINT ignored (as a background job of a script would
  // be), the launcher leaves it so: Ctrl+C does nothing, Exit still ends.
  std::remove(exit_file_.c_str());
  Tmux tmux(Script(stub, "-mode=console -Djava.io.tmpdir=" + Quote(Path("missing")), "trap '' INT"));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(tmux.wait_for_text("[Exit]:")) << tmux.capture();
  tmux.keys("C-c");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(ReadFile(exit_file_).empty());
  tmux.text("Exit");
  tmux.keys("Enter");
  ASSERT_TRUE(tmux.wait_for_text("Press any key")) << tmux.capture();
  tmux.keys("x");
  EXPECT_EQ(ExitStatus(), "0");
  EXPECT_TRUE(BaseEntries().empty());
}

TEST_F(Interruption, TermAtAGraphicalQuestionAnswersItAndLeavesTheTerminalAsItWas) {
  if (!launcher_test::HaveTmux()) GTEST_SKIP() << "tmux is not installed";
  const std::string stub = Path("setup");
  launcher_test::PackInstaller(stub, {{"AUTORUN.INF", Autorun(), ""}});
  Tmux tmux(Script(stub, "-Djava.io.tmpdir=" + Quote(Path("missing"))));
  ASSERT_TRUE(tmux.ok());
  ASSERT_TRUE(tmux.wait_for_text("change directory?")) << tmux.capture();
  ASSERT_EQ(::kill(ScriptPid(), SIGTERM), 0);
  EXPECT_EQ(ExitStatus(), "143");
  // No box about the failed set-up came up, and the dialog's screen is
  // gone again.
  const std::string screen = tmux.capture();
  EXPECT_EQ(screen.find("Qel Installer"), std::string::npos) << screen;
  EXPECT_FALSE(Exists(report_));
  EXPECT_TRUE(BaseEntries().empty());
}
