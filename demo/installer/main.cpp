// qelinst: the demo product's installer, started by setupstub from the
// nested archive of the demo payload (where a real payload starts a Java VM).
#include "install_log.h"
#include "installation.h"
#include "installer_options.h"
#include "platform/program_arguments.h"

int main(int argc, char** argv) {
  // Paths arrive in UTF-8, the form every path of the installer takes.
  platform::ArgumentVector arguments(argc, argv);
  const qelinst::InstallerOptions options = qelinst::parse_arguments(arguments.argc(), arguments.argv());
  qelinst::InstallLog log(options.log_path);
  return qelinst::run_installation(options, log);
}
