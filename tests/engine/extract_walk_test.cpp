// Extraction to files: the overwrite rules with every replace answer,
// freshen and update, FAT names with backslashes, cancelling, data to print,
// a full disk, names that try to leave the target, and byte-identical
// results for archives from other tools.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine_harness.h"
#include "fakes/fake_file_system.h"
#include "platform/file_system.h"
#include "platform/local_time.h"

using namespace engine_test;

namespace {

platform::FileSystem& fs() { return platform::native<platform::FileSystem>(); }

void set_mtime(const std::string& path, int64_t seconds) {
  platform::FileTimes t;
  t.modification = platform::FileTime{seconds, 0};
  ASSERT_EQ(fs().set_times(path, t), platform::Error::none);
}

bool exists(const std::string& path) {
  platform::FileStatus st;
  return fs().status(path, st) == platform::Error::none && st.kind != platform::FileKind::missing;
}

class ExtractWalk : public ::testing::Test {
 protected:
  fakes::TempDir dir{"extract"};
  std::string archive, target;

  void SetUp() override {
    archive = join(dir, "x.zip");
    target = join(dir, "out");
    write_file(archive, build_zip({stored("a.txt", "new a"), stored("b.txt", "new b"), stored("c.txt", "new c")}));
    fs().create_directory(target);
  }
  std::string out(const std::string& name) { return target + "/" + name; }
  void existing(const std::string& name, int64_t mtime) {
    write_file(out(name), "old " + name);
    set_mtime(out(name), mtime);
  }
  engine_call extract(std::vector<int> answers = {}) {
    engine_call c;
    c.options.target_directory = target.c_str();
    c.answers.replace = std::move(answers);
    return c;
  }
};

constexpr int64_t YEAR_2000 = 946684800;
constexpr int64_t YEAR_2030 = 1893456000;

TEST_F(ExtractWalk, ReplaceNoneSkipsThisAndEveryLaterExistingFile) {
  for (auto n : {"a.txt", "b.txt", "c.txt"}) existing(n, YEAR_2000);
  engine_call c = extract({REPLACE_NONE});
  c.run(archive);
  EXPECT_EQ(c.result, RC_OK) << c.record.text;
  EXPECT_EQ(c.record.replace_names.size(), 1u);
  EXPECT_EQ(read_file(out("a.txt")), "old a.txt");
  EXPECT_EQ(read_file(out("c.txt")), "old c.txt");
  EXPECT_NE(c.record.text.find("Target file exists.\nSkipping " + out("a.txt") + "\n"), std::string::npos)
      << c.record.text;
  EXPECT_NE(c.record.text.find("Target file exists.\nSkipping " + out("c.txt") + "\n"), std::string::npos);
}

TEST_F(ExtractWalk, ReplaceAllOverwritesWithoutAskingAgain) {
  for (auto n : {"a.txt", "b.txt", "c.txt"}) existing(n, YEAR_2000);
  engine_call c = extract({REPLACE_ALL});
  c.run(archive);
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.replace_names.size(), 1u);
  EXPECT_EQ(read_file(out("a.txt")), "new a");
  EXPECT_EQ(read_file(out("c.txt")), "new c");
}

TEST_F(ExtractWalk, ReplaceNoAndYesDecideFileByFile) {
  for (auto n : {"a.txt", "b.txt", "c.txt"}) existing(n, YEAR_2000);
  engine_call c = extract({REPLACE_NO, 0, REPLACE_NO});
  c.run(archive);
  EXPECT_EQ(c.record.replace_names.size(), 3u);
  EXPECT_EQ(c.record.replace_names[0], out("a.txt"));
  EXPECT_EQ(read_file(out("a.txt")), "old a.txt");
  EXPECT_EQ(read_file(out("b.txt")), "new b");
  EXPECT_EQ(read_file(out("c.txt")), "old c.txt");
}

TEST_F(ExtractWalk, ReplaceRenameWritesUnderTheNewName) {
  existing("a.txt", YEAR_2000);
  engine_call c = extract({REPLACE_RENAME});
  c.answers.rename_to = {out("renamed.txt")};
  c.run(archive);
  EXPECT_EQ(c.result, RC_OK) << c.record.text;
  EXPECT_EQ(read_file(out("a.txt")), "old a.txt");
  EXPECT_EQ(read_file(out("renamed.txt")), "new a");
  EXPECT_EQ(read_file(out("b.txt")), "new b");
}

TEST_F(ExtractWalk, WithoutPromptingExistingFilesAreOverwritten) {
  for (auto n : {"a.txt", "b.txt"}) existing(n, YEAR_2030);
  engine_call c = extract();
  c.options.prompt_to_overwrite = 0;
  c.run(archive);
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_TRUE(c.record.replace_names.empty());
  EXPECT_EQ(read_file(out("a.txt")), "new a");
}

TEST_F(ExtractWalk, FreshenReplacesOnlyOlderExistingFiles) {
  existing("a.txt", YEAR_2000);
  existing("b.txt", YEAR_2030);
  engine_call c = extract();
  c.options.freshen = 1;
  c.options.overwrite_always = 1;
  c.run(archive);
  EXPECT_EQ(c.result, RC_OK) << c.record.text;
  EXPECT_EQ(read_file(out("a.txt")), "new a");
  EXPECT_EQ(read_file(out("b.txt")), "old b.txt");
  EXPECT_FALSE(exists(out("c.txt")));  // missing targets are skipped silently
  EXPECT_EQ(c.record.text.find("c.txt"), std::string::npos);
  EXPECT_NE(c.record.text.find("Target file newer.\nSkipping " + out("b.txt") + "\n"), std::string::npos);
}

TEST_F(ExtractWalk, UpdateKeepsNewerTargetsAndAddsMissingOnes) {
  existing("a.txt", YEAR_2030);
  existing("b.txt", YEAR_2000);
  engine_call c = extract();
  c.options.extract_only_newer = 1;
  c.options.overwrite_always = 1;
  c.run(archive);
  EXPECT_EQ(read_file(out("a.txt")), "old a.txt");
  EXPECT_EQ(read_file(out("b.txt")), "new b");
  EXPECT_EQ(read_file(out("c.txt")), "new c");
  EXPECT_NE(c.record.text.find("Target file newer.\nSkipping " + out("a.txt") + "\n"), std::string::npos);
}

TEST_F(ExtractWalk, FatNamesWithBackslashesAreConvertedWithOneWarning) {
  zip_entry one = stored("sub\\one.txt", "1");
  zip_entry two = stored("sub\\two.txt", "2");
  write_file(archive, build_zip({one, two}));
  engine_call c = extract();
  c.run(archive);
  EXPECT_EQ(c.result, RC_WARNING) << c.record.text;
  EXPECT_EQ(read_file(out("sub/one.txt")), "1");
  EXPECT_EQ(read_file(out("sub/two.txt")), "2");
  const std::string warning = "warning:  " + archive + " appears to use backslashes as path separators\n";
  size_t first = c.record.text.find(warning);
  ASSERT_NE(first, std::string::npos) << c.record.text;
  EXPECT_EQ(c.record.text.find(warning, first + 1), std::string::npos);
}

TEST_F(ExtractWalk, CancelBeforeTheFirstEntryWritesNothing) {
  engine_call c = extract();
  c.answers.cancel_at_stage = PROGRESS_START;
  c.run(archive);
  EXPECT_EQ(c.result, RC_CANCELLED);
  EXPECT_FALSE(exists(out("a.txt")));
}

TEST_F(ExtractWalk, DataToPrintPassesTheBytesToPrint) {
  engine_call c;
  c.options.data_to_print = 1;
  c.options.quiet_level = 1;
  c.options.target_directory = target.c_str();  // ignored: nothing is extracted to files
  c.run(archive);
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.text, "new anew bnew c");
  EXPECT_FALSE(exists(out("a.txt")));

  engine_call loud;
  loud.options.data_to_print = 1;
  loud.includes = {"b.txt"};
  loud.run(archive);
  EXPECT_EQ(loud.record.text, " extracting: b.txt                   \r\nnew b\n");
}

TEST_F(ExtractWalk, FullDiskEndsTheRunAfterThatEntry) {
  fakes::FakeFileSystem fake;
  platform::ScopedService<platform::FileSystem> use(fake);
  fake.fail(fakes::FsOp::write, 1, platform::Error::disk_full, true);
  engine_call c = extract();
  c.run(archive);
  EXPECT_EQ(c.result, RC_DISK_FULL);
  EXPECT_NE(c.record.text.find(out("a.txt") + ":  write error (disk full?).\n"), std::string::npos) << c.record.text;
  EXPECT_NE(c.record.text.find("warning:  " + out("a.txt") + " is probably truncated\n"), std::string::npos);
  EXPECT_EQ(c.record.text.find("b.txt"), std::string::npos);
}

TEST_F(ExtractWalk, NamesLeavingTheTargetAreNotWrittenOutside) {
  write_file(archive, build_zip({stored("../evil.txt", "x"), stored("/abs.txt", "y"), stored("ok.txt", "z")}));
  engine_call c = extract();
  c.run(archive);
  EXPECT_GE(c.result, RC_ERROR) << c.record.text;
  EXPECT_FALSE(exists(join(dir, "evil.txt")));
  EXPECT_FALSE(exists("/abs.txt"));
  EXPECT_EQ(read_file(out("ok.txt")), "z");
}

struct expected_file {
  std::string name;
  uint32_t size;
  std::string crc;
};

std::vector<expected_file> expected_files(const std::string& tsv) {
  std::vector<expected_file> out;
  std::ifstream f(tsv);
  std::string line;
  while (std::getline(f, line)) {
    std::stringstream ss(line);
    std::string name, size, csize, crc;
    std::getline(ss, name, '\t');
    std::getline(ss, size, '\t');
    std::getline(ss, csize, '\t');
    std::getline(ss, crc, '\t');
    if (!name.empty() && name.back() != '/') out.push_back({name, static_cast<uint32_t>(std::stoul(size)), crc});
  }
  return out;
}

TEST_F(ExtractWalk, ArchivesFromOtherToolsExtractByteForByte) {
  struct {
    const char* archive;
    const char* password;
  } cases[] = {{"python.zip", nullptr}, {"bsdtar.zip", nullptr}, {"7zz.zip", nullptr},
               {"encrypted.zip", "secret"}, {"encrypted_bsdtar.zip", "secret"}, {"zip64_python.zip", nullptr},
               {"zip64_bsdtar.zip", nullptr}};
  for (auto& k : cases) {
    SCOPED_TRACE(k.archive);
    fakes::TempDir where{"byte"};
    engine_call c;
    c.options.target_directory = where.path().c_str();
    if (k.password) c.answers.passwords = {k.password};
    c.run(fixture(k.archive));
    EXPECT_EQ(c.result, RC_OK) << c.record.text;
    for (const expected_file& e : expected_files(fixture(std::string(k.archive) + ".expected.tsv"))) {
      std::string data = read_file(where.path() + "/" + e.name);
      EXPECT_EQ(data.size(), e.size) << e.name;
      char crc[9];
      std::snprintf(crc, sizeof crc, "%08lx", static_cast<unsigned long>(crc32_of(data)));
      EXPECT_EQ(crc, e.crc) << e.name;
    }
  }
}

TEST_F(ExtractWalk, ModificationTimesAreRestored) {
  fakes::TempDir where{"times"};
  engine_call c;
  c.options.target_directory = where.path().c_str();
  c.run(fixture("python.zip"));
  ASSERT_EQ(c.result, RC_OK);
  platform::FileStatus st;
  ASSERT_EQ(fs().status(where.path() + "/readme.txt", st), platform::Error::none);
  platform::BrokenDownTime t;
  t.year = 2020, t.month = 2, t.day = 29, t.hour = 23, t.minute = 59, t.second = 58;
  int64_t expected = 0;
  ASSERT_TRUE(platform::local_time().from_local(t, expected));
  EXPECT_EQ(st.modification.seconds, expected);

  fakes::TempDir ut{"times"};
  engine_call b;
  b.options.target_directory = ut.path().c_str();
  b.run(fixture("bsdtar.zip"));
  ASSERT_EQ(fs().status(ut.path() + "/readme.txt", st), platform::Error::none);
  EXPECT_EQ(st.modification.seconds, 1623764730);
}

}  // namespace
