// The configuration file and the call log of the helper library stand-in.
//
// The file is named by the environment variable QEL_HELPER_CONFIG. Lines:
//   # a comment
//   IsControlPanelLocked = 0, 1   the first call answers 0, later ones 1
//   UninstallJRE = 0              one answer for every call
//   log = /tmp/helper.log         append one line per call there
// A function not named answers 0; without the variable every answer is 0
// and nothing is logged.
#include "helper_answers.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

struct Config {
  std::map<std::string, std::vector<uint32_t>> answers;
  std::string log;
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Read anew at every call, so a test may change the answers between calls.
Config ReadConfig() {
  Config config;
  const char* path = std::getenv("QEL_HELPER_CONFIG");
  if (!path || !*path) return config;
  FILE* f = std::fopen(path, "r");
  if (!f) return config;
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    std::string l = Trim(line);
    if (l.empty() || l[0] == '#' || l[0] == ';') continue;
    size_t eq = l.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(l.substr(0, eq));
    std::string value = Trim(l.substr(eq + 1));
    if (key == "log") {
      config.log = value;
      continue;
    }
    std::vector<uint32_t>& list = config.answers[key];
    size_t start = 0;
    while (start <= value.size()) {
      size_t comma = value.find(',', start);
      std::string item = Trim(value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (!item.empty()) list.push_back(static_cast<uint32_t>(std::strtoul(item.c_str(), nullptr, 0)));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  std::fclose(f);
  return config;
}

}  // namespace

// The n-th call of `name` gets the n-th answer; the last one repeats.
uint32_t Answer(const char* name, const char* argument) {
  static std::map<std::string, size_t> calls;
  size_t n = calls[name]++;
  Config config = ReadConfig();
  uint32_t result = 0;
  auto it = config.answers.find(name);
  if (it != config.answers.end() && !it->second.empty())
    result = it->second[n < it->second.size() ? n : it->second.size() - 1];
  if (!config.log.empty()) {
    if (FILE* log = std::fopen(config.log.c_str(), "ab")) {
      if (argument)
        std::fprintf(log, "%s(\"%s\") = %u\n", name, argument, static_cast<unsigned>(result));
      else
        std::fprintf(log, "%s() = %u\n", name, static_cast<unsigned>(result));
      std::fclose(log);
    }
  }
  return result;
}

