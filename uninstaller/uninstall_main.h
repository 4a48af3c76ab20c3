// The uninstaller's start-up: the command line and its four courses (pause,
// restart, silent removal, interactive removal).
#pragma once

#include <string>
#include <vector>

#include "uninstaller_ui.h"

// The process exit status, so that a script running "uninstall -silent"
// can tell what happened without reading the log.
enum UninstallExit : int {
  kExitRemoved = 0,       // everything named was removed (the program file goes with the script)
  kExitFailed = 1,        // a stage failed; the log or the result says why
  kExitIncomplete = 2,    // the removal ran, but paths or keys stayed (the log lists them)
  kExitScriptFailed = 3,  // the self-removal script was not started: the program file stays
  kExitNoUser = 4,        // an interactive run with no terminal or desktop to ask on
  kExitCancelled = 5,     // the confirmation was cancelled
};

// Runs the program for `arguments` (argument 0 is the program) and answers
// its exit status. The pause and restart courses answer 0.
int UninstallMain(const std::vector<std::string>& arguments, UninstallerUi& ui);
