// Whole extractions of the checked-in archives (made by Python's zipfile
// and 7-Zip, see tests/data/extraction/make_fixtures.py): every file has its
// bytes, its time and its read-only state; directory entries are announced;
// data descriptors and traditional encryption work; names that try to
// leave the target land inside it or not at all.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "crc32.h"
#include "engine_fixture.h"
#include "file_metadata.h"
#include "run_engine.h"

namespace extraction_test {
namespace {

struct expected_entry {
  std::string name;
  bool directory = false;
  uint32_t size = 0;
  uint32_t crc = 0;
  std::string when;
  bool readonly = false;
};

std::map<std::string, std::vector<expected_entry>> manifest() {
  std::map<std::string, std::vector<expected_entry>> out;
  std::ifstream f(fixture("manifest.txt"));
  std::string line;
  while (std::getline(f, line)) {
    std::stringstream ss(line);
    std::string archive, name, kind, size, crc, when, readonly;
    std::getline(ss, archive, '\t');
    std::getline(ss, name, '\t');
    std::getline(ss, kind, '\t');
    std::getline(ss, size, '\t');
    std::getline(ss, crc, '\t');
    std::getline(ss, when, '\t');
    std::getline(ss, readonly, '\t');
    expected_entry e{name, kind == "d", static_cast<uint32_t>(std::stoul(size)),
                     static_cast<uint32_t>(std::stoul(crc, nullptr, 16)), when, readonly == "1"};
    out[archive].push_back(e);
  }
  return out;
}

class Fixtures : public EngineTest {
 protected:
  void check(const std::string& archive, const std::vector<expected_entry>& entries) {
    auto& fs = platform::native<platform::FileSystem>();
    for (const expected_entry& e : entries) {
      SCOPED_TRACE(archive + ": " + e.name);
      std::string path = root_ + e.name;
      platform::FileStatus st;
      ASSERT_EQ(fs.status(path, st), platform::Error::none);
      if (e.directory) {
        EXPECT_EQ(st.kind, platform::FileKind::directory);
        continue;
      }
      ASSERT_EQ(st.kind, platform::FileKind::file);
      std::string data = read_file(path);
      EXPECT_EQ(data.size(), e.size);
      EXPECT_EQ(crc32_update(0, reinterpret_cast<const uint8_t*>(data.data()), data.size()), e.crc);
      int64_t mtime = e.when.rfind("dos:", 0) == 0 ? dos_to_unix_time(static_cast<uint32_t>(std::stoul(e.when.substr(4))))
                                                   : std::stoll(e.when);
      EXPECT_EQ(st.modification.seconds, mtime);
      EXPECT_EQ((st.attributes & platform::FILE_ATTR_READONLY) != 0, e.readonly);
    }
  }
  std::map<std::string, std::vector<expected_entry>> expected_ = manifest();
};

TEST_F(Fixtures, EveryFixtureExtractsAsItsManifestSays) {
  ASSERT_FALSE(expected_.empty()) << "no manifest at " << fixture("manifest.txt");
  for (const char* archive : {"basic.zip", "descriptors.zip", "encrypted.zip"}) {
    fakes::TempDir where{"qelfx"};
    root_ = where.path() + "/";
    EngineRun run;
    run.password = "Sesame";
    EXPECT_EQ(run.extract(fixture(archive), where.path()), RC_OK) << archive << "\n" << run.text;
    check(archive, expected_[archive]);
    if (std::string(archive) == "basic.zip") {
      EXPECT_NE(run.text.find("   creating: " + root_ + "dir/"), std::string::npos) << run.text;
      EXPECT_NE(run.text.find("inflating: " + root_ + "deflated.bin"), std::string::npos) << run.text;
    }
  }
}

TEST_F(Fixtures, ReadOnlyFilesAreReplacedOnTheNextRun) {
  EngineRun first, second;
  ASSERT_EQ(first.extract(fixture("basic.zip"), dir_.path()), RC_OK) << first.text;
  second.options.overwrite_always = 1;
  EXPECT_EQ(second.extract(fixture("basic.zip"), dir_.path()), RC_OK) << second.text;
  check("basic.zip", expected_["basic.zip"]);
}

TEST_F(Fixtures, WrongPasswordWritesNothing) {
  EngineRun run;
  run.password = "wrong";
  EXPECT_EQ(run.extract(fixture("encrypted.zip"), dir_.path()), RC_ALL_BAD_PASSWORD) << run.text;
  EXPECT_EQ(kind(root_ + "secret.txt"), platform::FileKind::missing);
}

TEST_F(Fixtures, TraversalNamesStayInsideTheTarget) {
  auto& fs = platform::native<platform::FileSystem>();
  std::string target = root_ + "target";
  ASSERT_EQ(fs.create_directory(target), platform::Error::none);
  EngineRun run;
  EXPECT_EQ(run.extract(fixture("traversal.zip"), target), RC_ERROR) << run.text;
  EXPECT_EQ(count_of(run.text, "path leads outside the extraction directory\n"), 3) << run.text;
  EXPECT_EQ(read_file(target + "/ok.txt"), "fine\n");
  EXPECT_EQ(read_file(target + "/abs.txt"), "evil\n");
  EXPECT_EQ(read_file(target + "/drive.txt"), "evil\n");
  // Nothing beside the target: only the target itself is in its parent.
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(fs.list_directory(dir_.path(), entries), platform::Error::none);
  EXPECT_EQ(entries.size(), 3u);
}

}  // namespace
}  // namespace extraction_test
