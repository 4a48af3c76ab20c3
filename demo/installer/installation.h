// The demo installer's run: choose the installation directory (answer file,
// question, or default), copy the product there, and leave the scratch
// directory to the launcher's clean-up. Answers the process exit code.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "install_log.h"
#include "installer_options.h"

namespace qelinst {

// Where an installation goes when nobody said: the Program Files folder
// when the system has one, else ~/.local/opt/qel-demo; none when neither
// can be found.
std::optional<std::filesystem::path> default_install_dir();

int run_installation(const InstallerOptions& options, InstallLog& log);

}  // namespace qelinst
