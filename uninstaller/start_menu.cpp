// The start-menu folder of the product, through the shell-folder registry value.
#include "start_menu.h"

#include "c_error.h"
#include "path_text.h"
#include "platform/file_system.h"
#include "platform/registry.h"

namespace {

constexpr const char* kShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCommonProgramsValue = "Common Programs";

}  // namespace

std::optional<std::string> StartMenuFolderPath(const std::string& folder) {
  std::string name;
  // "..", "." or an absolute name would point the removal at the start
  // menu itself or elsewhere.
  if (TidyRelativeName(folder, name) != PathText::ok) throw CError(messages::kStartMenuFolderInvalid);

  platform::Registry& registry = platform::registry();
  platform::RegistryKey key;
  if (registry.open_key(registry.root(platform::RegistryRoot::local_machine), kShellFoldersKey,
                        platform::RegistryAccess::read, key) != platform::Error::none)
    return std::nullopt;
  platform::RegistryValue value;
  if (registry.query_value(key, kCommonProgramsValue, value) != platform::Error::none) return std::nullopt;
  if (value.text().empty()) return std::nullopt;
  std::string programs;
  if (TidyAbsolutePath(value.text(), programs) != PathText::ok) throw CError(messages::kStartMenuProgramsRelative);
  const char sep = platform::file_system().path_separator();
  if (programs.back() != sep) programs += sep;
  return programs + name;
}

void RemoveStartMenuFolder(platform::TreeTop& folder, RemovalContext& context) { DeleteTree(folder, context); }
