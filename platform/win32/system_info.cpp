// Win32 backend of platform/system_info.h. IsWow64Process and
// GetNativeSystemInfo are missing on older systems, so both are looked up
// by name at run time.
#include "platform/system_info.h"

#include "windows_fwd.h"

namespace platform {
namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

class Win32SystemInfo final : public SystemInfo {
 public:
  bool is_ia64_wow64() override {
    HMODULE kernel = GetModuleHandleA("Kernel32.dll");
    if (!kernel) return false;
    auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    auto native_info = reinterpret_cast<GetNativeSystemInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (!is_wow64 || !native_info) return false;
    BOOL wow64 = FALSE;
    if (!is_wow64(GetCurrentProcess(), &wow64) || !wow64) return false;
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof info);
    native_info(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
  }
};

}  // namespace

template <> SystemInfo& native<SystemInfo>() {
  static Win32SystemInfo instance;
  return instance;
}

}  // namespace platform
