// Shared by the tests that run a packed setupstub as a real process: a base
// directory for its extraction, and this test binary as the installer
// (child_process.h), which reports to report.txt and exits with 3.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "launcher_test_support.h"
#include "platform/environment.h"

namespace launcher_test {

class PackedRunTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    base_ = Path("base");
    MakeDir(base_);
    report_ = Path("report.txt");
    auto& env = platform::native<platform::Environment>();
    env.set("QEL_CHILD_OUT", report_);
    env.set("QEL_CHILD_EXIT", "3");
  }
  void TearDown() override {
    auto& env = platform::native<platform::Environment>();
    for (const char* name : {"QEL_CHILD_OUT", "QEL_CHILD_EXIT", "QEL_CHILD_SIGNALS"}) env.set(name, std::nullopt);
    LauncherTest::TearDown();
  }
  // AUTORUN.INF whose commands start this test binary as the installer.
  std::string Autorun() const {
    const std::string self = "\"" + SelfPath() + "\"";
    return "[autorun]\r\nOPEN=" + self + " -gui M\r\nCONSOLE=" + self + " -con M\r\nSILENT=" + self + " -sil M\r\n";
  }
  // The installer's report: its directory, then its arguments.
  std::vector<std::string> Report() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(report_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> BaseEntries() const {
    std::vector<platform::DirectoryEntry> entries;
    platform::native<platform::FileSystem>().list_directory(base_, entries);
    std::vector<std::string> names;
    for (auto& e : entries) {
      if (e.name != "." && e.name != "..") names.push_back(e.name);
    }
    return names;
  }
  // No sfx directory is left under the base.
  void ExpectBaseHoldsOnly(const std::vector<std::string>& names) { EXPECT_EQ(BaseEntries(), names); }

  std::string base_, report_;
};

}  // namespace launcher_test
