// Removing the product's registry entries: the Add/Remove Programs key, the
// version key below the vendor key, the rebuilt family key and
// CurrentVersion, and last the .jar association (jar_association.h).
// Everything here is best effort: a failed step does not stop the next,
// but a key that was to go and stays is reported.
#pragma once

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/registry.h"
#include "uninstall_info.h"

// Vendor keys below HKEY_LOCAL_MACHINE, chosen by IsJre.
inline constexpr const char* kJreVendorKey = "SOFTWARE\\Tarvik\\Java Runtime Environment";
inline constexpr const char* kSdkVendorKey = "SOFTWARE\\Tarvik\\Java Development Kit";

// The last removal stage of a run, for the product installed in
// `install_dir` (InstallDir tidied). Every key named for removal that
// stays (a missing one is gone already) is noted in `not_removed` as
// "<key> (<why>)".
void CleanRegistry(const UninstallInfo& info, const std::string& install_dir, std::vector<std::string>& not_removed);

// Rebuilds the family key (for example "1.4") below `vendor_key` as a copy
// of the newest remaining version of that family, and sets the vendor key's
// CurrentVersion, reporting on stderr.
void RepairVersionFamily(const std::string& vendor_key, const std::string& family);

// Deletes `name` below `parent` with all its subkeys, depth first.
platform::Error DeleteKeyTree(const platform::RegistryKey& parent, const std::string& name);

// Copies `source` with its values and subkeys to a key `name` below
// `destination_parent` (created, or merged into when it exists).
platform::Error CopyKeyTree(const platform::RegistryKey& source, const platform::RegistryKey& destination_parent,
                            const std::string& name);
