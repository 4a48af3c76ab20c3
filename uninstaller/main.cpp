// Entry of the `uninstall` program.
#include <string>
#include <vector>

#include "platform/program_arguments.h"
#include "uninstall_main.h"
#include "uninstaller_dialogs.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments = platform::program_arguments(argc, argv);
  UninstallerDialogs dialogs;
  return UninstallMain(arguments, dialogs);
}
