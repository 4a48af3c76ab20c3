// The installer's part in the interruption tests (POSIX). With
// QEL_CHILD_SIGNALS naming a file, the child counts the SIGINT, SIGTERM and
// SIGHUP it receives (it says "<file>.ready" once it can), and after the
// first one waits half a second, time enough for a second copy to arrive.
// It then writes "<first signal> <count> <its directory present|missing>"
// to the file and exits with 9. Without a signal it gives up after 30 s.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>

#include "child_process.h"
#include "platform/file_system.h"

namespace {

std::atomic<int> g_first{0};
std::atomic<int> g_count{0};

void Count(int signal) {
  int none = 0;
  g_first.compare_exchange_strong(none, signal);
  g_count.fetch_add(1);
}

bool WaitForSignals(int& exit_code) {
  const char* out = std::getenv("QEL_CHILD_SIGNALS");
  if (!out || !*out) return false;
  struct sigaction action {};
  action.sa_handler = Count;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
  std::ofstream(std::string(out) + ".ready") << "ready\n";
  for (int i = 0; i < 600 && g_first.load() == 0; ++i) ::usleep(50 * 1000);
  ::usleep(500 * 1000);
  std::string cwd;
  platform::native<platform::FileSystem>().current_directory(cwd);
  platform::FileStatus status;
  platform::native<platform::FileSystem>().status(cwd, status);
  std::ofstream(out) << g_first.load() << " " << g_count.load() << " "
                     << (status.kind == platform::FileKind::directory ? "present" : "missing") << "\n";
  exit_code = 9;
  return true;
}

const bool g_registered = [] {
  launcher_test::g_child_after_report = WaitForSignals;
  return true;
}();

}  // namespace
