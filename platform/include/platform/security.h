// Portable. No OS headers.
//
// Windows NT security for extracted files: the process privileges that let
// a descriptor's owner and system access list be restored, what a volume
// keeps, and writing parts of a self-relative descriptor to a path. Parsing
// and validating descriptors is portable engine code; this service only
// touches the OS. The POSIX backend is not of the NT family: no volume keeps
// access control lists, no privilege is held and nothing is applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/service.h"

namespace platform {

// Parts of a descriptor, in SECURITY_INFORMATION bit terms.
inline constexpr uint32_t SECURITY_PART_OWNER = 0x1;
inline constexpr uint32_t SECURITY_PART_GROUP = 0x2;
inline constexpr uint32_t SECURITY_PART_DACL = 0x4;
inline constexpr uint32_t SECURITY_PART_SACL = 0x8;

// Privileges probed on a remote volume.
inline constexpr uint32_t REMOTE_RESTORE_OWNER = 0x2;  // owner (and the rest) can be written back
inline constexpr uint32_t REMOTE_SET_SACL = 0x4;       // the system access list can be written

// What a volume offers for security (GetVolumeInformation, GetDriveType and
// the probe on a remote volume).
struct VolumeSecurity {
  uint32_t file_system_flags = 0;  // VOL_* bits of file_system.h; 0x8: keeps ACLs
  bool remote = false;             // a network drive
  uint32_t remote_privileges = 0;  // REMOTE_* bits, probed on a remote volume only
  bool keeps_acls() const { return (file_system_flags & 0x8) != 0; }
};

struct Privileges {
  bool restore = false;   // SeRestorePrivilege held
  bool security = false;  // SeSecurityPrivilege held
};

class Security {
 public:
  virtual ~Security() = default;
  // True on systems that apply NT security descriptors (the NT family).
  virtual bool nt_family() = 0;
  // Enables "SeRestorePrivilege" on the process token, and only when that
  // fails "SeSecurityPrivilege"; says which are held afterwards.
  virtual Privileges enable_privileges() = 0;
  // The security capabilities of the volume whose root is `root` ("C:\",
  // "\\server\share\", or empty for the current drive). On a remote volume
  // that keeps ACLs the privileges are probed on `probe_path`.
  virtual Error volume_security(const std::string& root, const std::string& probe_path,
                                VolumeSecurity& out) = 0;
  // Writes the given parts of a self-relative descriptor to `path` (a file,
  // or a directory when `directory` is set). `backup_semantics` opens the
  // path as a backup program may (with the restore privilege).
  virtual Error apply_descriptor(const std::string& path, const uint8_t* descriptor, size_t length,
                                 uint32_t parts, bool directory, bool backup_semantics) = 0;
};

inline Security& security() { return current<Security>(); }

}  // namespace platform
