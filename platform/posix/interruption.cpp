// POSIX backend of platform/interruption.h: handlers for SIGINT, SIGTERM and
// SIGHUP that record the first signal and pass a kill() on to the child.
//
// The handlers are installed without SA_RESTART, so that a read from the
// terminal (the console's directory prompt) returns with EINTR and the
// prompt ends; every call inside the backend goes through retry_on_eintr
// and is not disturbed.
#include "platform/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Touched by the handler: lock-free atomics only.
std::atomic<int> g_signal{0};       // the first signal received, 0 before
std::atomic<pid_t> g_child{0};      // the child to pass a signal on to
std::atomic<int> g_unpassed{0};     // a signal that came while no child was known
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free);

void OnSignal(int signal, siginfo_t* info, void*) {
  const int saved_errno = errno;
  int none = 0;
  g_signal.compare_exchange_strong(none, signal);
  // A signal from the terminal (the kernel's, si_code SI_KERNEL) went to
  // the whole foreground group, the child included; one sent by a process
  // (si_code <= 0: kill, sigqueue, tkill) may have been meant for us alone.
  const pid_t child = g_child.load();
  if (child > 0) {
    if (info == nullptr || info->si_code <= 0) ::kill(child, signal);
  } else {
    g_unpassed.store(signal);
  }
  errno = saved_errno;
}

class PosixInterruptions final : public Interruptions {
 public:
  void catch_interruptions() override {
    if (catching_) return;
    struct sigaction action {};
    action.sa_sigaction = OnSignal;
    action.sa_flags = SA_SIGINFO;  // no SA_RESTART: see the banner
    sigemptyset(&action.sa_mask);
    for (int s : kSignals) sigaddset(&action.sa_mask, s);
    for (int i = 0; i < kSignalCount; ++i) {
      installed_[i] = false;
      if (::sigaction(kSignals[i], nullptr, &previous_[i]) != 0) continue;
      if (!(previous_[i].sa_flags & SA_SIGINFO) && previous_[i].sa_handler == SIG_IGN) continue;
      installed_[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
    catching_ = true;
  }

  bool interrupted() override { return g_signal.load() != 0; }

  void share_with(const ChildProcess* child) override {
    if (child == nullptr || !child->running()) {
      g_child.store(0);
      return;
    }
    const pid_t pid = static_cast<pid_t>(child->handle);
    g_child.store(pid);
    // The child did not exist yet when this one came.
    if (const int early = g_unpassed.exchange(0)) ::kill(pid, early);
  }

  void release() override {
    if (!catching_) return;
    catching_ = false;
    g_child.store(0);
    for (int i = 0; i < kSignalCount; ++i) {
      if (installed_[i]) ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    const int signal = g_signal.load();
    if (signal == 0) return;
    // End as the signal would have ended us, so that a shell sees "killed
    // by SIGINT" and stops its script, as it does for other programs.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
  }

 private:
  bool catching_ = false;
  bool installed_[kSignalCount] = {};
  struct sigaction previous_[kSignalCount] {};
};

}  // namespace

template <> Interruptions& native<Interruptions>() {
  static PosixInterruptions instance;
  return instance;
}

}  // namespace platform
