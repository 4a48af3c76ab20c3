// One removal run: the state it carries and the stages in their order under
// the one failure guard.
#pragma once

#include <string>

#include "helper_library.h"
#include "platform/file.h"
#include "progress.h"
#include "uninstall_info.h"
#include "uninstaller_ui.h"

struct RunState {
  bool silent = false;
  platform::File log;       // open when "-log=" named a file that could be created
  bool success = true;      // cleared by a failed stage; gates the self-removal script
  bool info_present = false;
  std::string confirmation_text;
  std::string result_text;
  UninstallInfo info = DefaultUninstallInfo();
  Progress progress;
  HelperLibrary helper;
  UninstallerUi* ui = nullptr;  // the windows of an interactive run
};

// Runs the stages: record check, installation directory check, JVM in use,
// the helper library's part for an integrated product, file count, tree
// removal, start-menu folder, registry. The first failure stops the rest;
// the outcome goes to the result dialog (interactive) or the log (silent).
void RunUninstall(RunState& state);

// Appends a line to the log of a silent run, if one is open.
void WriteLog(RunState& state, const std::string& text);
