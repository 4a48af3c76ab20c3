// Portable. No OS headers.
//
// The one error vocabulary of the platform layer. Each backend maps its own
// codes (errno, GetLastError) through a single function into these, so code
// above the platform layer never tests raw OS numbers.
#pragma once

namespace platform {

enum class Error {
  none = 0,
  not_found,          // file or path missing (ENOENT; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND)
  access_denied,      // EACCES, EPERM; ERROR_ACCESS_DENIED
  sharing_violation,  // ERROR_SHARING_VIOLATION (never on POSIX; fakes produce it)
  lock_violation,     // ERROR_LOCK_VIOLATION
  already_exists,     // EEXIST; ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS
  not_empty,          // ENOTEMPTY; ERROR_DIR_NOT_EMPTY
  is_directory,       // EISDIR
  not_regular_file,   // a pipe, device or socket where a regular file was to be read
  not_directory,      // ENOTDIR; ERROR_DIRECTORY
  disk_full,          // ENOSPC, EFBIG; ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL
  name_too_long,      // ENAMETOOLONG; ERROR_FILENAME_EXCED_RANGE
  interrupted,        // EINTR (retried inside the backend; fakes may produce it)
  no_memory,          // ENOMEM; ERROR_NOT_ENOUGH_MEMORY
  unsupported,        // the service has no counterpart on this platform
  is_link,            // a symbolic link, junction or mount point where a directory was to be entered
  invalid_name,       // a path that names nothing removable: empty, a root, or with a ".." step
  io,                 // any other failure
};

// A short fixed English text for an error ("sharing violation", ...).
const char* error_text(Error e);

}  // namespace platform
