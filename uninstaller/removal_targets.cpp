// Resolving the run's directories (removal_targets.h).
#include "removal_targets.h"

#include "c_error.h"
#include "install_dir_guard.h"
#include "path_text.h"
#include "start_menu.h"

namespace {

struct Refusals {
  const char* is_link;
  const char* not_directory;
  const char* unreadable;
  const char* protected_directory;
};

constexpr Refusals kInstallDirRefusals = {messages::kInstallDirIsLink, messages::kInstallDirNotDirectory,
                                          messages::kInstallDirUnreadable, messages::kUnsafeInstallDir};
constexpr Refusals kStartMenuRefusals = {messages::kStartMenuIsLink, messages::kStartMenuUnreadable,
                                         messages::kStartMenuUnreadable, messages::kUnsafeStartMenuFolder};

// Opens `path` into `top`; false when it does not exist.
bool Open(const std::string& path, platform::TreeTop& top, const Refusals& refusals) {
  if (IsProtectedDirectory(path)) throw CError(refusals.protected_directory);
  switch (platform::open_tree(path, top)) {
    case platform::Error::none: break;
    case platform::Error::not_found: return false;
    case platform::Error::is_link: throw CError(refusals.is_link);
    case platform::Error::not_directory: throw CError(refusals.not_directory);
    case platform::Error::invalid_name: throw CError(refusals.protected_directory);
    default: throw CError(refusals.unreadable);
  }
  // The links above it resolved, it may turn out to be one of those too.
  if (IsProtectedDirectory(top.path())) throw CError(refusals.protected_directory);
  return true;
}

}  // namespace

RemovalTargets ResolveTargets(const UninstallInfo& info) {
  RemovalTargets targets;
  switch (TidyAbsolutePath(info.InstallDir, targets.install_dir)) {
    case PathText::ok: break;
    case PathText::parent_step: throw CError(messages::kInstallDirParentStep);
    default: throw CError(messages::kInstallDirRelative);
  }
  targets.install_path = Open(targets.install_dir, targets.install, kInstallDirRefusals) ? targets.install.path()
                                                                                           : targets.install_dir;
  if (std::optional<std::string> folder = StartMenuFolderPath(info.StartMenuFolder))
    Open(*folder, targets.start_menu, kStartMenuRefusals);
  return targets;
}
