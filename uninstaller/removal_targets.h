// The directories a run removes, each resolved once before anything is
// removed and held open from then on: whatever happens to their paths
// meanwhile, the removal works on these very directories.
#pragma once

#include <string>

#include "platform/tree_removal.h"
#include "uninstall_info.h"

struct RemovalTargets {
  std::string install_dir;   // InstallDir tidied: what the installer registered (jar association)
  std::string install_path;  // the directory itself, links above it resolved (jvm, bin, script)
  platform::TreeTop install;     // open when the directory exists
  platform::TreeTop start_menu;  // open when the folder exists
};

// Tidies and opens InstallDir and the start-menu folder. Throws CError,
// before anything is changed, when InstallDir is not absolute, has a ".."
// step, is a link, a file, a root, home or system directory, or cannot be
// opened, and likewise for the start-menu folder. A missing directory is
// no failure: there is nothing to remove there.
RemovalTargets ResolveTargets(const UninstallInfo& info);
