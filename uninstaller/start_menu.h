// The product's folder in the all-users start menu: "<Common Programs>\<folder>",
// where Common Programs is read from the Explorer shell-folder key below
// HKEY_LOCAL_MACHINE.
#pragma once

#include <optional>
#include <string>

#include "file_tree.h"

// The folder's path, or nothing when the key or the value is missing (then
// there is nothing to remove). Throws CError when the folder name is not a
// plain name below the programs folder, or the programs folder is not an
// absolute path.
std::optional<std::string> StartMenuFolderPath(const std::string& folder);

// Removes the opened folder with its contents, like the installation tree.
void RemoveStartMenuFolder(platform::TreeTop& folder, RemovalContext& context);
