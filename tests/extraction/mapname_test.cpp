// mapname and checkdir turn entry names into paths below the target: the
// character rules, the ";version" cut, junk paths, directory entries, the
// target root forms, the length limits and freshen's no-new-directories rule.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "mapname.h"

namespace extraction_test {
namespace {

class Mapname : public EngineTest {
 protected:
  int map(const std::string& name, int renamed = 0) {
    set_name(name);
    return mapname(ctx_, renamed);
  }
  std::string out() const { return ctx_.output_name; }
};

TEST_F(Mapname, JunkPathsPutTheFileDirectlyUnderTheRoot) {
  use_root();
  ctx_.junk_paths = 1;
  EXPECT_EQ(map("a/b/c.txt"), 0);
  EXPECT_EQ(out(), root_ + "c.txt");
  EXPECT_EQ(kind(root_ + "a"), platform::FileKind::missing);
}

TEST_F(Mapname, KeptPathsCreateIntermediateDirectoriesSilently) {
  use_root();
  EXPECT_EQ(map("a/b/c.txt"), 0);
  EXPECT_EQ(out(), root_ + "a/b/c.txt");
  EXPECT_EQ(kind(root_ + "a/b"), platform::FileKind::directory);
  EXPECT_EQ(messages_.all.find("creating"), std::string::npos);
  // A second entry in the same directories works without creating again.
  EXPECT_EQ(map("a/b/d.txt"), 0);
  EXPECT_EQ(out(), root_ + "a/b/d.txt");
  EXPECT_EQ(map("a/e/f.txt"), 0);
  EXPECT_EQ(kind(root_ + "a/e"), platform::FileKind::directory);
}

TEST_F(Mapname, DirectoryEntries) {
  use_root();
  EXPECT_EQ(map("dir/"), 77);
  EXPECT_EQ(kind(root_ + "dir"), platform::FileKind::directory);
  EXPECT_NE(messages_.all.find("   creating: " + root_ + "dir/"), std::string::npos) << messages_.all;
  messages_.all.clear();
  EXPECT_EQ(map("dir/"), 2);
  EXPECT_EQ(messages_.all, "");
  ctx_.quiet_level = 1;
  EXPECT_EQ(map("dir/sub/"), 77);
  EXPECT_EQ(messages_.all, "");
}

TEST_F(Mapname, CharactersWindowsNamesCannotHold) {
  EXPECT_EQ(map("x:y*z?.txt"), 0);
  EXPECT_EQ(out(), "x_y_z_.txt");
  EXPECT_EQ(map("a<b>|c"), 0);
  EXPECT_EQ(out(), "a_b__c");
  EXPECT_EQ(map("q\"uote\x01\x1f.txt"), 0);
  EXPECT_EQ(out(), "q_uote.txt");
  EXPECT_EQ(map("back\\slash"), 0);
  EXPECT_EQ(out(), "back\\slash");
  EXPECT_EQ(map("with space"), 0);
  EXPECT_EQ(out(), "with space");
  ctx_.spaces_to_underscores = 1;
  EXPECT_EQ(map("with space"), 0);
  EXPECT_EQ(out(), "with_space");
}

TEST_F(Mapname, VersionSuffixIsCutOnlyWhenNumeric) {
  EXPECT_EQ(map("readme.txt;3"), 0);
  EXPECT_EQ(out(), "readme.txt");
  EXPECT_EQ(map("readme.txt;"), 0);
  EXPECT_EQ(out(), "readme.txt");
  EXPECT_EQ(map("notes;rev"), 0);
  EXPECT_EQ(out(), "notes;rev");
  EXPECT_EQ(map(";1"), 3);
  EXPECT_NE(messages_.all.find("mapname:  conversion of ;1 failed\n"), std::string::npos);
}

TEST_F(Mapname, RootForms) {
  EXPECT_EQ(set_target_root_text("c:"), 0);
  EXPECT_EQ(ctx_.path.root, "c:./");
  checkdir(ctx_, nullptr, PATH_CLEAR_ROOT);
  EXPECT_EQ(set_target_root_text("c:\\"), 0);
  EXPECT_EQ(ctx_.path.root, "c:/");
  checkdir(ctx_, nullptr, PATH_CLEAR_ROOT);
  EXPECT_EQ(set_target_root_text("c:/"), 0);
  EXPECT_EQ(ctx_.path.root, "c:/");
  // A root once set stays for later archives of the call.
  EXPECT_EQ(set_target_root_text(dir_.path()), 0);
  EXPECT_EQ(ctx_.path.root, "c:/");
  checkdir(ctx_, nullptr, PATH_SET_ROOT);
  EXPECT_FALSE(ctx_.path.root_set);
  EXPECT_EQ(checkdir(ctx_, nullptr, 6), 99);
}

TEST_F(Mapname, RootIsCreatedOneLevelOrRefused) {
  EXPECT_EQ(set_target_root_text(root_ + "new/"), 0);
  EXPECT_EQ(kind(root_ + "new"), platform::FileKind::directory);
  EXPECT_EQ(ctx_.path.root, root_ + "new/");
  checkdir(ctx_, nullptr, PATH_CLEAR_ROOT);
  EXPECT_EQ(set_target_root_text(root_ + "x/y/z"), 3);
  EXPECT_NE(messages_.all.find("checkdir:  cannot create extraction directory: " + root_ + "x/y/z\n"),
            std::string::npos);
  EXPECT_FALSE(ctx_.path.root_set);
  ctx_.create_directories = 0;
  EXPECT_EQ(set_target_root_text(root_ + "absent"), 2);
  EXPECT_EQ(kind(root_ + "absent"), platform::FileKind::missing);
  write_file(root_ + "file", "x");
  ctx_.create_directories = 1;
  EXPECT_EQ(set_target_root_text(root_ + "file"), 3);
}

TEST_F(Mapname, FreshenCreatesNoDirectory) {
  use_root();
  ctx_.freshen = 1;
  EXPECT_EQ(map("missing/file.txt"), 2);
  EXPECT_EQ(kind(root_ + "missing"), platform::FileKind::missing);
  // A new name the caller chose may create what it needs.
  EXPECT_EQ(map(root_ + "chosen/file.txt", 1), 0);
  EXPECT_EQ(kind(root_ + "chosen"), platform::FileKind::directory);
}

TEST_F(Mapname, ExistingFileWhereADirectoryIsNeeded) {
  use_root();
  write_file(root_ + "f", "x");
  EXPECT_EQ(map("f/g.txt"), 3);
  EXPECT_NE(messages_.all.find("checkdir error:  " + root_ + "f exists but is not directory\n"
                               "                 unable to process f/g.txt.\n"),
            std::string::npos)
      << messages_.all;
}

TEST_F(Mapname, DirectoryPathTooLong) {
  use_root();
  std::string deep;
  while (root_.size() + deep.size() < 262) deep += "abcdefghi/";
  EXPECT_EQ(map(deep + "x.txt"), 4);
  EXPECT_NE(messages_.all.find("checkdir error:  path too long: "), std::string::npos);
}

TEST_F(Mapname, FileNameTooLongIsCutToFitTheBuffer) {
  use_root();
  std::string name(250, 'n');
  ASSERT_GT(root_.size() + name.size(), 259u);
  EXPECT_EQ(map(name), 1);
  size_t excess = root_.size() + name.size() - 259;
  EXPECT_EQ(static_cast<size_t>(count_of(messages_.all, "checkdir warning:  path too long; truncating\n")), excess);
  // The output-name buffer never overflows: the cut long form comes back.
  EXPECT_EQ(out().size(), 259u);
  EXPECT_EQ(out(), (root_ + name).substr(0, 259));
}

TEST_F(Mapname, VolumeLabelIsNeverWritten) {
  use_root();
  ctx_.info->volume_label = 1;
  EXPECT_EQ(map("LABEL"), 78);
  EXPECT_FALSE(ctx_.path.building);
}

TEST_F(Mapname, AbsoluteNewNameFromTheCallerIsUsedAsGiven) {
  use_root();
  std::string elsewhere = root_ + "other\\place.txt";
  ASSERT_EQ(set_target_root_text(root_ + "other"), 0);  // root already set: unchanged
  EXPECT_EQ(map(elsewhere, 1), 0);
  std::string slashed = root_ + "other/place.txt";
  for (char& c : slashed)
    if (c == '\\') c = '/';  // a caller's name has its separators made '/'
  EXPECT_EQ(out(), slashed);
  EXPECT_TRUE(ctx_.path.absolute_new_name);
  EXPECT_EQ(map("relative.txt", 1), 0);
  EXPECT_EQ(out(), root_ + "relative.txt");
}

}  // namespace
}  // namespace extraction_test
