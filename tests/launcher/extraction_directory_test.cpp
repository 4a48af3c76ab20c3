// The extraction directory: a fresh "sfx" directory directly under the
// base, made current; and what each mode does when the base is missing,
// full (in 64 bits), too long, reached through a link, or refuses the
// unique name.
#include "extraction_directory.h"

#include <algorithm>
#include <cstdlib>

#include "fakes/fake_file_system.h"
#include "launcher_test_support.h"

using launcher::State;
using launcher_test::LauncherTest;
using launcher_test::WriteFile;

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

TEST_F(ExtractionDirectory, SilentModeGivesUpAtOnceSayingWhy) {
  State().mode = launcher::LAUNCH_SILENT;
  State().temp_base = Path("missing");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "The directory \"" + Path("missing") + "\" does not exist. \n");
  EXPECT_FALSE(State().extraction_dir.has_value());
  // An empty base counts as missing.
  State().temp_base = std::string();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "The directory \"\" does not exist. \n");
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(ExtractionDirectory, RelativeBaseBecomesAbsoluteAndALinkedBaseIsTakenAsWindowsTakesIt) {
  State().mode = launcher::LAUNCH_SILENT;
  MakeDir(Path("real"));
  ASSERT_EQ(platform::native<platform::FileSystem>().set_current_directory(dir_.path()), platform::Error::none);
  State().temp_base = "real";
  ASSERT_TRUE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(*State().temp_base, Path("real"));
  EXPECT_EQ(State().extraction_dir->rfind(Path("real") + launcher_test::Sep() + "sfx", 0), 0u);

  if (launcher_test::Sep() != '/') return;  // links of the kind below need privileges on Windows
  platform::native<platform::FileSystem>().set_current_directory(dir_.path());
  ASSERT_EQ(std::system(("ln -s real '" + Path("link") + "'").c_str()), 0);
  ASSERT_EQ(std::system(("ln -s nowhere '" + Path("dangling") + "'").c_str()), 0);
  State().temp_base = Path("link");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(launcher::PrepareExtractionDirectory()) << testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(State().extraction_dir->rfind(Path("link") + "/sfx", 0), 0u);
  // A link that leads nowhere, or to a file, is no directory.
  WriteFile(Path("file"), "f");
  ASSERT_EQ(std::system(("ln -s file '" + Path("to_file") + "'").c_str()), 0);
  for (const char* name : {"dangling", "to_file"}) {
    State().temp_base = Path(name);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(launcher::PrepareExtractionDirectory());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "The directory \"" + Path(name) + "\" does not exist. \n");
  }
}

TEST_F(ExtractionDirectory, BaseTooLongForTheNamesIsSaidAndNothingIsMadeThere) {
  // A real directory whose path has 300 characters (where the system can
  // make one: Windows' ANSI calls cannot, nor tell that it exists).
  std::string deep = dir_.path();
  while (deep.size() < 300) {
    deep += launcher_test::Sep() + std::string(std::min<size_t>(100, 300 - deep.size()), 'd');
    MakeDir(deep);
  }
  if (launcher_test::Sep() == '/') {
    ASSERT_TRUE(launcher::DirectoryExists(deep));
  }
  State().mode = launcher::LAUNCH_SILENT;
  State().temp_base = deep;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "The directory \"" + deep + "\" has a path too long for extraction. \n");
  std::vector<platform::DirectoryEntry> entries;
  platform::native<platform::FileSystem>().list_directory(deep, entries);
  EXPECT_LE(entries.size(), 2u);

  // Short enough for the directory itself, but not for the payload's
  // longest name inside it.
  const std::string base = dir_.path();
  State().payload_longest_name = 259 - (base.size() + 1 + 11 + 1);
  State().temp_base = base;
  ASSERT_TRUE(launcher::PrepareExtractionDirectory());
  platform::native<platform::FileSystem>().set_current_directory(saved_cwd_);
  State().payload_longest_name += 1;
  State().temp_base = base;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("has a path too long for extraction"), std::string::npos);
}

TEST_F(ExtractionDirectory, SpaceIsComparedWithTheWholeTotalPast4GiB) {
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  State().mode = launcher::LAUNCH_SILENT;
  State().temp_base = dir_.path();
  // 5 GiB listed: in 32 bits that would wrap to 1 GiB and fit.
  State().payload_total = 5ull << 30;
  fs.set_free_space(2ull << 30);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launcher::PrepareExtractionDirectory());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("does not have enough space"), std::string::npos);
  fs.set_free_space((5ull << 30) + 1);
  EXPECT_TRUE(launcher::PrepareExtractionDirectory());
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
