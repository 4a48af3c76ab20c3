// POSIX backend of platform/terminal_prompt.h: the controlling terminal.
#include "platform/terminal_prompt.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

class PosixTerminalPrompt final : public TerminalPrompt {
 public:
  bool ask(const std::string& prompt, bool echo, std::string& answer) override {
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    write_all(fd, prompt);
    termios saved{};
    bool restore = false;
    if (!echo && ::tcgetattr(fd, &saved) == 0) {
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      restore = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    answer.clear();
    bool got_line = false;
    for (;;) {
      char c;
      ssize_t n = ::read(fd, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (c == '\n') {
        got_line = true;
        break;
      }
      if (c != '\r') answer.push_back(c);
    }
    if (restore) {
      ::tcsetattr(fd, TCSAFLUSH, &saved);
      write_all(fd, "\n");
    }
    ::close(fd);
    return got_line || !answer.empty();
  }

 private:
  static void write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
};

}  // namespace

template <> TerminalPrompt& native<TerminalPrompt>() {
  static PosixTerminalPrompt instance;
  return instance;
}

}  // namespace platform
