// Guards the limits sfxpack enforces before it writes anything: a name the
// engine would truncate (260 bytes or more, which the launcher counts as a
// failed extraction), an output inside the directory being packed (which
// would pack earlier installers into later ones), a dangling symbolic link
// (left out with a warning) and a link loop (refused).
#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "pack_error.h"
#include "sfx_builder.h"
#include "sfxpack_test_support.h"
#include "zip_reader.h"

namespace {

using namespace sfxpack_test;

class PayloadLimits : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"sfxpack"};
  fs::path tree;
  sfxpack::PackOptions options;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    tree = fs::path(scratch.path()) / "tree";
    write_file(tree / "a.txt", "a");
    options.source = tree;
    options.output = fs::path(scratch.path()) / "out.zip";
    options.verify = false;
  }

  std::string refusal() {
    try {
      sfxpack::pack(options);
    } catch (const sfxpack::PackError& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(PayloadLimits, NamesTheEngineWouldTruncateAreRefused) {
  const std::string dir(200, 'd');
  write_file(tree / dir / std::string(59, 'n'), "x");  // 200 + 1 + 59 = 260 bytes
  EXPECT_NE(refusal().find("is longer than 259 bytes"), std::string::npos);
  EXPECT_FALSE(fs::exists(options.output));

  fs::remove_all(tree / dir);
  write_file(tree / dir / std::string(58, 'n'), "x");  // 259 bytes fit
  EXPECT_EQ(refusal(), "");
}

TEST_F(PayloadLimits, OutputInsideTheSourceIsRefused) {
  options.output = tree / "sub" / "out.zip";
  EXPECT_NE(refusal().find("lies inside the directory being packed"), std::string::npos);
}

TEST_F(PayloadLimits, DanglingLinksAreLeftOutAndLoopsRefused) {
  fs::create_symlink(tree / "missing", tree / "dangling");
  const sfxpack::PackResult r = sfxpack::pack(options);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("dangling symbolic link"), std::string::npos);
  sfxpack::ZipArchive written(options.output);
  ASSERT_EQ(written.entries().size(), 1u);
  EXPECT_EQ(written.entries()[0].name, "a.txt");

  fs::create_directories(tree / "loop");
  fs::create_directory_symlink(tree, tree / "loop" / "back");
  EXPECT_NE(refusal().find("leads back into its own parent directories"), std::string::npos);
}

}  // namespace
