// qelinst: the demo product's installer, started by setupstub from the
// nested archive of the demo payload (where a real payload starts a Java VM).
#include "install_log.h"
#include "installation.h"
#include "installer_options.h"

int main(int argc, char** argv) {
  const qelinst::InstallerOptions options = qelinst::parse_arguments(argc, argv);
  qelinst::InstallLog log(options.log_path);
  return qelinst::run_installation(options, log);
}
