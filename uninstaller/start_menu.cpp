// The start-menu folder of the product, through the shell-folder registry value.
#include "start_menu.h"

#include "platform/file_system.h"
#include "platform/registry.h"

namespace {

constexpr const char* kShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCommonProgramsValue = "Common Programs";

// ".." or "." as a component would point the removal at the start menu
// itself or above it.
bool StaysInside(const std::string& folder) {
  size_t start = 0;
  while (start <= folder.size()) {
    size_t end = folder.find_first_of("/\\", start);
    if (end == std::string::npos) end = folder.size();
    std::string_view part(folder.data() + start, end - start);
    if (part == "." || part == "..") return false;
    start = end + 1;
  }
  return !folder.empty();
}

}  // namespace

void RemoveStartMenuFolder(const std::string& folder, RemovalContext& context) {
  if (!StaysInside(folder)) return;
  std::u16string name = WidePath(folder);

  platform::Registry& registry = platform::registry();
  platform::RegistryKey key;
  if (registry.open_key(registry.root(platform::RegistryRoot::local_machine), kShellFoldersKey,
                        platform::RegistryAccess::read, key) != platform::Error::none)
    return;
  platform::RegistryValue value;
  if (registry.query_value(key, kCommonProgramsValue, value) != platform::Error::none) return;
  std::string programs = value.text();
  if (programs.empty()) return;

  std::u16string path = WidePath(programs);
  path += static_cast<char16_t>(platform::file_system().path_separator());
  path += name;
  DeleteTree(path, context);
}
