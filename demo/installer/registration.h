// Makes the installed product removable: a copy of the uninstaller with the
// uninstall record appended, the Add/Remove Programs entry, the vendor's
// version and family keys with CurrentVersion, a start-menu folder under the
// "Common Programs" shell folder, and the .jar association. Everything is
// undone again when a later step fails, so a failed registration leaves the
// registry as it was.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "install_log.h"
#include "product_identity.h"

namespace qelinst {

struct RegistrationOptions {
  std::filesystem::path uninstaller;  // the shipped program, from the payload
  std::filesystem::path target;       // the installation directory
  // Where the start-menu folder goes when the system names no "Common
  // Programs" folder (none: a folder in the user's data directory).
  std::optional<std::filesystem::path> programs_folder;
};

// The uninstall record's text must survive the reader's comma splitting;
// an empty text when it does, else why not. Checked before anything is copied.
std::string record_problem(const ProductIdentity& id, const std::filesystem::path& target);

class Registration {
 public:
  Registration(const ProductIdentity& id, InstallLog& log) : id_(id), log_(log) {}
  // Undoes every step unless commit() was called.
  ~Registration();
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  // Throws InstallError(EXIT_REGISTRATION_FAILED) with the step that failed.
  void run(const RegistrationOptions& options);
  void commit() { undo_.clear(); }

 private:
  const ProductIdentity& id_;
  InstallLog& log_;
  std::vector<std::function<void()>> undo_;  // in the order the steps were done

  void place_uninstaller(const RegistrationOptions& o, const std::filesystem::path& placed);
  void register_uninstall_entry(const RegistrationOptions& o, const std::filesystem::path& placed);
  void register_version(const RegistrationOptions& o);
  void make_start_menu_folder(const RegistrationOptions& o);
  void associate_jar_files(const RegistrationOptions& o);
};

}  // namespace qelinst
