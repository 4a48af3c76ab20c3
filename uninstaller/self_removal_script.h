// After a successful removal, the uninstaller's own file, the helper library
// it loaded and the directories left empty go through a script that runs
// once this process has exited.
#pragma once

#include <string>

#include "uninstall_info.h"

// The script's text for the product installed in `install_dir` (the
// resolved directory), the program file `program` and the script's own path
// `script`, with "\n" line ends (text-mode writing adapts them). Lines about
// a path that the script cannot name and that no longer exists are left
// out. False, with `problem` naming the path, when a path that must be
// named cannot be written in a script line.
bool SelfRemovalScriptText(const UninstallInfo& info, const std::string& install_dir, const std::string& program,
                           const std::string& script, std::string& text, std::string& problem);

// Writes the script under a fresh name in the temporary directory and
// starts it. False, with `problem` saying why, when no script was started:
// the program file and the helper library then stay.
bool WriteSelfRemovalScript(const UninstallInfo& info, const std::string& install_dir, std::string& problem);

// Starts `script` through the command interpreter; true when it started.
bool LaunchSelfRemovalScript(const std::string& script);

// The restart of the "-reboot" course: nothing happens when this process
// may not restart the machine.
void RebootSystem();
