// Who the demo product is: its name, version parts and the names it is
// registered under, shared by the uninstall record and the registry entries
// so that the uninstaller finds exactly what the installer made.
#pragma once

#include <string>

namespace qelinst {

struct ProductIdentity {
  std::string name = "Qel Demo Runtime 1.4.2_03";
  std::string publisher = "Qel Systems";
  std::string major = "1";
  std::string minor = "4";
  std::string micro = "2";
  std::string update = "03";
  std::string full_version = "1.4.2_03";
  bool is_jre = true;
  std::string start_menu_folder = "Qel Demo Runtime 1.4.2_03";
  std::string uninstall_key_name = "Qel Demo Runtime 1.4.2_03";

  std::string family() const { return major + "." + minor; }
  // Below HKEY_LOCAL_MACHINE.
  std::string uninstall_key() const { return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + uninstall_key_name; }
  std::string vendor_key() const {
    return is_jre ? "SOFTWARE\\Tarvik\\Java Runtime Environment" : "SOFTWARE\\Tarvik\\Java Development Kit";
  }
};

}  // namespace qelinst
