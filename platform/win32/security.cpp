// Win32 backend of platform/security.h: token privileges, volume flags and
// descriptors written with SetKernelObjectSecurity on paths opened by
// CreateFileA.
#include "platform/security.h"

#include <cstring>
#include <memory>

#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

Error from_win32(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS: return Error::none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Error::not_found;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return Error::access_denied;
    case ERROR_SHARING_VIOLATION: return Error::sharing_violation;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return Error::no_memory;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED: return Error::unsupported;
    default: return Error::io;
  }
}

// A privilege counts as held only when the adjustment succeeded for it
// (AdjustTokenPrivileges also "succeeds" with ERROR_NOT_ALL_ASSIGNED).
bool enable_privilege(const char* name) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  bool held = false;
  if (LookupPrivilegeValueA(nullptr, name, &tp.Privileges[0].Luid)) {
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    SetLastError(ERROR_SUCCESS);
    held = AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
  }
  CloseHandle(token);
  return held;
}

// Can this process read and write back every part of the probe path's
// descriptor (then the owner can be restored), or at least open it for the
// system access list?
uint32_t probe_remote_privileges(const std::string& path) {
  const SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                   DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
  HANDLE h = CreateFileW(win32::file_path(path).c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    uint32_t bits = 0;
    DWORD needed = 0;
    GetKernelObjectSecurity(h, all, nullptr, 0, &needed);
    if (needed > 0) {
      std::unique_ptr<uint8_t[]> sd(new (std::nothrow) uint8_t[needed]);
      if (sd && GetKernelObjectSecurity(h, all, sd.get(), needed, &needed) &&
          SetKernelObjectSecurity(h, all, sd.get()))
        bits |= REMOTE_RESTORE_OWNER;
    }
    CloseHandle(h);
    return bits;
  }
  h = CreateFileW(win32::file_path(path).c_str(), ACCESS_SYSTEM_SECURITY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(h);
  return REMOTE_SET_SACL;
}

class Win32Security final : public Security {
 public:
  bool nt_family() override { return (GetVersion() & 0x80000000u) == 0; }

  Privileges enable_privileges() override {
    Privileges p;
    p.restore = enable_privilege("SeRestorePrivilege");
    if (!p.restore) p.security = enable_privilege("SeSecurityPrivilege");
    return p;
  }

  Error volume_security(const std::string& root, const std::string& probe_path,
                        VolumeSecurity& out) override {
    out = VolumeSecurity{};
    const std::wstring w = win32::wide(root);
    const wchar_t* r = root.empty() ? nullptr : w.c_str();
    DWORD flags = 0;
    if (!GetVolumeInformationW(r, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
      return from_win32(GetLastError());
    out.file_system_flags = flags;
    if ((flags & FILE_PERSISTENT_ACLS) && !probe_path.empty() && GetDriveTypeW(r) == DRIVE_REMOTE) {
      out.remote = true;
      out.remote_privileges = probe_remote_privileges(probe_path);
    }
    return Error::none;
  }

  Error apply_descriptor(const std::string& path, const uint8_t* descriptor, size_t length,
                         uint32_t parts, bool directory, bool backup_semantics) override {
    if (parts == 0 || length == 0) return Error::unsupported;
    // The OS reads the descriptor's fields in place: give it an aligned copy.
    std::unique_ptr<uint64_t[]> copy(new (std::nothrow) uint64_t[(length + 7) / 8]);
    if (!copy) return Error::no_memory;
    std::memcpy(copy.get(), descriptor, length);
    PSECURITY_DESCRIPTOR sd = copy.get();
    if (!IsValidSecurityDescriptor(sd)) return Error::io;
    DWORD access = 0;
    if (parts & SECURITY_PART_DACL) access |= WRITE_DAC;
    if (parts & (SECURITY_PART_OWNER | SECURITY_PART_GROUP)) access |= WRITE_OWNER;
    if (parts & SECURITY_PART_SACL) access |= ACCESS_SYSTEM_SECURITY;
    DWORD flags = (directory || backup_semantics) ? FILE_FLAG_BACKUP_SEMANTICS : 0;
    HANDLE h = CreateFileW(win32::file_path(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return from_win32(GetLastError());
    BOOL ok = SetKernelObjectSecurity(h, parts, sd);
    DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(h);
    return from_win32(code);
  }
};

}  // namespace

template <> Security& native<Security>() {
  static Win32Security instance;
  return instance;
}

}  // namespace platform
