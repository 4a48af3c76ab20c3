// Start-up: read the command line, then run the console sequence or the
// progress dialog. The process exits with the answer.
#include <cstdio>

#include "command_line.h"
#include "launcher_state.h"
#include "platform/dialogs.h"
#include "platform/interruption.h"
#include "run_sequence.h"

namespace launcher {
namespace {

// Said on stderr (for a start from a command prompt, where a box may not
// come up either) and in a box where the system can still show one.
constexpr char kNoDialog[] =
    "Could not show the installer window. Without a display, start the installer with -mode=console or "
    "-mode=silent.";

}  // namespace

int LauncherMain(const std::vector<std::string>& args) {
  if (!ParseCommandLine(args)) return RunConsole();
  if (IsIa64Wow64()) {
    platform::MessageBoxRequest request;
    request.text = "This Qel installer can not be executed in an IA64 WOW64 environment.";
    request.icon = platform::MessageIcon::error;
    platform::dialogs().message_box(nullptr, request);
    return -1;
  }
  // The dialog's own end result does not become the exit code; but a
  // dialog that never came up ran nothing, and must not look like success.
  // An interruption ends the process only once the dialog is closed, so
  // that the terminal of the POSIX text dialog is left as it was found.
  platform::interruptions().catch_interruptions();
  const int result = RunProgressDialog();
  platform::interruptions().release();
  if (result == platform::DIALOG_FAILED) {
    std::fprintf(stderr, "**** %s\n", kNoDialog);
    std::fflush(stderr);
    platform::MessageBoxRequest request;
    request.text = kNoDialog;
    request.title = "ERROR";
    platform::dialogs().message_box(nullptr, request);
    return -1;
  }
  return 0;
}

}  // namespace launcher
