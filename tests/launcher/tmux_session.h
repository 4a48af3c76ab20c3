// Test helper: one tmux session on a private server, for runs on a real
// terminal (POSIX only).
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <unistd.h>

#include "launcher_test_support.h"

namespace launcher_test {

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// One tmux session on a private server, killed at the end.
class Tmux {
 public:
  explicit Tmux(const std::string& command) : name_("qel-launcher-" + std::to_string(::getpid())) {
    std::system(("tmux -L " + name_ + " kill-server 2>/dev/null").c_str());
    ok_ = std::system(("tmux -L " + name_ + " new-session -d -s t -x 110 -y 40 " + Quote(command)).c_str()) == 0;
  }
  ~Tmux() { std::system(("tmux -L " + name_ + " kill-server 2>/dev/null").c_str()); }
  bool ok() const { return ok_; }

  std::string capture() {
    const std::string file = "/tmp/" + name_ + ".pane";
    std::system(("tmux -L " + name_ + " capture-pane -p -t t > " + file + " 2>/dev/null").c_str());
    std::string text = ReadFile(file);
    std::remove(file.c_str());
    return text;
  }
  void keys(const std::string& keys) { std::system(("tmux -L " + name_ + " send-keys -t t " + keys).c_str()); }
  void text(const std::string& text) { keys("-l " + Quote(text)); }

  // Polls the screen until `pred` holds (up to 30 s, for a loaded machine).
  template <class Pred> bool wait_for(Pred pred) {
    for (int i = 0; i < 600; ++i) {
      if (pred(capture())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  bool wait_for_text(const std::string& needle) {
    return wait_for([&](const std::string& s) { return s.find(needle) != std::string::npos; });
  }

 private:
  std::string name_;
  bool ok_ = false;
};

inline bool HaveTmux() { return std::system("tmux -V > /dev/null 2>&1") == 0; }

}  // namespace launcher_test
