// Entry names never lead outside the target: leading separators and drive
// prefixes are dropped, and a name with an upward component is skipped
// with a message, before any directory of it is made.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "mapname.h"

namespace extraction_test {
namespace {

class Traversal : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    inner_ = root_ + "in";
    ASSERT_EQ(set_target_root_text(inner_), 0);
  }
  int map(const std::string& name) {
    set_name(name);
    return mapname(ctx_, 0);
  }
  std::string inner_;
};

TEST_F(Traversal, LeadingSeparatorsAndDrivesAreDropped) {
  EXPECT_EQ(map("/etc/x"), 0);
  EXPECT_EQ(std::string(ctx_.output_name), inner_ + "/etc/x");
  EXPECT_EQ(map("//server/share/y"), 0);
  EXPECT_EQ(std::string(ctx_.output_name), inner_ + "/server/share/y");
  EXPECT_EQ(map("C:/z"), 0);
  EXPECT_EQ(std::string(ctx_.output_name), inner_ + "/z");
  EXPECT_EQ(map("\\w"), 0);
  EXPECT_EQ(std::string(ctx_.output_name), inner_ + "/w");
}

TEST_F(Traversal, UpwardComponentsAreSkipped) {
  for (const char* name : {"../x", "a/../../x", "a/..", "..", "a/b/../../../x", "..\\x", "a\\..\\..\\x",
                           ".\x01./x", "... /x", "/../x", "C:/../x"}) {
    messages_.all.clear();
    EXPECT_EQ(map(name), 3) << name;
    EXPECT_NE(messages_.all.find("   skipping: "), std::string::npos) << name;
    EXPECT_NE(messages_.all.find("path leads outside the extraction directory\n"), std::string::npos);
  }
  // Nothing was made, neither inside nor beside the target.
  EXPECT_EQ(kind(inner_ + "/a"), platform::FileKind::missing);
  EXPECT_EQ(kind(root_ + "x"), platform::FileKind::missing);
  EXPECT_FALSE(ctx_.path.building);
}

TEST_F(Traversal, JunkPathsLookOnlyAtWhatIsUsed) {
  ctx_.junk_paths = 1;
  EXPECT_EQ(map("../../x"), 0);
  EXPECT_EQ(std::string(ctx_.output_name), inner_ + "/x");
  EXPECT_EQ(map("a/.."), 3);
}

// Windows drops trailing dots and blanks and splits at backslashes: a file
// name with nothing left after that would name its directory (or the
// target itself), so it is refused.
TEST_F(Traversal, FileNamesThatNameTheirDirectoryAreRefused) {
  for (const char* name : {".", "a/.", "a/. ", " ", "a/  ", "x\\", "a/b\\.", "a/b\\ . "}) {
    messages_.all.clear();
    EXPECT_EQ(map(name), 3) << name;
    EXPECT_NE(messages_.all.find("mapname:  conversion of "), std::string::npos) << name;
  }
  ctx_.junk_paths = 1;
  EXPECT_EQ(map("deep/er/."), 3);
  ctx_.junk_paths = 0;
  EXPECT_EQ(map("a\\b"), 0);
  EXPECT_EQ(std::string(ctx_.output_name), inner_ + "/a\\b");
  EXPECT_EQ(map("a/.b"), 0);
  EXPECT_EQ(map("a/b."), 0);
}

TEST_F(Traversal, DotsInsideNamesAreFine) {
  EXPECT_EQ(map("a..b/..c/d.."), 0);
  EXPECT_EQ(std::string(ctx_.output_name), inner_ + "/a..b/..c/d..");
  EXPECT_EQ(map("./x"), 0);
}

}  // namespace
}  // namespace extraction_test
