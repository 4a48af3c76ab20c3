// A probe of the registry store for the uninstaller's kill-and-rerun script:
//   registry_probe check              0 when the store parses, 2 when not
//   registry_probe exists KEY         0 present, 1 missing, 2 store error
//   registry_probe value KEY NAME     prints the value's text; 1 when missing
// KEY starts with its root's name (HKEY_LOCAL_MACHINE\..., HKLM\...).
#include <cstdio>
#include <string>

#include "platform/registry.h"

namespace {

int StoreError(const char* what) {
  std::fprintf(stderr, "registry_probe: %s: %s\n", what, platform::registry().last_error_message().c_str());
  return 2;
}

int Open(const std::string& full, platform::RegistryKey& key) {
  size_t slash = full.find('\\');
  platform::RegistryRoot root;
  if (!platform::parse_registry_root(full.substr(0, slash), root)) return StoreError("no such root");
  std::string path = slash == std::string::npos ? "" : full.substr(slash + 1);
  platform::Registry& reg = platform::registry();
  platform::Error e = reg.open_key(reg.root(root), path, platform::RegistryAccess::read, key);
  if (e == platform::Error::none) return 0;
  if (e == platform::Error::not_found) return 1;
  return StoreError(full.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  platform::RegistryKey key;
  if (command == "check" && argc == 2) {
    // Every root is read, so a damaged store cannot pass unseen.
    for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER"}) {
      int rc = Open(root, key);
      if (rc != 0) return 2;
      std::string name;
      if (platform::registry().enum_subkey(key, 0, name) == platform::Error::io) return StoreError(root);
    }
    return 0;
  }
  if (command == "exists" && argc == 3) return Open(argv[2], key);
  if (command == "value" && argc == 4) {
    int rc = Open(argv[2], key);
    if (rc != 0) return rc;
    platform::RegistryValue value;
    platform::Error e = platform::registry().query_value(key, argv[3], value);
    if (e == platform::Error::not_found) return 1;
    if (e != platform::Error::none) return StoreError(argv[3]);
    std::printf("%s\n", value.text().c_str());
    return 0;
  }
  std::fprintf(stderr, "usage: registry_probe check | exists KEY | value KEY NAME\n");
  return 2;
}
