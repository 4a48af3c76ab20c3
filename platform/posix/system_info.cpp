// POSIX backend of platform/system_info.h. There is no WOW64 here.
#include "platform/system_info.h"

namespace platform {
namespace {

class PosixSystemInfo final : public SystemInfo {
 public:
  bool is_ia64_wow64() override { return false; }
};

}  // namespace

template <> SystemInfo& native<SystemInfo>() {
  static PosixSystemInfo instance;
  return instance;
}

}  // namespace platform
