// The private registry of a test on Win32: only a scratch registry (the
// test's own Wine prefix, announced by QEL_REGISTRY_TEST_SCRATCH=1), since
// the tests delete the product's keys and the .jar association. The keys
// the tests use are cleared before each test.
#include <string>

#include "platform/environment.h"
#include "registry_cleanup.h"
#include "registry_fixture.h"

namespace {

void Clear(platform::RegistryRoot root, const std::string& parent, const std::string& name) {
  platform::Registry& reg = platform::registry();
  platform::RegistryKey key;
  if (reg.open_key(reg.root(root), parent, platform::RegistryAccess::all, key) == platform::Error::none)
    DeleteKeyTree(key, name);
}

}  // namespace

bool OpenPrivateRegistry(std::string& reason) {
  if (platform::environment().get("QEL_REGISTRY_TEST_SCRATCH").value_or("") != "1") {
    reason = "not a scratch registry (run through ctest, which gives the tests a Wine prefix of their own)";
    return false;
  }
  using platform::RegistryRoot;
  Clear(RegistryRoot::local_machine, "SOFTWARE", "Qel Registry Test");
  Clear(RegistryRoot::local_machine, "SOFTWARE", "Tarvik");
  Clear(RegistryRoot::local_machine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "Qel JRE 1.4.2_02");
  Clear(RegistryRoot::local_machine, "", "Qel JRE 1.4.2_02");
  Clear(RegistryRoot::classes_root, "", ".jar");
  Clear(RegistryRoot::classes_root, "", "jarfile");
  return true;
}

void ClosePrivateRegistry() {}
