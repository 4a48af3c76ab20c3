// Registry clean-up of a removal (registry_cleanup.h).
#include "registry_cleanup.h"

#include <cstdio>
#include <optional>

#include "jar_association.h"

namespace {

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

platform::Registry& Reg() { return platform::registry(); }
RegistryKey LocalMachine() { return Reg().root(platform::RegistryRoot::local_machine); }

// The first `n` bytes of `text` (all of it when shorter).
std::string Prefix(const std::string& text, size_t n) { return text.substr(0, n); }

}  // namespace

void CleanRegistry(const UninstallInfo& info, const std::string& install_dir, std::vector<std::string>& not_removed) {
  auto note = [&](const std::string& key, Error e) {
    if (e != Error::none && e != Error::not_found)
      not_removed.push_back("HKEY_LOCAL_MACHINE\\" + key + " (" + platform::error_text(e) + ")");
  };
  // The key path after the root's name; whatever root the record names, the
  // entry lives below HKEY_LOCAL_MACHINE. A key without a root part names
  // nothing we may delete.
  size_t slash = info.UninstallKey.find('\\');
  if (slash != std::string::npos && slash + 1 < info.UninstallKey.size()) {
    const std::string key = info.UninstallKey.substr(slash + 1);
    note(key, Reg().delete_key(LocalMachine(), key));
  }

  if (!info.Integrated) {
    const std::string vendor = info.IsJre ? kJreVendorKey : kSdkVendorKey;
    // The whole version key goes, subkeys included (installers put an MSI
    // subkey below it): left behind, it would still claim the removed
    // version and be chosen as the newest of its family. Only a plain key
    // name is taken, so a damaged field can never widen this to the vendor
    // key.
    if (!info.FullVersion.empty() && info.FullVersion.find('\\') == std::string::npos) {
      RegistryKey vendor_key;
      if (Reg().open_key(LocalMachine(), vendor, RegistryAccess::all, vendor_key) == Error::none)
        note(vendor + "\\" + info.FullVersion, DeleteKeyTree(vendor_key, info.FullVersion));
    }
    RepairVersionFamily(vendor, info.VersionMajor + "." + info.VersionMinor);
    // Refused while other versions remain below it, which is as it should be.
    Reg().delete_key(LocalMachine(), vendor);
  }

  RemoveJarAssociation(install_dir, not_removed);
}

void RepairVersionFamily(const std::string& vendor_key, const std::string& family) {
  std::string current = "0.0";
  bool found = false;
  std::optional<std::string> best;
  const size_t length = family.size();

  RegistryKey vendor;
  if (Reg().open_key(LocalMachine(), vendor_key, RegistryAccess::all, vendor) != Error::none) return;
  DeleteKeyTree(vendor, family);

  RegistryKey listing;
  if (Reg().open_key(LocalMachine(), vendor_key, RegistryAccess::read, listing) != Error::none) return;
  std::string name;
  for (uint32_t index = 0;; ++index) {
    Error e = Reg().enum_subkey(listing, index, name);
    // A name that does not fit is skipped; any other failure ends the
    // listing, since it would recur at every index that follows.
    if (e == Error::name_too_long) continue;
    if (e != Error::none) break;
    // CurrentVersion ends as the family of the last name in enumeration
    // order, which is the highest one.
    if (Prefix(name, length) != Prefix(current, length)) {
      current = Prefix(name, length);
      found = true;
    }
    if (Prefix(name, length) == family && (!best || name > *best)) best = name;
  }

  if (best) {
    RegistryKey newest;
    if (Reg().open_key(listing, *best, RegistryAccess::read, newest) != Error::none) return;
    CopyKeyTree(newest, vendor, family);
  }

  if (found) {
    std::fprintf(stderr, "setting currentversion %s\n", current.c_str());
    std::fflush(stderr);
    bool set = Reg().set_value(vendor, "CurrentVersion", RegistryValue::string(current)) == Error::none;
    std::fputs(set ? "setting successfully\n" : "setting failed\n", stderr);
    std::fflush(stderr);
  }
}

Error DeleteKeyTree(const RegistryKey& parent, const std::string& name) {
  RegistryKey key;
  if (Error e = Reg().open_key(parent, name, RegistryAccess::all, key); e != Error::none) return e;
  std::string child;
  for (;;) {
    Error e = Reg().enum_subkey(key, 0, child);
    if (e == Error::not_found) break;
    if (e != Error::none) return e;
    if (Error d = DeleteKeyTree(key, child); d != Error::none) return d;
  }
  key.close();
  return Reg().delete_key(parent, name);
}

Error CopyKeyTree(const RegistryKey& source, const RegistryKey& destination_parent, const std::string& name) {
  RegistryKey copy;
  bool created = false;
  if (Error e = Reg().create_key(destination_parent, name, RegistryAccess::all, copy, created); e != Error::none)
    return e;

  std::string item;
  RegistryValue value;
  for (uint32_t index = 0;; ++index) {
    Error e = Reg().enum_value(source, index, item, value);
    if (e == Error::not_found) break;
    if (e != Error::none) return e;
    if (Error s = Reg().set_value(copy, item, value); s != Error::none) return s;
  }

  for (uint32_t index = 0;; ++index) {
    Error e = Reg().enum_subkey(source, index, item);
    if (e == Error::not_found) return Error::none;
    if (e != Error::none) return e;
    RegistryKey child;
    if (Error o = Reg().open_key(source, item, RegistryAccess::all, child); o != Error::none) return o;
    if (Error c = CopyKeyTree(child, copy, item); c != Error::none) return c;
  }
}
