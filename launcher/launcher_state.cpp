// The process-wide launcher state.
#include "launcher_state.h"

namespace launcher {
namespace {
LauncherState g_state;
}

LauncherState& State() { return g_state; }

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
  s.dots_shown = 0;
  s.arguments.clear();
  s.main_window = nullptr;
}

}  // namespace launcher
