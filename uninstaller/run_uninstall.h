// One removal run: the state it carries and the stages in their order under
// the one failure guard.
#pragma once

#include <string>
#include <vector>

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
  // The installation directory as resolved by the run (links above it
  // followed once), for the self-removal script.
  std::string install_dir;
  // Every path and registry key that was to go and stays, "<what> (<why>)".
  std::vector<std::string> not_removed;
};

// Runs the stages: record check, the one resolution of the installation
// directory and the start-menu folder (refusing links, roots, homes and
// system directories), JVM in use, the helper library's part for an
// integrated product, file count, tree removal, start-menu folder,
// registry. The first failure stops the rest; the outcome goes to the
// result dialog (interactive) or the log (silent), whose first line is
// followed by every path and key that stayed.
void RunUninstall(RunState& state);

// Appends a line to the log of a silent run, if one is open.
void WriteLog(RunState& state, const std::string& text);

// A path for a line of the log: control characters shown as "^" and the
// character 64 places on ("^J" for a line feed), so that no name can end
// a line or forge one.
std::string LogForm(const std::string& text);
