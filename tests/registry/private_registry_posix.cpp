// The private registry of a test on POSIX: a store file in a fresh
// temporary directory, named by QEL_REGISTRY, removed afterwards.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "registry_fixture.h"

namespace {
std::string g_dir;
}

std::string PrivateRegistryFile() { return g_dir + "/registry.reg"; }

bool OpenPrivateRegistry(std::string& reason) {
  char pattern[] = "/tmp/qel-registry-test-XXXXXX";
  if (!::mkdtemp(pattern)) {
    reason = "cannot create a temporary directory";
    return false;
  }
  g_dir = pattern;
  ::setenv("QEL_REGISTRY", PrivateRegistryFile().c_str(), 1);
  return true;
}

void ClosePrivateRegistry() {
  ::unsetenv("QEL_REGISTRY");
  std::error_code ec;
  if (!g_dir.empty()) std::filesystem::remove_all(g_dir, ec);
  g_dir.clear();
}
