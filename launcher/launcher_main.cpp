// Start-up: read the command line, then run the console sequence or the
// progress dialog. The process exits with the answer.
#include "command_line.h"
#include "launcher_state.h"
#include "platform/dialogs.h"
#include "run_sequence.h"

namespace launcher {

int LauncherMain(const std::vector<std::string>& args) {
  if (!ParseCommandLine(args)) return RunConsole();
  if (IsIa64Wow64()) {
    platform::MessageBoxRequest request;
    request.text = "This Qel installer can not be executed in an IA64 WOW64 environment.";
    request.icon = platform::MessageIcon::error;
    platform::dialogs().message_box(nullptr, request);
    return -1;
  }
  // The dialog's own end result does not become the exit code.
  RunProgressDialog();
  return 0;
}

}  // namespace launcher
