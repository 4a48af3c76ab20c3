// Fuzz target: whole archives through zipengine_run in test mode (every
// entry decoded and its CRC checked, nothing written), with a password
// callback that answers, so encrypted entries are decoded too. The input is
// written to a file of its own because the engine reads archives by path.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "zipengine/zipengine.h"

namespace {

int quiet_print(const char*, uint32_t) { return 0; }
int never_replace(char*) { return REPLACE_NO; }
int give_password(char* buffer, int size, const char*, const char*) {
  std::snprintf(buffer, static_cast<size_t>(size), "secret");
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/qel_fuzz_archive_" + std::to_string(::getpid()) + ".zip";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  EngineOptions options{};
  options.test_only = 1;
  options.quiet_level = 0;
  options.keep_paths = 1;
  options.archive_path = path.c_str();
  EngineCallbacks callbacks{};
  callbacks.print = quiet_print;
  callbacks.replace = never_replace;
  callbacks.password = give_password;
  zipengine_run(0, nullptr, 0, nullptr, &options, &callbacks);
  return 0;
}
