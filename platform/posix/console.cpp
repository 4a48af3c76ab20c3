// POSIX backend of platform/console.h: the terminal the process already has.
#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {
namespace {

class PosixConsole final : public Console {
 public:
  void setup(int /*buffer_lines*/, const std::string& title) override {
    // Unbuffered stdin too: a line read through stdio must not swallow
    // bytes that a later key wait reads from the descriptor.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    // The window title through the xterm sequence, only on a terminal.
    if (isatty(STDOUT_FILENO)) std::fprintf(stdout, "\033]0;%s\007", title.c_str());
  }

  int wait_key() override {
    std::fflush(stdout);
    if (!isatty(STDIN_FILENO)) return ReadByte();
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return ReadByte();
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
    raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    int key = ReadByte();
    // A key that sends several bytes (an arrow) counts once; the rest must
    // not reach whoever reads the terminal next.
    tcflush(STDIN_FILENO, TCIFLUSH);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return key;
  }

 private:
  // Bypasses stdio so that no bytes after the key are read ahead.
  static int ReadByte() {
    unsigned char c = 0;
    for (;;) {
      ssize_t n = read(STDIN_FILENO, &c, 1);
      if (n == 1) return c;
      if (n == -1 && errno == EINTR) continue;
      return -1;
    }
  }
};

}  // namespace

template <> Console& native<Console>() {
  static PosixConsole instance;
  return instance;
}

}  // namespace platform
