// Entry of the `uninstall` program.
#include <string>
#include <vector>

#include "uninstall_main.h"
#include "uninstaller_dialogs.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  UninstallerDialogs dialogs;
  return UninstallMain(arguments, dialogs);
}
