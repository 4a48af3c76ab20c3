// The launcher's one process-wide state record and its run mode.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class DialogWindow;
}

namespace launcher {

// The value also indexes the launch keys of AUTORUN.INF.
enum LaunchMode : int32_t { LAUNCH_SILENT = 0, LAUNCH_CONSOLE = 1, LAUNCH_GUI = 2 };

using ProgressDisplay = void (*)(const char* entry_name, int percent);

struct LauncherState {
  LaunchMode mode = LAUNCH_GUI;
  std::optional<std::string> temp_base;
  std::optional<std::string> extraction_dir;
  std::string saved_directory;
  // Sums of uncompressed sizes, in full: payloads and their entries may be
  // larger than 4 GiB.
  uint64_t payload_total = 0;
  uint64_t payload_written = 0;
  uint64_t nested_total = 0;
  // The longest entry name of the payload: the extraction directory must
  // leave room for it within the path limit.
  size_t payload_longest_name = 0;
  // Written once by the dialog's thread, polled by the worker.
  std::atomic<uint8_t> cancel_requested{0};
  ProgressDisplay progress_display = nullptr;
  std::optional<std::string> log_option;
  std::optional<std::string> silent_xml_option;
  std::string launch_command;
  std::string nested_archives;
  std::string nested_target;
  bool nested_enabled = false;
  // The installer was not started because its nested archives could not
  // be extracted (no room, or a target outside the extraction directory).
  bool launch_refused = false;
  int dots_shown = 0;

  // Clean-up: when its shared time for waiting on held files runs out (0
  // until the first wait), and what it had to leave, with the reason.
  uint64_t removal_deadline_ms = 0;
  std::vector<std::pair<std::string, std::string>> left_behind;

  // The launcher's own arguments, argument 0 (the program) included; the
  // installer's command line is built from them.
  std::vector<std::string> arguments;
  // The progress dialog while it runs (graphical mode): the owner of every
  // message box and the target of the worker's requests.
  platform::DialogWindow* main_window = nullptr;
};

LauncherState& State();
// The run is to stop: Cancel was pressed, or an interruption came (a
// signal, a console control event).
bool RunStopped();
// Back to the state at process start (tests run several sequences).
void ResetState();

}  // namespace launcher
