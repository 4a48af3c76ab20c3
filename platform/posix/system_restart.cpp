// POSIX backend of platform/system_restart.h: a restart only for a process
// that holds CAP_SYS_BOOT, as Windows asks for the shutdown privilege.
#include "platform/system_restart.h"

#include <sys/reboot.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace platform {
namespace {

constexpr int kCapSysBoot = 22;

bool HoldsCapSysBoot() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    uint64_t caps = std::stoull(line.substr(7), nullptr, 16);
    return (caps >> kCapSysBoot) & 1;
  }
  return false;
}

class PosixSystemRestart final : public SystemRestart {
 public:
  bool enable_restart_privilege() override { return HoldsCapSysBoot(); }
  bool restart() override {
    ::sync();
    return ::reboot(RB_AUTOBOOT) == 0;
  }
};

}  // namespace

template <> SystemRestart& native<SystemRestart>() {
  static PosixSystemRestart instance;
  return instance;
}

}  // namespace platform
