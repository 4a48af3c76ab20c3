// The helper library stand-in as the uninstaller meets it: loaded by the
// platform loader, its twelve exports found by name and called with the
// platform's calling convention, answering as configured and logging.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/environment.h"
#include "platform/loader.h"

namespace {

constexpr const char* kExports[] = {
    "IsControlPanelLocked", "IsJavaJavawLocked", "IsjreInstalled", "IsMozillaInstalled",
    "IsIEInstalled",        "IsNetscapeInstalled", "UninstallSDK",  "UninstallJRE",
    "InstallIntlJRE",       "GetLogFileName",      "IsJavaVMInUse", "NeedReboot",
};

class HelperLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Environment& env = platform::environment();
    if (!env.get("QEL_HELPER_CONFIG")) env.set("QEL_HELPER_CONFIG", std::string(QEL_HELPER_TEST_DIR) + "/helper_test.cfg");
    config_ = *env.get("QEL_HELPER_CONFIG");
    log_ = std::string(QEL_HELPER_TEST_DIR) + "/helper_test.log";
    std::remove(log_.c_str());
    std::string path;
    ASSERT_EQ(platform::loader().load(QEL_HELPER_LIBRARY, library_, path), platform::Error::none);
  }
  void TearDown() override {
    std::remove(config_.c_str());
    std::remove(log_.c_str());
  }

  void Configure(const std::string& lines) {
    std::ofstream(config_, std::ios::trunc) << lines << "log = " << log_ << "\n";
  }
  uint32_t Call(const char* name) {
    platform::LibrarySymbol f = platform::loader().find(library_, name);
    EXPECT_NE(f, nullptr) << name;
    return f ? platform::loader().call(f) : 0xFFFFFFFF;
  }
  uint32_t Call(const char* name, const char* text) {
    platform::LibrarySymbol f = platform::loader().find(library_, name);
    EXPECT_NE(f, nullptr) << name;
    return f ? platform::loader().call(f, text) : 0xFFFFFFFF;
  }
  std::string Log() {
    std::ifstream in(log_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  platform::LibraryHandle library_ = nullptr;
  std::string config_, log_;
};

}  // namespace

TEST_F(HelperLibrary, ExportsAllTwelveByTheirPlainNames) {
  for (const char* name : kExports) EXPECT_NE(platform::loader().find(library_, name), nullptr) << name;
  EXPECT_EQ(platform::loader().find(library_, "_IsControlPanelLocked@0"), nullptr);

  platform::LibraryHandle without = nullptr;
  std::string path;
  ASSERT_EQ(platform::loader().load(QEL_HELPER_LIBRARY_WITHOUT_INTL, without, path), platform::Error::none);
  EXPECT_NE(without, library_);
  for (const char* name : kExports) {
    bool expected = std::string(name) != "InstallIntlJRE";
    EXPECT_EQ(platform::loader().find(without, name) != nullptr, expected) << name;
  }
}

TEST_F(HelperLibrary, AnswersFollowTheConfigurationAndEveryCallIsLogged) {
  Configure("# locked on the second test, as inside the runtime's sequence\n"
            "IsControlPanelLocked = 0, 1\n"
            "UninstallJRE = 0x7\n"
            "IsJavaVMInUse=3\n");
  EXPECT_EQ(Call("IsControlPanelLocked"), 0u);
  EXPECT_EQ(Call("IsControlPanelLocked"), 1u);
  EXPECT_EQ(Call("IsControlPanelLocked"), 1u);
  EXPECT_EQ(Call("UninstallJRE", "1.4.2_02"), 7u);
  EXPECT_EQ(Call("IsJavaVMInUse"), 3u);
  EXPECT_EQ(Call("IsjreInstalled", "1.4.2_03"), 0u);
  EXPECT_EQ(Call("NeedReboot"), 0u);
  EXPECT_EQ(Log(),
            "IsControlPanelLocked() = 0\n"
            "IsControlPanelLocked() = 1\n"
            "IsControlPanelLocked() = 1\n"
            "UninstallJRE(\"1.4.2_02\") = 7\n"
            "IsJavaVMInUse() = 3\n"
            "IsjreInstalled(\"1.4.2_03\") = 0\n"
            "NeedReboot() = 0\n");

  // Without a configuration file every answer is 0 and nothing is logged.
  std::remove(config_.c_str());
  std::remove(log_.c_str());
  EXPECT_EQ(Call("IsJavaJavawLocked"), 0u);
  EXPECT_EQ(Call("UninstallSDK", "1.4.2_02"), 0u);
  std::ifstream missing(log_);
  EXPECT_FALSE(missing.good());
}
