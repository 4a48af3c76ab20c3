// Test support for the engine: the recording callbacks and process helpers.
#include "engine_harness.h"

#include <cstdlib>
#include <cstring>

namespace engine_test {

engine_record*& current_record() {
  static engine_record* r = nullptr;
  return r;
}
engine_answers*& current_answers() {
  static engine_answers* a = nullptr;
  return a;
}

int record_print(const char* text, uint32_t length) {
  if (engine_record* r = current_record()) {
    r->text.append(text, length);
    r->prints.emplace_back(text, length);
  }
  return static_cast<int>(length);
}

void record_sound() {
  if (engine_record* r = current_record()) ++r->sounds;
}

int record_replace(char* name) {
  engine_record* r = current_record();
  engine_answers* a = current_answers();
  if (r) r->replace_names.push_back(name);
  if (!a) return 0;
  size_t asked = r ? r->replace_names.size() - 1 : 0;
  int answer = asked < a->replace.size() ? a->replace[asked] : a->replace_default;
  if (answer == REPLACE_RENAME && !a->rename_to.empty()) {
    std::string n = a->rename_to.front();
    a->rename_to.erase(a->rename_to.begin());
    std::snprintf(name, ZIPENGINE_NAME_SIZE, "%s", n.c_str());
  }
  return answer;
}

int record_password(char* buffer, int size, const char* prompt, const char* entry) {
  engine_record* r = current_record();
  engine_answers* a = current_answers();
  if (r) r->password_prompts.push_back(std::string(prompt) + entry);
  if (!a || a->passwords.empty()) return -1;
  std::snprintf(buffer, static_cast<size_t>(size), "%s", a->passwords.front().c_str());
  a->passwords.erase(a->passwords.begin());
  return 0;
}

void record_list(uint32_t u, uint32_t c, int ratio, int d1, int d2, int d3, int hour, int minute, char case_mark,
                 const char* name, const char* method, uint32_t crc, char enc) {
  if (engine_record* r = current_record())
    r->listed.push_back({u, c, ratio, d1, d2, d3, hour, minute, case_mark, name, method, crc, enc});
}

int record_progress(const char* name, int stage, uint32_t value) {
  engine_record* r = current_record();
  engine_answers* a = current_answers();
  if (r) r->progress.push_back({name ? name : "", stage, value});
  if (a && a->cancel_at_stage == stage) {
    if (a->cancel_after <= 0) return 1;
    --a->cancel_after;
  }
  return 0;
}

int run_command(const std::string& command_line) {
  std::fflush(stdout);
  int status = std::system(command_line.c_str());
  if (status == -1) return -1;
  // POSIX shells report a wait status (the exit code in the second byte),
  // cmd.exe the exit code itself; ours are all below 256.
  return (status & 0xFF) == 0 ? status >> 8 : status;
}

bool have_program(const std::string& probe_command) {
  return run_command(probe_command + " >/dev/null 2>&1") == 0;
}

std::string source_dir() {
  const char* s = std::getenv("QEL_SOURCE_DIR");
  return s ? s : ".";
}

std::string fixture(const std::string& name) { return source_dir() + "/tests/data/engine/" + name; }

}  // namespace engine_test
