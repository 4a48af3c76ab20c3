// The process-wide launcher state.
#include "launcher_state.h"

#include "platform/interruption.h"

namespace launcher {
namespace {
LauncherState g_state;
}

LauncherState& State() { return g_state; }

bool RunStopped() { return g_state.cancel_requested != 0 || platform::interruptions().interrupted(); }

void ResetState() {
  LauncherState& s = g_state;
  s.mode = LAUNCH_GUI;
  s.temp_base.reset();
  s.extraction_dir.reset();
  s.saved_directory.clear();
  s.payload_total = 0;
  s.payload_written = 0;
  s.nested_total = 0;
  s.cancel_requested = 0;
  s.progress_display = nullptr;
  s.log_option.reset();
  s.silent_xml_option.reset();
  s.launch_command.clear();
  s.nested_archives.clear();
  s.nested_target.clear();
  s.nested_enabled = false;
  s.launch_refused = false;
  s.payload_longest_name = 0;
  s.dots_shown = 0;
  s.removal_deadline_ms = 0;
  s.left_behind.clear();
  s.arguments.clear();
  s.main_window = nullptr;
}

}  // namespace launcher
