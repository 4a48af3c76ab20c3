// POSIX backend of platform/private_file.h: O_NOFOLLOW, then fstat on the
// opened descriptor for the type and the owner.
#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

class PosixPrivateFile final : public PrivateFile {
 public:
  Error read_own_file(const std::string& path, std::string& content) override {
    content.clear();
    // O_NONBLOCK: a FIFO planted under the name must not hang the open.
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1) {
      if (errno == ENOENT || errno == ENOTDIR) return Error::not_found;
      return Error::access_denied;  // ELOOP: the name is a symbolic link
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      ::close(fd);
      return Error::access_denied;
    }
    char buffer[8192];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        content.append(buffer, static_cast<size_t>(n));
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        ::close(fd);
        return Error::io;
      }
    }
    ::close(fd);
    return Error::none;
  }
};

}  // namespace

template <> PrivateFile& native<PrivateFile>() {
  static PosixPrivateFile instance;
  return instance;
}

}  // namespace platform
