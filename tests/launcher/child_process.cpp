// The launcher tests' main and the re-executed child (see child_process.h).
#include "child_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/file_system.h"

namespace launcher_test {

bool (*g_child_after_report)(int& exit_code) = nullptr;

std::string SelfPath() {
  std::string self;
  platform::native<platform::FileSystem>().program_path(self);
  return self;
}

}  // namespace launcher_test

namespace {

int RunAsChild(const char* out, int argc, char** argv) {
  std::ofstream file(out, std::ios::binary);
  std::string cwd;
  platform::native<platform::FileSystem>().current_directory(cwd);
  file << cwd << "\n";
  for (int i = 1; i < argc; ++i) file << argv[i] << "\n";
  // A file the installer expects to find (relative to its directory).
  if (const char* check = std::getenv("QEL_CHILD_CHECK")) {
    platform::FileStatus st;
    platform::native<platform::FileSystem>().status(check, st);
    file << (st.kind == platform::FileKind::missing ? "check:missing" : "check:present") << "\n";
  }
  file.close();
  int exit_code = 0;
  if (launcher_test::g_child_after_report && launcher_test::g_child_after_report(exit_code)) return exit_code;
  const char* code = std::getenv("QEL_CHILD_EXIT");
  return code ? std::atoi(code) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = std::getenv("QEL_CHILD_OUT");
  if (out && *out) return RunAsChild(out, argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
