// POSIX backend of platform/executable_mark.h.
#include "platform/executable_mark.h"

#include <sys/stat.h>

namespace platform {
namespace {

class PosixExecutableMark final : public ExecutableMark {
 public:
  bool is_marked_executable(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & S_IXUSR) != 0;
  }
};

}  // namespace

template <> ExecutableMark& native<ExecutableMark>() {
  static PosixExecutableMark instance;
  return instance;
}

}  // namespace platform
