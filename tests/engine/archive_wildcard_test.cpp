// An archive path with wildcards is expanded to the matching files (names
// without an extension match '*.*', case is folded) and the run ends with
// the summary lines; a path without wildcards is handed out once.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive_names.h"
#include "context.h"
#include "engine_harness.h"

using namespace engine_test;

namespace {

class ArchiveWildcards : public ::testing::Test {
 protected:
  fakes::TempDir dir{"wild"};
  std::string path(const std::string& name) { return join(dir, name); }
  void SetUp() override {
    write_file(path("a.zip"), build_zip({stored("a1", "x"), stored("a2", "y")}));
    write_file(path("B.ZIP"), build_zip({stored("b1", "z")}));
    write_file(path("c.txt"), "not an archive");
  }
};

std::vector<std::string> expand(const std::string& pattern) {
  EngineContext ctx;
  std::vector<std::string> out;
  while (const char* n = next_archive_name(ctx, pattern.c_str())) {
    out.push_back(n);
    if (out.size() > 100) break;
  }
  return out;
}

TEST_F(ArchiveWildcards, ExpansionYieldsEachMatchOnceThenNothing) {
  std::vector<std::string> got = expand(path("*.zip"));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{path("B.ZIP"), path("a.zip")}));

  write_file(path("noext"), "");
  std::vector<std::string> all = expand(path("*.*"));
  EXPECT_EQ(all.size(), 4u);  // a.zip, B.ZIP, c.txt and noext; never "." or ".."
  EXPECT_NE(std::find(all.begin(), all.end(), path("noext")), all.end());

  EXPECT_EQ(expand(path("does-not-exist.zip")), std::vector<std::string>{path("does-not-exist.zip")});
  // Nothing matches: the pattern itself comes back once.
  EXPECT_EQ(expand(path("*.rar")), std::vector<std::string>{path("*.rar")});
  // A directory that cannot be listed falls back to the pattern too.
  EXPECT_EQ(expand(path("missing-dir/*.zip")), std::vector<std::string>{path("missing-dir/*.zip")});
}

TEST_F(ArchiveWildcards, SeveralArchivesAreListedWithASummary) {
  engine_call c = list_archive(path("*.zip"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.listed.size(), 3u);
  // One blank line between the archives, one before the summary.
  EXPECT_EQ(c.record.text, "\n\n2 archives were successfully processed.\n");
}

TEST_F(ArchiveWildcards, SummaryCountsFailuresAndMissingDirectories) {
  engine_call c = list_archive(path("*.*"));
  // c.txt has no end record (9); the other two are fine.
  EXPECT_EQ(c.result, RC_NO_ARCHIVE);
  std::string t = c.record.text;
  EXPECT_NE(t.find("2 archives were successfully processed.\n"), std::string::npos) << t;
  EXPECT_NE(t.find("1 file had no zipfile directory.\n"), std::string::npos) << t;

  write_file(path("bad.zip"), build_zip({stored("x", "1")}, [] {
               zip_layout l;
               l.total_entries_override = 3;
               return l;
             }()));
  engine_call f = list_archive(path("*.zip"));
  EXPECT_EQ(f.result, RC_SEVERE);
  EXPECT_NE(f.record.text.find("1 archive had fatal errors.\n"), std::string::npos) << f.record.text;
  EXPECT_NE(f.record.text.find("2 archives were successfully processed.\n"), std::string::npos);
}

TEST_F(ArchiveWildcards, WarningsAreCountedApart) {
  write_file(path("empty.zip"), build_zip({}));
  engine_call c = list_archive(path("e*.zip"));
  EXPECT_EQ(c.result, RC_WARNING);
  EXPECT_EQ(c.record.text, "warning [" + path("empty.zip") + "]:  zipfile is empty\n\n"
                           "1 archive had warnings but no fatal errors.\n");
}

TEST_F(ArchiveWildcards, NoMatchesIsReported) {
  engine_call c = list_archive(path("*.rar"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.text, "zipengine:  cannot find any matches for wildcard specification \"" + path("*.rar") +
                               "\".\n\nNo zipfiles found.\n");
}

}  // namespace
