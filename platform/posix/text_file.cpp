// POSIX backend of platform/text_file.h: opens that never follow a final
// symbolic link, and unpredictable exclusive names for generated scripts.
#include "platform/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "platform/file_system.h"
#include "system_call.h"

namespace platform {
namespace {

using posix::error_from_errno;
using posix::retry_on_eintr;

class PosixTextFiles final : public TextFiles {
 public:
  Error create_no_follow(const std::string& path, File& out) override {
    out = File();
    // O_NONBLOCK: a planted FIFO must not hang the open; it is refused below.
    int fd = retry_on_eintr([&] {
      return ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    });
    if (fd < 0) return errno == ELOOP ? Error::access_denied : error_from_errno(errno);
    struct stat st;
    // A second hard link may be a planted name for somebody else's file.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
      ::close(fd);
      return Error::access_denied;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        retry_on_eintr([&] { return ::ftruncate(fd, 0); }) != 0) {
      Error e = error_from_errno(errno);
      ::close(fd);
      return e;
    }
    out = File(native<FileSystem>(), fd);
    return Error::none;
  }

  Error create_unique(const std::string& directory, const std::string& prefix,
                      const std::string& extension, std::string& path, File& out) override {
    out = File();
    std::random_device entropy;
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (int attempt = 0; attempt < 100; ++attempt) {
      char unique[24];
      std::snprintf(unique, sizeof unique, "%08x%08x", static_cast<unsigned>(entropy()),
                    static_cast<unsigned>(entropy()));
      std::string name = dir + prefix + unique + extension;
      int fd = retry_on_eintr([&] {
        return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      });
      if (fd >= 0) {
        out = File(native<FileSystem>(), fd);
        path = std::move(name);
        return Error::none;
      }
      if (errno != EEXIST) return error_from_errno(errno);
    }
    return Error::already_exists;
  }

  std::string_view line_end() const override { return "\n"; }
};

}  // namespace

template <> TextFiles& native<TextFiles>() {
  static PosixTextFiles instance;
  return instance;
}

}  // namespace platform
