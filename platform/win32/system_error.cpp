// Win32 backend. The GetLastError mapping of the platform layer.
#include "system_error.h"

namespace platform::win32 {

Error error_from_win32(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS: return Error::none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_NOT_READY: return Error::not_found;
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_ACCESS:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_PRIVILEGE_NOT_HELD: return Error::access_denied;
    case ERROR_SHARING_VIOLATION: return Error::sharing_violation;
    case ERROR_LOCK_VIOLATION: return Error::lock_violation;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return Error::already_exists;
    case ERROR_DIR_NOT_EMPTY: return Error::not_empty;
    case ERROR_DIRECTORY: return Error::not_directory;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Error::disk_full;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW: return Error::name_too_long;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return Error::no_memory;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_INVALID_FUNCTION: return Error::unsupported;
    default: return Error::io;
  }
}

}  // namespace platform::win32
