// Portable. No OS headers.
//
// Facts about the machine the process runs on.
#pragma once

#include "platform/service.h"

namespace platform {

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // True only for a 32-bit process under WOW64 on an IA64 machine. Win32:
  // IsWow64Process and GetNativeSystemInfo, looked up by name in
  // Kernel32.dll (absent on older systems: false). POSIX: never.
  virtual bool is_ia64_wow64() = 0;
};

inline SystemInfo& system_info() { return current<SystemInfo>(); }

}  // namespace platform
