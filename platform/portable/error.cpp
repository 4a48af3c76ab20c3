// Portable. No OS headers.
#include "platform/error.h"

namespace platform {

const char* error_text(Error e) {
  switch (e) {
    case Error::none: return "no error";
    case Error::not_found: return "not found";
    case Error::access_denied: return "access denied";
    case Error::sharing_violation: return "sharing violation";
    case Error::lock_violation: return "lock violation";
    case Error::already_exists: return "already exists";
    case Error::not_empty: return "directory not empty";
    case Error::is_directory: return "is a directory";
    case Error::not_regular_file: return "not a regular file";
    case Error::not_directory: return "not a directory";
    case Error::disk_full: return "disk full";
    case Error::name_too_long: return "name too long";
    case Error::interrupted: return "interrupted";
    case Error::no_memory: return "out of memory";
    case Error::unsupported: return "not supported";
    case Error::is_link: return "is a link";
    case Error::invalid_name: return "invalid path";
    case Error::io: return "input/output error";
  }
  return "unknown error";
}

}  // namespace platform
