// Console and silent mode: every stage on the main thread, messages on
// stderr with "**** ", the dots, and key waits in console mode only.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "clean_up.h"
#include "engine_calls.h"
#include "extraction_directory.h"
#include "installer_process.h"
#include "launch_config.h"
#include "launcher_state.h"
#include "platform/console.h"
#include "platform/system_info.h"
#include "run_sequence.h"

namespace launcher {

bool IsIa64Wow64() { return platform::system_info().is_ia64_wow64(); }

void PrintProgressDots(const char*, int percent) {
  LauncherState& s = State();
  for (int i = s.dots_shown; i < percent; ++i) std::fputc('.', stdout);
  s.dots_shown = percent;
  if (percent == 100) s.dots_shown = 0;
}

int RunConsole() {
  LauncherState& s = State();
  platform::console().setup(250, "Qel Installer");
  if (IsIa64Wow64()) {
    std::fputs("ERROR: This Qel installer can not be executed in an IA64 WOW64 environment.\n", stderr);
    std::fflush(stderr);
    if (s.mode != LAUNCH_SILENT) {
      std::fputs("\n...Installation failed. Press any key to close this window...\n", stdout);
      std::fflush(stdout);
      platform::console().wait_key();
    }
    return -1;
  }
  s.progress_display = PrintProgressDots;
  int r = QueryArchive();
  if (r != 0) {
    std::fprintf(stderr, "**** Could not obtain archive information since it is corrupted. Error code = %i\n", r);
  } else if (!PrepareExtractionDirectory()) {
    std::fputs("**** Could not setup the extraction directory.\n", stderr);
  } else {
    std::fputs("Extracting ", stdout);
    r = ExtractArchive();
    if (r != 0) {
      std::fprintf(stderr, "**** Could not extract the archive since it is corrupted. Error code = %i\n", r);
    } else {
      std::fputs(" Done\n", stdout);
      r = ReadLaunchConfig();
      if (r != 0) {
        std::fputs("**** Could not locate the launcher command.\n", stderr);
      } else {
        r = LaunchInstaller();
        if (r == -1) std::fprintf(stderr, "**** Could not launch the installer. Error: %s\n", std::strerror(errno));
      }
    }
  }
  CleanUp();
  if (s.mode != LAUNCH_SILENT) {
    std::fputs("\n...Finish installation. Press any key to close this window...\n", stdout);
    std::fflush(stdout);
    platform::console().wait_key();
  }
  return r;
}

}  // namespace launcher
