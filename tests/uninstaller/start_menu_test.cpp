// The start-menu folder is found through the Common Programs shell-folder
// value and removed with its contents; a missing value means nothing to
// remove, and a folder name that climbs out or stands alone is refused.
#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/registry.h"
#include "record_image.h"
#include "recording_ui.h"
#include "c_error.h"
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
  SetCommonPrograms(programs_ + "/");
  std::optional<std::string> folder = StartMenuFolderPath("Qel Tarvik 1.4/");
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, programs_ + "/Qel Tarvik 1.4");
  RecordingUi ui;
  Progress progress;
  progress.ui = &ui;
  progress.total = 10;
  RemovalContext context{&progress, {}, {}};
  platform::TreeTop top;
  ASSERT_EQ(platform::open_tree(*folder, top), platform::Error::none);
  RemoveStartMenuFolder(top, context);
  EXPECT_FALSE(fs::exists(programs_ + "/Qel Tarvik 1.4"));
  EXPECT_TRUE(fs::exists(programs_ + "/Other.lnk"));
  EXPECT_EQ(progress.done, 4);
}

TEST_F(StartMenu, MissingValueMeansNothingToRemove) {
  EXPECT_FALSE(StartMenuFolderPath("Qel Tarvik 1.4"));
  SetCommonPrograms("");
  EXPECT_FALSE(StartMenuFolderPath("Qel Tarvik 1.4"));
}

TEST_F(StartMenu, NamesThatClimbOutOrStandAloneAreRefused) {
  SetCommonPrograms(programs_ + "/Qel Tarvik 1.4");
  for (const char* name : {"..", "Docs/..", ".", "./", "/etc", "Docs/../..", "//x"}) {
    try {
      StartMenuFolderPath(name);
      ADD_FAILURE() << name << " was taken";
    } catch (const CError& e) {
      EXPECT_STREQ(e.Message(), messages::kStartMenuFolderInvalid) << name;
    }
  }
  // On POSIX a backslash is part of a name, not a separator.
  EXPECT_EQ(*StartMenuFolderPath("Docs\\..\\.."), programs_ + "/Qel Tarvik 1.4/Docs\\..\\..");
  SetCommonPrograms("Programs");
  try {
    StartMenuFolderPath("Qel");
    ADD_FAILURE() << "a relative programs folder was taken";
  } catch (const CError& e) {
    EXPECT_STREQ(e.Message(), messages::kStartMenuProgramsRelative);
  }
}
