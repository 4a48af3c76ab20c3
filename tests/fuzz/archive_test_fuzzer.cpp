// Fuzz target: whole archives through zipengine_run in test mode (every
// entry decoded and its CRC checked, nothing written), with a password
// callback that answers, so encrypted entries are decoded too. The input is
// written to a file of its own because the engine reads archives by path.
// Each archive is tested twice, on the calling thread alone and with the
// worker that decodes ahead: what the caller hears must be the same.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "decode_ahead.h"
#include "zipengine/zipengine.h"

namespace {

std::string g_heard;

int quiet_print(const char* text, uint32_t length) {
  g_heard.append(text, length);
  return 0;
}
int note_progress(const char* name, int stage, uint32_t value) {
  g_heard += "\n[" + std::string(name ? name : "") + " " + std::to_string(stage) + " " + std::to_string(value) + "]\n";
  return 0;
}
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
  callbacks.progress = note_progress;
  std::string heard[2];
  int result[2];
  for (int k = 0; k < 2; ++k) {
    set_decode_ahead_mode(k == 0 ? decode_ahead_mode::never : decode_ahead_mode::always);
    g_heard.clear();
    result[k] = zipengine_run(0, nullptr, 0, nullptr, &options, &callbacks);
    heard[k].swap(g_heard);
  }
  if (result[0] != result[1] || heard[0] != heard[1]) __builtin_trap();
  return 0;
}
