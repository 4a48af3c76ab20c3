// Guards the packed demo installer end to end, as a user runs it: setupstub
// extracts the payload and the nested archive, starts the demo installer
// with the user's options, passes its exit code on, and leaves nothing in
// the temporary directory: no extraction directory, no scratch directory of
// the installer, no deletion list.
#include <gtest/gtest.h>

#include "demo_test_support.h"
#include "fakes/temp_dir.h"

namespace {

using namespace demo_test;

class PackedDemo : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"qeldemo"};
  fs::path base, temp, target, answers, log;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    base = scratch.path();
    temp = base / "tmp";
    fs::create_directories(temp);
    target = base / "install";
    answers = base / "answers.xml";
    log = base / "install.log";
  }

  // A private home, registry store and programs folder for every run.
  CommandResult setup(const std::string& options, const std::string& input = "") {
    const std::string env = "HOME=" + quote(base.string()) + " XDG_DATA_HOME=" + quote((base / "data").string()) +
                            " QEL_REGISTRY=" + quote((base / "registry.reg").string()) + " ";
    return run_command(env + quote(QEL_DEMO_SETUP) + " " + quote("-Djava.io.tmpdir=" + temp.string()) + " " + options,
                       base, input);
  }

  void expect_temp_dir_empty() {
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(temp)) left.push_back(e.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.front();
  }
};

TEST_F(PackedDemo, SilentRunInstallsAndCleansUp) {
  write_file(answers, silent_xml(target.string()));
  const CommandResult r =
      setup("-mode=silent " + quote("-log=" + log.string()) + " " + quote("-silent_xml=" + answers.string()));
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("Extracting "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(" Done\n"), std::string::npos) << r.output;
  EXPECT_TRUE(fs::exists(target / "bin/tarvik/jvm.dll"));
  EXPECT_NE(static_cast<unsigned>(fs::status(target / "bin/qel-hello").permissions() & fs::perms::owner_exec), 0u);
  EXPECT_NE(read_file(log).find("(silent mode)"), std::string::npos) << read_file(log);
  expect_temp_dir_empty();
}

TEST_F(PackedDemo, InstallerExitCodeIsTheLaunchersExitCode) {
  const CommandResult r = setup("-mode=silent " + quote("-silent_xml=" + answers.string()));
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("the answer file " + answers.string() + " cannot be used"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(target));
  expect_temp_dir_empty();
}

TEST_F(PackedDemo, ConsoleRunAsksForTheDirectory) {
  const CommandResult r = setup("-mode=console", target.string() + "\n");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("(console mode)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Press Enter to accept"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("...Finish installation. Press any key to close this window..."), std::string::npos)
      << r.output;
  EXPECT_TRUE(fs::exists(target / "README.txt"));
  expect_temp_dir_empty();
}

}  // namespace
