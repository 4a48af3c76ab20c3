// The start-menu folder is found through the Common Programs shell-folder
// value and removed with its contents; a missing value or folder does
// nothing, and a folder name that climbs out is not followed.
#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/registry.h"
#include "record_image.h"
#include "recording_ui.h"
#include "start_menu.h"

namespace fs = std::filesystem;

class StartMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    ::setenv("QEL_REGISTRY", (temp_.path() + "/registry.reg").c_str(), 1);
    programs_ = temp_.path() + "/Programs";
    fs::create_directories(programs_ + "/Qel Tarvik 1.4/Docs");
    WriteFileBytes(programs_ + "/Qel Tarvik 1.4/Uninstall.lnk", "lnk");
    WriteFileBytes(programs_ + "/Qel Tarvik 1.4/Docs/Readme.lnk", "lnk");
    WriteFileBytes(programs_ + "/Other.lnk", "other");
  }
  void TearDown() override { ::unsetenv("QEL_REGISTRY"); }

  void SetCommonPrograms(const std::string& value) {
    platform::Registry& reg = platform::registry();
    platform::RegistryKey key;
    bool created = false;
    ASSERT_EQ(reg.create_key(reg.root(platform::RegistryRoot::local_machine),
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                             platform::RegistryAccess::all, key, created),
              platform::Error::none);
    ASSERT_EQ(reg.set_value(key, "Common Programs", platform::RegistryValue::string(value)),
              platform::Error::none);
  }

  fakes::TempDir temp_{"startmenu"};
  std::string programs_;
};

TEST_F(StartMenu, FolderGoesWithItsContentsAndAdvancesTheBar) {
  SetCommonPrograms(programs_);
  RecordingUi ui;
  Progress progress;
  progress.ui = &ui;
  progress.total = 10;
  RemovalContext context{&progress, {}};
  RemoveStartMenuFolder("Qel Tarvik 1.4", context);
  EXPECT_FALSE(fs::exists(programs_ + "/Qel Tarvik 1.4"));
  EXPECT_TRUE(fs::exists(programs_ + "/Other.lnk"));
  EXPECT_EQ(progress.done, 4);
}

TEST_F(StartMenu, MissingValueOrFolderDoesNothing) {
  RemovalContext context;
  RemoveStartMenuFolder("Qel Tarvik 1.4", context);
  EXPECT_TRUE(fs::exists(programs_ + "/Qel Tarvik 1.4/Uninstall.lnk"));
  SetCommonPrograms(programs_);
  RemoveStartMenuFolder("Not There", context);
  EXPECT_TRUE(fs::exists(programs_ + "/Other.lnk"));
}

TEST_F(StartMenu, NamesThatClimbOutAreNotFollowed) {
  SetCommonPrograms(programs_ + "/Qel Tarvik 1.4");
  RemovalContext context;
  for (const char* name : {"..", "Docs/..", ".", "Docs\\..\\.."}) RemoveStartMenuFolder(name, context);
  EXPECT_TRUE(fs::exists(programs_ + "/Other.lnk"));
  EXPECT_TRUE(fs::exists(programs_ + "/Qel Tarvik 1.4/Uninstall.lnk"));
}
