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
#include "platform/interruption.h"
#include "platform/system_info.h"
#include "run_sequence.h"

namespace launcher {

bool IsIa64Wow64() { return platform::system_info().is_ia64_wow64(); }

std::string FormatCode(const char* format, int code) {
  char text[1024];
  std::snprintf(text, sizeof text, format, code);
  return text;
}

void PrintProgressDots(const char*, int percent) {
  LauncherState& s = State();
  for (int i = s.dots_shown; i < percent; ++i) std::fputc('.', stdout);
  s.dots_shown = percent;
  if (percent == 100) s.dots_shown = 0;
}

int RunConsole() {
  LauncherState& s = State();
  platform::console().setup(250, "Qel Installer");
  platform::interruptions().catch_interruptions();
  if (IsIa64Wow64()) {
    std::fputs("ERROR: This Qel installer can not be executed in an IA64 WOW64 environment.\n", stderr);
    std::fflush(stderr);
    platform::interruptions().release();
    if (s.mode != LAUNCH_SILENT) {
      std::fputs("\n...Installation failed. Press any key to close this window...\n", stdout);
      std::fflush(stdout);
      platform::console().wait_key();
    }
    return -1;
  }
  const bool silent = s.mode == LAUNCH_SILENT;
  // After an interruption every failure is its consequence: the
  // interruption is said, once, instead of a reason that would mislead.
  bool told_interrupted = false;
  auto tell_interrupted = [&] {
    if (told_interrupted || !platform::interruptions().interrupted()) return;
    std::fprintf(stderr, "**** %s\n", kInterrupted);
    told_interrupted = true;
  };
  auto fail = [&](const std::string& text) {
    if (platform::interruptions().interrupted()) return tell_interrupted();
    std::fprintf(stderr, "**** %s\n", text.c_str());
  };
  s.progress_display = PrintProgressDots;
  int r = QueryArchive();
  if (r != 0) {
    fail(OwnPathTooLong() ? kOwnPathTooLong : FormatCode(kQueryFailed, r));
  } else if (!PrepareExtractionDirectory()) {
    fail("Could not setup the extraction directory.");
    if (silent) r = kSilentNoExtractionDirectory;
  } else {
    std::fputs("Extracting ", stdout);
    r = ExtractArchive();
    if (r != 0) {
      fail(FormatCode(kExtractionFailed, r));
    } else {
      std::fputs(" Done\n", stdout);
      r = ReadLaunchConfig();
      if (r != 0) {
        fail("Could not locate the launcher command.");
      } else {
        r = LaunchInstaller();
        if (r == -1) {
          fail(std::string("Could not launch the installer. Error: ") + std::strerror(errno));
        } else if (silent && s.launch_refused) {
          r = kSilentInstallerNotStarted;
        }
      }
    }
  }
  tell_interrupted();  // also after an installer that ran to its end
  CleanUp();
  // After an interruption this ends the process: no key wait then.
  const bool interrupted = platform::interruptions().interrupted();
  platform::interruptions().release();
  if (!silent && !interrupted) {
    std::fputs("\n...Finish installation. Press any key to close this window...\n", stdout);
    std::fflush(stdout);
    platform::console().wait_key();
  }
  return r;
}

}  // namespace launcher
