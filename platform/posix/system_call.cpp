// POSIX backend. The errno mapping of the platform layer.
#include "system_call.h"

#include <sys/stat.h>

#include "platform/file_system.h"

namespace platform::posix {

Error error_from_errno(int e) {
  switch (e) {
    case 0: return Error::none;
    case ENOENT: return Error::not_found;
    case EACCES:
    case EPERM:
    case EROFS: return Error::access_denied;
    case EEXIST: return Error::already_exists;
    case ENOTEMPTY: return Error::not_empty;
    case EISDIR: return Error::is_directory;
    case ENOTDIR: return Error::not_directory;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return Error::disk_full;
    case ENAMETOOLONG: return Error::name_too_long;
    case EINTR: return Error::interrupted;
    case ENOMEM: return Error::no_memory;
    case ENOSYS:
    case EOPNOTSUPP: return Error::unsupported;
    default: return Error::io;
  }
}

uint32_t attributes_from_mode(unsigned mode) {
  if (S_ISLNK(mode)) return FILE_ATTR_REPARSE_POINT;
  uint32_t a = 0;
  if (S_ISDIR(mode)) a |= FILE_ATTR_DIRECTORY;
  if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) a |= FILE_ATTR_READONLY;
  return a == 0 ? FILE_ATTR_NORMAL : a;
}

}  // namespace platform::posix
