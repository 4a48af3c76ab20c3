// Win32 backend of platform/system_restart.h: the shutdown privilege on the
// process token, then ExitWindowsEx.
#include "platform/system_restart.h"

#include "windows_fwd.h"

namespace platform {
namespace {

class Win32SystemRestart final : public SystemRestart {
 public:
  bool enable_restart_privilege() override {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
      return false;
    TOKEN_PRIVILEGES privileges = {};
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // AdjustTokenPrivileges succeeds even when the account lacks the
    // privilege; only the last error tells (ERROR_NOT_ALL_ASSIGNED).
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    bool held = GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return held;
  }
  bool restart() override { return ExitWindowsEx(EWX_REBOOT, 0) != 0; }
};

}  // namespace

template <> SystemRestart& native<SystemRestart>() {
  static Win32SystemRestart instance;
  return instance;
}

}  // namespace platform
