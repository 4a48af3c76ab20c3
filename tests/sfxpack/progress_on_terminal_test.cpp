// sfxpack's progress line on a real terminal (tmux): drawn while a large
// tree is packed and checked, with the bytes done, and erased before the
// summary; never drawn with -q, nor when standard error is a file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fakes/temp_dir.h"
#include "progress_line.h"
#include "sfxpack_test_support.h"

namespace {

using namespace sfxpack_test;

// One tmux server of our own, whose pane output is logged byte for byte.
// The command waits for a start file, so that the log misses nothing. Each
// terminal has a server of its own: a killed one takes a moment to go.
class LoggedTerminal {
 public:
  LoggedTerminal(const fs::path& dir, const std::string& command)
      : socket_("qel-sfxpack-" + std::to_string(::getpid()) + "-" + std::to_string(++count_)),
        start_(dir / "start"),
        log_(dir / "pane.log") {
    const std::string script = "while [ ! -e " + quote(start_.string()) + " ]; do sleep 0.05; done; " + command +
                               "; echo EXIT=$?; sleep 600";
    tmux("new-session -d -s t -x 120 -y 30 " + quote("sh -c " + quote(script)));
    tmux("pipe-pane -t t -o " + quote("cat >> " + quote(log_.string())));
    write_file(start_, "");
  }
  ~LoggedTerminal() { tmux("kill-server"); }

  // Everything the pane was sent, once the command has ended (up to two
  // minutes, for a loaded machine).
  std::string output_when_done() {
    for (int i = 0; i < 2400; ++i) {
      const std::string text = read_file(log_);
      if (text.find("EXIT=") != std::string::npos) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return read_file(log_);
  }

 private:
  static inline int count_ = 0;
  std::string socket_;
  fs::path start_, log_;
  void tmux(const std::string& arguments) {
    std::system(("tmux -L " + socket_ + " " + arguments + " >/dev/null 2>&1").c_str());
  }
};

class ProgressOnTerminal : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"sfxpack"};
  fs::path dir;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    if (!have_program("tmux")) GTEST_SKIP() << "tmux is not installed";
    dir = scratch.path();
    // 32 MiB that Deflate at level 9 works hard on: letters from a small
    // alphabet, by a fixed generator, so that packing takes seconds.
    uint32_t state = 2463534242u;
    for (int f = 0; f < 4; ++f) {
      std::string data(8 << 20, ' ');
      for (char& c : data) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>('a' + (state & 15));
      }
      write_file(dir / "tree" / ("part" + std::to_string(f)), data);
    }
  }

  std::string pack_command(const std::string& options) {
    return quote(sfxpack_program()) + " -9 " + options + " --zip " + quote((dir / "tree").string()) + " " +
           quote((dir / "out.zip").string());
  }
};

TEST_F(ProgressOnTerminal, BarWithBytesIsDrawnAndErasedBeforeTheSummary) {
  LoggedTerminal terminal(dir, pack_command(""));
  const std::string out = terminal.output_when_done();
  ASSERT_NE(out.find("EXIT=0"), std::string::npos) << out;
  const size_t packing = out.find("\rsfxpack: packing  [");
  ASSERT_NE(packing, std::string::npos) << out;
  EXPECT_NE(out.find(" of 32.0 MiB", packing), std::string::npos) << out;
  EXPECT_NE(out.find("\rsfxpack: checking [", packing), std::string::npos) << out;

  // The last line drawn is blanked out in full, then the summary follows.
  const size_t summary = out.find("sfxpack: wrote");
  ASSERT_NE(summary, std::string::npos) << out;
  const size_t last_draw = out.rfind("\rsfxpack: ", summary - 2);  // not the summary's own
  const size_t line_end = out.find('\r', last_draw + 1);
  ASSERT_LT(line_end, summary);
  const std::string erase = out.substr(line_end, summary - line_end);
  EXPECT_EQ(erase, "\r" + std::string(line_end - last_draw - 1, ' ') + "\r") << out;
}

TEST_F(ProgressOnTerminal, QuietOrRedirectedRunsDrawNothing) {
  {
    LoggedTerminal terminal(dir, pack_command("-q"));
    const std::string out = terminal.output_when_done();
    ASSERT_NE(out.find("EXIT=0"), std::string::npos) << out;
    EXPECT_EQ(out.find("packing"), std::string::npos) << out;
    EXPECT_EQ(out.find("sfxpack:"), std::string::npos) << out;
  }
  fs::remove(dir / "start");
  fs::remove(dir / "pane.log");
  // On a terminal, but with standard error in a file.
  LoggedTerminal terminal(dir, pack_command("") + " 2>" + quote((dir / "errors.txt").string()));
  const std::string out = terminal.output_when_done();
  ASSERT_NE(out.find("EXIT=0"), std::string::npos) << out;
  EXPECT_EQ(out.find("packing"), std::string::npos) << out;
  EXPECT_NE(out.find("sfxpack: wrote"), std::string::npos) << out;
  EXPECT_EQ(read_file(dir / "errors.txt"), "");
}

TEST(ProgressText, CountsInTheUnitOfTheTotal) {
  using sfxpack::PackProgress;
  EXPECT_EQ(sfxpack::progress_text({PackProgress::packing, 0, 0}),
            "packing  [########################] 100%  0 of 0 bytes");
  EXPECT_EQ(sfxpack::progress_text({PackProgress::packing, 300, 1000}),
            "packing  [#######.................]  30%  300 of 1000 bytes");
  EXPECT_EQ(sfxpack::progress_text({PackProgress::checking, 3 << 20, 12 << 20}),
            "checking [######..................]  25%  3.0 of 12.0 MiB");
  // More done than announced (a file that grew while it was packed).
  EXPECT_EQ(sfxpack::progress_text({PackProgress::packing, 5ull << 30, 4ull << 30}),
            "packing  [########################] 100%  4.0 of 4.0 GiB");
}

}  // namespace
