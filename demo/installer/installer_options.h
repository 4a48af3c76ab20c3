// The demo installer's command line. The launcher builds it: the
// temporary-directory property first, then the user's other -D properties,
// the arguments from AUTORUN.INF, and the user's own options ("-mode=",
// "-log=", "-silent_xml=" with absolute, quoted paths, and anything else,
// which the installer must tolerate).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qelinst {

enum class InstallMode { silent, console, graphical };

struct InstallerOptions {
  InstallMode mode = InstallMode::graphical;
  std::optional<std::string> log_path;
  std::optional<std::string> silent_xml;
  std::optional<std::string> temp_dir;   // from -Djava.io.tmpdir=
  std::string product_dir = "product";   // from -product=, relative to the current directory
  std::optional<std::string> uninstaller;  // from -uninstaller=: the shipped uninstaller to place
  std::vector<std::string> ignored;      // arguments meant for someone else
  std::optional<std::string> error;      // a malformed option of ours
};

InstallerOptions parse_arguments(int argc, const char* const* argv);

const char* mode_name(InstallMode mode);

}  // namespace qelinst
