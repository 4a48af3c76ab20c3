// Win32 backend of platform/program_arguments.h.
#include "platform/program_arguments.h"

#include "wide_path.h"
#include "windows_fwd.h"
// After windows.h, whose types it uses.
#include <shellapi.h>

namespace platform {

std::vector<std::string> program_arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};  // the C runtime's ANSI split, as before
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(win32::narrow(wide[i]));
  LocalFree(wide);
  return out;
}

}  // namespace platform
