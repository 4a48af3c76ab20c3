// Removing the product's folder from the all-users start menu.
#pragma once

#include <string>

#include "file_tree.h"

// Removes "<Common Programs>\<folder>", where Common Programs is read from
// the Explorer shell-folder key below HKEY_LOCAL_MACHINE. Best effort:
// a missing key, value or folder does nothing. A folder name that climbs
// out of the programs folder ("..") is not touched.
void RemoveStartMenuFolder(const std::string& folder, RemovalContext& context);
