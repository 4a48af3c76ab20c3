// The uninstaller's start-up: the command line and its four courses (pause,
// restart, silent removal, interactive removal).
#pragma once

#include <string>
#include <vector>

#include "uninstaller_ui.h"

// Runs the program for `arguments` (argument 0 is the program). The exit
// status carries no outcome: always 0.
int UninstallMain(const std::vector<std::string>& arguments, UninstallerUi& ui);
