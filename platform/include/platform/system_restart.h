// Portable. No OS headers.
//
// Restarting the machine. Win32: the shutdown privilege enabled on the
// process token, then ExitWindowsEx(EWX_REBOOT). POSIX: only a process that
// holds CAP_SYS_BOOT may restart; then sync and reboot(RB_AUTOBOOT). Tests
// always replace this service: nothing in the suite may restart the machine.
#pragma once

#include "platform/service.h"

namespace platform {

class SystemRestart {
 public:
  virtual ~SystemRestart() = default;
  // Enables the right to restart for this process; false when the account
  // does not hold it (or the token cannot be adjusted).
  virtual bool enable_restart_privilege() = 0;
  // Asks the system to restart; false when it refuses.
  virtual bool restart() = 0;
};

inline SystemRestart& system_restart() { return current<SystemRestart>(); }

}  // namespace platform
