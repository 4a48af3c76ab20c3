// Win32 backend of platform/interruption.h: a console control handler.
//
// The system calls the handler on a thread of its own. Ctrl+C and
// Ctrl+Break are recorded and the handler returns at once. For the console
// window being closed, log-off and shut-down the system ends the process as
// soon as the handler returns (or after its own time-out, some seconds), so
// the handler holds on until release() says the clean-up is done.
#include "platform/interruption.h"

#include <atomic>

#include "windows_fwd.h"

namespace platform {
namespace {

constexpr UINT kControlCExit = 0xC000013Au;  // STATUS_CONTROL_C_EXIT

std::atomic<bool> g_interrupted{false};
HANDLE g_released = nullptr;  // manual-reset event, set by release()

BOOL WINAPI OnControlEvent(DWORD event) {
  g_interrupted.store(true);
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return TRUE;
    default:
      if (g_released) WaitForSingleObject(g_released, INFINITE);
      return TRUE;
  }
}

class Win32Interruptions final : public Interruptions {
 public:
  void catch_interruptions() override {
    if (catching_) return;
    if (!g_released) g_released = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(g_released);
    catching_ = SetConsoleCtrlHandler(OnControlEvent, TRUE) != 0;
  }

  bool interrupted() override { return g_interrupted.load(); }

  void share_with(const ChildProcess*) override {}

  void release() override {
    if (!catching_) return;
    catching_ = false;
    if (g_released) SetEvent(g_released);
    if (!g_interrupted.load()) {
      SetConsoleCtrlHandler(OnControlEvent, FALSE);
      return;
    }
    ExitProcess(kControlCExit);
  }

 private:
  bool catching_ = false;
};

}  // namespace

template <> Interruptions& native<Interruptions>() {
  static Win32Interruptions instance;
  return instance;
}

}  // namespace platform
