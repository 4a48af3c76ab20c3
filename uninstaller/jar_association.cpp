// Removal of the .jar association (jar_association.h).
#include "jar_association.h"

#include "platform/file_system.h"
#include "platform/registry.h"

namespace {

constexpr const char* kJarCommandKey = "jarfile\\shell\\open\\command";
constexpr const char* kAssociationKeys[] = {"jarfile\\shell\\open\\command", "jarfile\\shell\\open",
                                            "jarfile\\shell", "jarfile", ".jar"};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string ProductJavawCommand(const std::string& install_dir) {
  const char sep = platform::file_system().path_separator();
  return "\"" + install_dir + sep + "bin" + sep + "javaw.exe\"";
}

void RemoveJarAssociation(const std::string& install_dir, std::vector<std::string>& not_removed) {
  platform::Registry& reg = platform::registry();
  platform::RegistryKey classes = reg.root(platform::RegistryRoot::classes_root);
  platform::RegistryKey command_key;
  if (reg.open_key(classes, kJarCommandKey, platform::RegistryAccess::read, command_key) != platform::Error::none)
    return;
  platform::RegistryValue value;
  if (reg.query_value(command_key, "", value) != platform::Error::none) return;
  const std::string command = value.text();

  // The program part is compared whole, so that a product installed in a
  // directory with blanks in its name ("C:\Program Files\...") still loses
  // its association; the blank that must follow keeps a bare program path,
  // or a longer one that merely starts the same, from matching.
  const std::string expected = ProductJavawCommand(install_dir);
  if (command.size() <= expected.size() || command[expected.size()] != ' ' ||
      !EqualIgnoringCase(std::string_view(command).substr(0, expected.size()), expected))
    return;
  command_key.close();
  for (const char* key : kAssociationKeys) {
    platform::Error e = reg.delete_key(classes, key);
    if (e != platform::Error::none && e != platform::Error::not_found)
      not_removed.push_back(std::string("HKEY_CLASSES_ROOT\\") + key + " (" + platform::error_text(e) + ")");
  }
}
