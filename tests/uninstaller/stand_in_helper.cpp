// A stand-in for the product's helper library in the uninstaller's tests:
// the twelve functions, answers taken from the environment, and a log of
// every call. QEL_TEST_HELPER_LOG names the log file; the lock tests answer
// from QEL_TEST_HELPER_PANEL and QEL_TEST_HELPER_JAVA, comma-separated
// answers for the first, second, ... call (the last one repeats; unset: 0).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Log(const char* function, const char* argument = nullptr) {
  const char* path = std::getenv("QEL_TEST_HELPER_LOG");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, argument ? "%s(%s)\n" : "%s\n", function, argument);
    std::fclose(f);
  }
}

uint32_t Answer(const char* variable, int call) {
  const char* list = std::getenv(variable);
  if (!list || !*list) return 0;
  std::string answers = list;
  size_t start = 0;
  for (int i = 0; i < call; ++i) {
    size_t comma = answers.find(',', start);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return static_cast<uint32_t>(std::strtoul(answers.c_str() + start, nullptr, 10));
}

int panel_calls = 0;
int java_calls = 0;

}  // namespace

extern "C" {
uint32_t IsControlPanelLocked() {
  Log("IsControlPanelLocked");
  return Answer("QEL_TEST_HELPER_PANEL", panel_calls++);
}
uint32_t IsJavaJavawLocked() {
  Log("IsJavaJavawLocked");
  return Answer("QEL_TEST_HELPER_JAVA", java_calls++);
}
uint32_t IsjreInstalled(const char* version) { Log("IsjreInstalled", version); return 1; }
uint32_t IsMozillaInstalled() { Log("IsMozillaInstalled"); return 0; }
uint32_t IsIEInstalled() { Log("IsIEInstalled"); return 0; }
uint32_t IsNetscapeInstalled() { Log("IsNetscapeInstalled"); return 0; }
uint32_t UninstallSDK(const char* version) { Log("UninstallSDK", version); return 1; }
uint32_t UninstallJRE(const char* version) { Log("UninstallJRE", version); return 1; }
#ifndef WITHOUT_INSTALL_INTL_JRE
uint32_t InstallIntlJRE() { Log("InstallIntlJRE"); return 0; }
#endif
uint32_t GetLogFileName() { Log("GetLogFileName"); return 0; }
uint32_t IsJavaVMInUse() {
  Log("IsJavaVMInUse");
  return std::getenv("QEL_TEST_HELPER_VM_IN_USE") ? 1 : 0;
}
uint32_t NeedReboot() { Log("NeedReboot"); return 0; }
}
