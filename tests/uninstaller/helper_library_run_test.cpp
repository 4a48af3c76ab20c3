// Runs of integrated products through the demo's stand-in helper library:
// the call sequences of a JRE and an SDK, every failure message, and that a
// product that is not integrated never loads the library.
#include <sstream>

#include "uninstall_run.h"

namespace {

const std::string kFailed = "Uninstallation Failed: ";

std::string StandIn(const char* variant) {
  return std::string(variant) == "full" ? QEL_HELPER_FULL : QEL_HELPER_WITHOUT_INTL;
}

}  // namespace

class HelperRun : public UninstallRun {
 protected:
  void SetUp() override {
    UninstallRun::SetUp();
    calls_ = world_ + "/helper-calls.log";
    log_ = world_ + "/u.log";
    config_ = world_ + "/helper.cfg";
    env_["QEL_HELPER_CONFIG"] = config_;
    fields_.integrated = "1";
    WriteConfig();
  }
  // The library's answers for `function`: "1", or "0, 1" for the first
  // and the later calls.
  void Answers(const std::string& function, const std::string& answers) {
    answers_[function] = answers;
    WriteConfig();
  }
  void WriteConfig() {
    std::string text = "log = " + calls_ + "\n";
    for (auto& [name, value] : answers_) text += name + " = " + value + "\n";
    WriteFileBytes(config_, text);
  }
  // The library in the product's bin directory, where the extended PATH
  // leads the search.
  void InstallHelper(bool jre, const char* variant = "full") {
    std::string bin = jre ? install_ + "/bin" : install_ + "/jre/bin";
    fs::copy_file(StandIn(variant), bin + "/RidOvavu.dll", fs::copy_options::overwrite_existing);
  }
  // The calls made, one per line: "Name" or "Name(argument)".
  std::string Calls() {
    std::istringstream in(Exists(calls_) ? ReadFileBytes(calls_) : "");
    std::string line, out;
    while (std::getline(in, line)) {
      line = line.substr(0, line.find(" = "));
      if (line.size() > 2 && line.compare(line.size() - 2, 2, "()") == 0) line.resize(line.size() - 2);
      std::string unquoted;
      for (char c : line)
        if (c != '"') unquoted += c;
      out += unquoted + "\n";
    }
    return out;
  }

  std::string calls_, log_, config_;
  std::map<std::string, std::string> answers_;
};

TEST_F(HelperRun, JreSequenceRunsThenScriptRemovesTheLibrary) {
  MakeProduct(true);
  InstallHelper(true);
  PlaceUninstaller();
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n");
  EXPECT_EQ(Calls(),
            "IsControlPanelLocked\nIsJavaJavawLocked\n"
            "InstallIntlJRE\nIsMozillaInstalled\nIsNetscapeInstalled\nIsIEInstalled\n"
            "IsControlPanelLocked\nIsJavaJavawLocked\n"
            "UninstallJRE(1.4.2_02)\nIsJavaVMInUse\nNeedReboot\n");
  ASSERT_TRUE(WaitForScript());
  EXPECT_FALSE(Exists(install_));
}

TEST_F(HelperRun, SdkSequenceAndTheScriptEmptiesJreBin) {
  MakeProduct(false);
  InstallHelper(false);
  // The uninstaller in a directory of its own that holds something else:
  // that directory stays, the program file goes.
  PlaceUninstaller(world_ + "/tools/uninstall");
  WriteFileBytes(world_ + "/tools/other.txt", "other");
  Answers("IsJavaVMInUse", "1");
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n");
  EXPECT_EQ(Calls(),
            "IsControlPanelLocked\nIsJavaJavawLocked\n"
            "IsjreInstalled(1.4.2_02)\nIsMozillaInstalled\nIsIEInstalled\nIsNetscapeInstalled\n"
            "UninstallSDK(1.4.2_02)\nGetLogFileName\nNeedReboot\n");
  ASSERT_TRUE(WaitForScript());
  EXPECT_FALSE(Exists(install_));
  EXPECT_FALSE(Exists(program_));
  EXPECT_TRUE(Exists(world_ + "/tools/other.txt"));
}

TEST_F(HelperRun, JreWithVmInUseIsNotAskedForRestart) {
  MakeProduct(true);
  InstallHelper(true);
  PlaceUninstaller();
  Answers("IsJavaVMInUse", "1");
  Run({"-silent", "-log=" + log_});
  std::string calls = Calls();
  EXPECT_NE(calls.find("IsJavaVMInUse\n"), std::string::npos);
  EXPECT_EQ(calls.find("NeedReboot"), std::string::npos);
}

TEST_F(HelperRun, MissingLibraryStopsBeforeAnyFileIsRemoved) {
  MakeProduct(false);
  PlaceUninstaller();
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), kFailed + "RidOvavu: Error loading ridovavu.dll.\n");
  EXPECT_TRUE(Exists(install_ + "/jre/lib/rt.jar"));
  EXPECT_TRUE(Scripts().empty());
}

TEST_F(HelperRun, WithoutPathTheLibraryBesideTheProgramIsStillFound) {
  MakeProduct(true);
  PlaceUninstaller();
  // No PATH at all: it is not created, and the search still covers the
  // program's own directory.
  env_["PATH"] = std::nullopt;
  fs::copy_file(StandIn("full"), install_ + "/RidOvavu.dll");
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n");
  EXPECT_NE(Calls().find("UninstallJRE(1.4.2_02)"), std::string::npos);
}

TEST_F(HelperRun, LibraryInBinIsNotFoundWithoutPath) {
  MakeProduct(true);
  InstallHelper(true);
  PlaceUninstaller();
  env_["PATH"] = std::nullopt;
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), kFailed + "RidOvavu: Error loading ridovavu.dll.\n");
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
}

TEST_F(HelperRun, MissingInstallIntlJreStopsAJreButNotAnSdk) {
  MakeProduct(true);
  InstallHelper(true, "no_intl");
  PlaceUninstaller();
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), kFailed + "Error finding function in ridovavu.dll.\n");
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));

  fs::remove_all(install_);
  MakeProduct(false);
  InstallHelper(false, "no_intl");
  PlaceUninstaller();
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n");
}

TEST_F(HelperRun, LocksBeforeTheRemovalGiveTheLongMessage) {
  MakeProduct(true);
  InstallHelper(true);
  PlaceUninstaller();
  const std::string kLong =
      "Please any programs that are using java.exe or javaw.exe in the windows system "
      "directory.Also, close the system control panel and/or your java control panel.";

  Answers("IsControlPanelLocked", "1");
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), kFailed + kLong + ".\n");
  // The second test is not asked when the first one answered.
  EXPECT_EQ(Calls(), "IsControlPanelLocked\n");

  fs::remove(calls_);
  Answers("IsControlPanelLocked", "0");
  Answers("IsJavaJavawLocked", "1");
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), kFailed + kLong + ".\n");
  EXPECT_EQ(Calls(), "IsControlPanelLocked\nIsJavaJavawLocked\n");
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
}

TEST_F(HelperRun, LockInsideTheJreSequenceGivesItsOwnMessage) {
  MakeProduct(true);
  InstallHelper(true);
  PlaceUninstaller();
  // Free at the first test, locked at the second.
  Answers("IsJavaJavawLocked", "0, 1");
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), kFailed + "Please stop the java  program running from your system directory..\n");
  std::string calls = Calls();
  // Both lock tests are asked inside the sequence, then it stops.
  EXPECT_NE(calls.find("IsIEInstalled\nIsControlPanelLocked\nIsJavaJavawLocked\n"), std::string::npos);
  EXPECT_EQ(calls.find("UninstallJRE"), std::string::npos);
  EXPECT_TRUE(Exists(install_ + "/lib/rt.jar"));
}

TEST_F(HelperRun, ProductNotIntegratedNeverLoadsTheLibrary) {
  fields_.integrated = "0";
  MakeProduct(true);
  InstallHelper(true);
  PlaceUninstaller();
  Run({"-silent", "-log=" + log_});
  EXPECT_EQ(Log(log_), fields_.product + " was successfully uninstalled.\n");
  EXPECT_EQ(Calls(), "");
}
