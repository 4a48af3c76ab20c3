// Command line and the course of a run.
#include "uninstall_main.h"

#include <cctype>
#include <cstdio>

#include "platform/clock.h"
#include "platform/text_file.h"
#include "run_uninstall.h"
#include "self_removal_script.h"

namespace {

constexpr uint32_t kSleepCourseMs = 500;
constexpr uint32_t kRebootDelayMs = 15000;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

int UninstallMain(const std::vector<std::string>& arguments, UninstallerUi& ui) {
  if (arguments.size() > 1 && arguments[1] == "-sleep") {
    platform::monotonic_clock().sleep_ms(kSleepCourseMs);
    return 0;
  }
  if (arguments.size() > 1 && arguments[1] == "-reboot") {
    platform::monotonic_clock().sleep_ms(kRebootDelayMs);
    RebootSystem();
    return 0;
  }

  RunState state;
  state.ui = &ui;
  state.progress.ui = &ui;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (EqualsIgnoringCase(argument, "-silent")) {
      state.silent = true;
    } else if (argument.size() >= 5 && EqualsIgnoringCase(std::string_view(argument).substr(0, 5), "-log=")) {
      // Each one creates (or empties) its file; the last one opened is the log.
      platform::File file;
      if (platform::text_files().create_no_follow(argument.substr(5), file) == platform::Error::none)
        state.log = std::move(file);
    }
  }

  state.info_present = ReadUninstallInfo(state.info);
  state.confirmation_text =
      "Do you want to uninstall " + state.info.ProductName + " installed at " + state.info.InstallDir + "?";
  state.result_text = state.info.ProductName + " has been successfully uninstalled.";

  if (!state.silent) {
    switch (ui.Confirm(state.confirmation_text)) {
      case Confirmation::ok: break;
      case Confirmation::cancelled: return kExitCancelled;
      case Confirmation::unavailable:
        // Nobody could answer the question; waiting for an answer would
        // hang whatever started this without a terminal.
        std::fputs("uninstall: no terminal or desktop to ask on, nothing was removed (use -silent)\n", stderr);
        return kExitNoUser;
    }
  }
  RunUninstall(state);
  int status = !state.success ? kExitFailed : !state.not_removed.empty() ? kExitIncomplete : kExitRemoved;
  std::string problem;
  if (state.success && !WriteSelfRemovalScript(state.info, state.install_dir, problem)) {
    std::string line = "The self-removal script was not started: " + LogForm(problem) + "\n";
    if (state.silent) {
      WriteLog(state, line);
    } else {
      std::fputs(("uninstall: " + line).c_str(), stderr);
    }
    if (status == kExitRemoved) status = kExitScriptFailed;
  }
  state.log.close();
  return status;
}
