// After a successful removal, the uninstaller's own file, the helper library
// it loaded and the directories left empty go through a script that runs
// once this process has exited.
#pragma once

#include <string>

#include "uninstall_info.h"

// The script's text for the program file `program` and the script's own
// path `script`, with "\n" line ends (text-mode writing adapts them).
std::string SelfRemovalScriptText(const UninstallInfo& info, const std::string& program,
                                  const std::string& script);

// Writes the script under a fresh name in the temporary directory and
// starts it. Silent about every failure.
void WriteSelfRemovalScript(const UninstallInfo& info);

// Starts `script` through the command interpreter; true when it started.
bool LaunchSelfRemovalScript(const std::string& script);

// The restart of the "-reboot" course: nothing happens when this process
// may not restart the machine.
void RebootSystem();
