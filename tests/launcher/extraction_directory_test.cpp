// The extraction directory: a fresh "sfx" directory directly under the
// base, made current; and what each mode does when the base is missing,
// full, or refuses the unique name.
#include "extraction_directory.h"

#include "fakes/fake_file_system.h"
#include "launcher_test_support.h"

using launcher::State;
using launcher_test::LauncherTest;

class ExtractionDirectory : public LauncherTest {
 protected:
  launcher_test::RecordingDialogs dialogs_;
  platform::ScopedService<platform::Dialogs> use_dialogs_{dialogs_};
};

TEST_F(ExtractionDirectory, MakesAnEmptySfxDirectoryAndEntersIt) {
  State().mode = launcher::LAUNCH_SILENT;
  State().temp_base = dir_.path();
  std::string before;
  platform::native<platform::FileSystem>().current_directory(before);
  ASSERT_TRUE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(State().saved_directory, before);
  ASSERT_TRUE(State().extraction_dir.has_value());
  const std::string& made = *State().extraction_dir;
  EXPECT_EQ(made.rfind(dir_.path() + launcher_test::Sep() + "sfx", 0), 0u) << made;
  std::string now;
  platform::native<platform::FileSystem>().current_directory(now);
  EXPECT_EQ(now, made);
  std::vector<platform::DirectoryEntry> entries;
  platform::native<platform::FileSystem>().list_directory(made, entries);
  EXPECT_EQ(entries.size(), 2u);  // "." and ".." only
}

TEST_F(ExtractionDirectory, SilentModeGivesUpAtOnceWithoutAWord) {
  State().mode = launcher::LAUNCH_SILENT;
  State().temp_base = Path("missing");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(State().extraction_dir.has_value());
  // An empty base counts as missing.
  State().temp_base = std::string();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(ExtractionDirectory, TooLittleSpaceAsksInGraphicalModeAndMovesToTheChosenFolder) {
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  const std::string full = Path("full"), roomy = Path("roomy");
  MakeDir(full);
  MakeDir(roomy);
  // The space query fails for the first base: no room to be sure of.
  fs.fail_always(fakes::FsOp::free_space, platform::Error::io, "full");
  State().temp_base = full;
  State().payload_total = 1;
  dialogs_.folders.push_back({platform::FolderChoice::chosen, roomy});
  ASSERT_TRUE(launcher::PrepareExtractionDirectory());
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].request.text,
            "The directory \"" + full + "\" does not have enough space. Do you want to change directory?");
  EXPECT_EQ(dialogs_.boxes[0].request.title, "Qel Systems Installer");
  EXPECT_EQ(dialogs_.boxes[0].request.buttons, platform::MessageButtons::ok_cancel);
  EXPECT_EQ(State().temp_base, roomy);
  EXPECT_EQ(State().extraction_dir->rfind(roomy, 0), 0u);
}

TEST_F(ExtractionDirectory, GraphicalCancelOrAnUnusableFolderEndsTheStage) {
  State().temp_base = Path("missing");
  dialogs_.answers.push_back(platform::DIALOG_CANCEL);
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(dialogs_.browses, 0);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].request.text,
            "The directory \"" + Path("missing") + "\" does not exist. Do you want to change directory?");

  dialogs_.boxes.clear();
  dialogs_.folders.push_back({platform::FolderChoice::no_path, ""});
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  ASSERT_EQ(dialogs_.boxes.size(), 2u);
  EXPECT_EQ(dialogs_.boxes[1].request.text, "Cannot use this path for extraction");
  EXPECT_EQ(dialogs_.boxes[1].request.title, "Qel Installer");

  dialogs_.boxes.clear();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());  // the browser is cancelled
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}

TEST_F(ExtractionDirectory, AccessDeniedOnTheUniqueNameIsSaidOtherErrorsAreNot) {
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  State().mode = launcher::LAUNCH_CONSOLE;
  State().temp_base = dir_.path();
  fs.fail(fakes::FsOp::unique_temp_file, 1, platform::Error::access_denied);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Could not create temporary directory under \"" + dir_.path() + "\". Access is denied.\n");
  EXPECT_FALSE(State().extraction_dir.has_value());

  State().mode = launcher::LAUNCH_GUI;
  fs.fail(fakes::FsOp::unique_temp_file, 1, platform::Error::access_denied);
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].request.title, "Qel Systems Installer");

  fs.fail(fakes::FsOp::unique_temp_file, 1, platform::Error::disk_full);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}

TEST_F(ExtractionDirectory, FailingToEnterTheDirectoryLeavesNoExtractionDirectory) {
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  State().mode = launcher::LAUNCH_SILENT;
  State().temp_base = dir_.path();
  fs.fail(fakes::FsOp::set_current_directory, 1, platform::Error::access_denied);
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_FALSE(State().extraction_dir.has_value());
  fs.fail(fakes::FsOp::current_directory, 1, platform::Error::io);
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
}
