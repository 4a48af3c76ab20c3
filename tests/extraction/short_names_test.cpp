// On a volume whose longest name component is below 13 characters, every
// component is mapped to 8.3 form and blanks become underscores; the volume
// is asked once per directory, not once per entry.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "forwarding_file_system.h"
#include "mapname.h"
#include "volume.h"

namespace extraction_test {
namespace {

class ShortNames : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    use_root();
  }
  std::string map(const std::string& name) {
    set_name(name);
    EXPECT_EQ(mapname(ctx_, 0), 0) << name;
    std::string o = ctx_.output_name;
    return o.compare(0, root_.size(), root_) == 0 ? o.substr(root_.size()) : o;
  }
  FakeVolume fat_{12, "FAT"};
  platform::ScopedService<platform::FileSystem> use_{fat_};
};

TEST_F(ShortNames, ComponentsAreMappedTo83) {
  EXPECT_EQ(map("Long File Name.html"), "Long_Fil.htm");
  EXPECT_EQ(map("archive.tar.gz"), "archive_.gz");
  EXPECT_EQ(map("document_text"), "document.tex");
  EXPECT_EQ(map("my_document"), "my_docum");
  EXPECT_EQ(map(".profile"), "_profile");
  EXPECT_EQ(map("a+b,c=d[1].txt"), "a_b_c_d_.txt");
  EXPECT_EQ(map("short.c"), "short.c");
}

TEST_F(ShortNames, DirectoriesAreMappedAndCreatedInShortForm) {
  EXPECT_EQ(map("Program Files/Java Runtime/readme.text"), "Program.Fil/Java_Run/readme.tex");
  EXPECT_EQ(kind(root_ + "Program.Fil/Java_Run"), platform::FileKind::directory);
}

TEST_F(ShortNames, TheVolumeIsAskedOncePerDirectory) {
  for (int i = 0; i < 50; ++i) map("d/f" + std::to_string(i));
  EXPECT_LE(fat_.volume_queries, 4);
}

TEST(VolumeQuery, LocalTimeFlagFollowsTheFileSystemName) {
  for (auto [name, local] : {std::pair{"FAT32", true}, {"vfat", true}, {"HPFS", true}, {"NTFS", false},
                            {"EXT4", false}}) {
    FakeVolume v{255, name};
    platform::ScopedService<platform::FileSystem> use(v);
    EngineContext ctx;
    volume_flags f = query_volume(ctx, "some/where/file");
    EXPECT_EQ(f.local_time, local) << name;
    EXPECT_FALSE(f.old_fat);
    EXPECT_FALSE(query_volume(ctx, "//server/share/x").local_time);
  }
}

}  // namespace
}  // namespace extraction_test
