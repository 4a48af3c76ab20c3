// Fuzz target: AUTORUN.INF as the launcher reads it from the extraction
// directory (the first 4,096 bytes, up to a NUL, each key's value up to the
// next carriage return), for the mode the first byte picks. The launcher's
// reading and the packer's check of it must agree on every key, and a
// command the launcher accepts is never blank.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "autorun_check.h"
#include "launch_config.h"
#include "launcher_state.h"

namespace {

// A working directory of our own, where AUTORUN.INF is written.
const bool g_in_scratch = [] {
  char name[] = "/tmp/qel_fuzz_autorun.XXXXXX";
  return ::mkdtemp(name) && ::chdir(name) == 0;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_in_scratch || size < 1) return 0;
  const std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::ofstream("AUTORUN.INF", std::ios::binary | std::ios::trunc) << file;

  launcher::ResetState();
  launcher::State().mode = static_cast<launcher::LaunchMode>(data[0] % 3);
  const int r = launcher::ReadLaunchConfig();
  const launcher::LauncherState& s = launcher::State();

  const std::string_view view = sfxpack::launcher_view(file);
  for (const char* key : {"SILENT=", "CONSOLE=", "OPEN=", "UNZIP=", "UNZIPTO="}) {
    if (launcher::FindKeyValue(view, key) != sfxpack::find_launch_key(view, key)) __builtin_trap();
  }
  const char* keys[] = {"SILENT=", "CONSOLE=", "OPEN="};
  const auto command = launcher::FindKeyValue(view, keys[data[0] % 3]);
  if (r == 0) {
    if (!command || *command != s.launch_command) __builtin_trap();
    if (s.launch_command.find_first_not_of(" \t") == std::string::npos) __builtin_trap();
    if (s.launch_command.find('\r') != std::string::npos) __builtin_trap();
  } else if (r != -1) {
    __builtin_trap();
  }
  if (s.nested_enabled && (!launcher::FindKeyValue(view, "UNZIP=") || !launcher::FindKeyValue(view, "UNZIPTO=")))
    __builtin_trap();
  sfxpack::check_autorun(file, [](const std::string&) { return true; });
  return 0;
}
