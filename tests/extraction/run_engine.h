// Test helper: one zipengine_run call that extracts an archive below a
// directory, recording every message and answering questions as told.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zipengine/zipengine.h"

namespace extraction_test {

struct EngineRun {
  EngineOptions options{};
  std::string text;                 // everything print received
  std::vector<int> replace_answers;  // used in order; then "overwrite"
  std::string rename_to;             // written for an answer of 105
  std::string password;
  int result = -1;

  static EngineRun*& current() {
    static EngineRun* run = nullptr;
    return run;
  }
  static int print(const char* t, uint32_t n) {
    current()->text.append(t, n);
    return 0;
  }
  static int replace(char* name) {
    EngineRun* r = current();
    if (r->replace_answers.empty()) return 0;
    int a = r->replace_answers.front();
    r->replace_answers.erase(r->replace_answers.begin());
    if (a == REPLACE_RENAME) std::strncpy(name, r->rename_to.c_str(), ZIPENGINE_NAME_SIZE - 1);
    return a;
  }
  static int ask_password(char* buffer, int size, const char*, const char*) {
    EngineRun* r = current();
    if (r->password.empty()) return 1;
    std::strncpy(buffer, r->password.c_str(), static_cast<size_t>(size) - 1);
    buffer[size - 1] = '\0';
    return 0;
  }

  int extract(const std::string& archive, const std::string& target) {
    options.archive_path = archive.c_str();
    options.target_directory = target.c_str();
    options.keep_paths = 1;
    EngineCallbacks cb{};
    cb.print = print;
    cb.replace = replace;
    cb.password = ask_password;
    current() = this;
    result = zipengine_run(0, nullptr, 0, nullptr, &options, &cb);
    current() = nullptr;
    return result;
  }
};

// Where the checked-in fixtures are: QEL_SOURCE_DIR (set by CTest), else
// the source tree the tests were built from.
inline std::string fixture(const std::string& name) {
  const char* top = std::getenv("QEL_SOURCE_DIR");
  return std::string(top ? top : QEL_EXTRACTION_SOURCE_DIR) + "/tests/data/extraction/" + name;
}

}  // namespace extraction_test
