// POSIX backend of platform/security.h. Not of the NT family: descriptors
// are parsed and validated by the engine but never applied here.
#include "platform/security.h"

namespace platform {
namespace {

class PosixSecurity final : public Security {
 public:
  bool nt_family() override { return false; }
  Privileges enable_privileges() override { return {}; }
  Error volume_security(const std::string&, const std::string&, VolumeSecurity& out) override {
    out = VolumeSecurity{};  // no POSIX volume keeps NT access control lists
    return Error::none;
  }
  Error apply_descriptor(const std::string&, const uint8_t*, size_t, uint32_t, bool, bool) override {
    return Error::unsupported;
  }
};

}  // namespace

template <> Security& native<Security>() {
  static PosixSecurity instance;
  return instance;
}

}  // namespace platform
