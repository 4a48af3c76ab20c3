// Finding the archive inside its file: the end record (also across a block
// boundary and only within the search length), the bytes in front of an
// appended archive, damaged directories and files that are no archive at
// all, each with its message and result code.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "platform/file_system.h"

using namespace engine_test;

namespace {

const char* const REPORT =
    "  (please check that you have transferred or created the zipfile in the\n"
    "  appropriate BINARY mode and that you have built the engine properly)\n";

const char* const NO_END_RECORD =
    "  End-of-central-directory signature not found.  Either this file is not\n"
    "  a zipfile, or it constitutes one disk of a multi-part archive.  In the\n"
    "  latter case the central directory and zipfile comment will be found on\n"
    "  the last disk(s) of this archive.\n";

std::vector<zip_entry> three_entries() {
  return {stored("a.txt", "alpha\n"), stored("dir/", ""), stored("dir/b.bin", std::string(5000, 'b'))};
}

std::string executable_bytes(size_t n) {
  std::string s(n, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  for (size_t i = 2; i < n; ++i) s[i] = static_cast<char>((i * 7) & 0xFF);
  return s;
}

class ArchiveLocation : public ::testing::Test {
 protected:
  fakes::TempDir dir{"engine"};
  std::string path(const std::string& name) { return join(dir, name); }
};

TEST_F(ArchiveLocation, AppendedArchiveWithOffsetsFromFileStartNeedsNoCorrection) {
  zip_layout layout;
  layout.prefix = executable_bytes(425984);
  layout.offsets_from_file_start = true;
  write_file(path("setup.exe"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("setup.exe"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.text, "");
  ASSERT_EQ(c.record.listed.size(), 3u);
  EXPECT_EQ(c.record.listed[2].name, "dir/b.bin");
  EXPECT_EQ(c.callbacks.entry_count, 3u);
  EXPECT_EQ(c.callbacks.total_uncompressed, 5006u);
}

TEST_F(ArchiveLocation, AppendedArchiveWithOffsetsFromArchiveStartIsCompensated) {
  zip_layout layout;
  layout.prefix = executable_bytes(425984);
  write_file(path("setup.exe"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("setup.exe"));
  EXPECT_EQ(c.result, RC_WARNING);
  EXPECT_EQ(c.record.text, "warning [" + path("setup.exe") +
                               "]:  425984 extra bytes at beginning or within zipfile\n"
                               "  (attempting to process anyway)\n");
  ASSERT_EQ(c.record.listed.size(), 3u);
  EXPECT_EQ(c.record.listed[0].name, "a.txt");
}

TEST_F(ArchiveLocation, OneExtraByteIsWordedInTheSingular) {
  zip_layout layout;
  layout.prefix = "X";
  write_file(path("one.zip"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("one.zip"));
  EXPECT_EQ(c.result, RC_WARNING);
  EXPECT_NE(c.record.text.find("1 extra byte at beginning"), std::string::npos) << c.record.text;
}

TEST_F(ArchiveLocation, PlainExecutableGetsTheNoteAndTheZipRetry) {
  std::string exe = path("prog.exe");
  write_file(exe, executable_bytes(20000));
  platform::native<platform::FileSystem>().set_unix_mode(exe, 0755);
  engine_call c = list_archive(exe);
  EXPECT_EQ(c.result, RC_NO_ARCHIVE);
  EXPECT_EQ(c.record.text, std::string(NO_END_RECORD) + "note:  " + exe +
                               " may be a plain executable, not an archive\n"
                               "zipengine:  cannot find zipfile directory in " + exe +
                               ",\n        and cannot find " + exe + ".zip, period.\n");
  EXPECT_TRUE(c.record.listed.empty());
}

TEST_F(ArchiveLocation, MissingFileIsRetriedWithZipAppended) {
  engine_call missing = list_archive(path("nothing"));
  EXPECT_EQ(missing.result, RC_NO_ARCHIVE);
  EXPECT_EQ(missing.record.text,
            "zipengine:  cannot find either " + path("nothing") + " or " + path("nothing") + ".zip.\n");

  write_file(path("data.zip"), build_zip(three_entries()));
  engine_call found = list_archive(path("data"));
  EXPECT_EQ(found.result, RC_OK);
  EXPECT_EQ(found.record.listed.size(), 3u);
}

TEST_F(ArchiveLocation, NonArchiveFallsBackToTheZipNameWhenItExists) {
  write_file(path("data"), "just some text, not an archive at all\n");
  write_file(path("data.zip"), build_zip(three_entries()));
  engine_call c = list_archive(path("data"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.text, NO_END_RECORD);
  EXPECT_EQ(c.record.listed.size(), 3u);
}

TEST_F(ArchiveLocation, DirectoryIsReportedAsSuch) {
  platform::native<platform::FileSystem>().create_directory(path("folder"));
  engine_call c = list_archive(path("folder"));
  // A directory is retried with ".zip" like a missing file; when that
  // name is missing too, the call reports the archive as not found.
  EXPECT_EQ(c.result, RC_NO_ARCHIVE);
  EXPECT_EQ(c.record.text, "zipengine:  cannot find either " + path("folder") + " or " + path("folder") + ".zip.\n");
  platform::native<platform::FileSystem>().create_directory(path("folder.zip"));
  EXPECT_EQ(list_archive(path("folder")).result, RC_IS_DIRECTORY);
}

TEST_F(ArchiveLocation, EndRecordStraddlingABlockBoundaryIsFound) {
  // Place the signature two bytes before a multiple of 8,192, once with a
  // tail block long enough to be read (T > 18) and once shorter.
  for (int64_t before_boundary : {2, 10, 21, 0}) {
    std::string plain = build_zip(three_entries());
    int64_t end_at = static_cast<int64_t>(plain.size()) - 22;
    int64_t target = 3 * 8192 - before_boundary;
    zip_layout layout;
    layout.prefix = std::string(static_cast<size_t>(target - end_at), 'p');
    layout.offsets_from_file_start = true;
    std::string zip = build_zip(three_entries(), layout);
    ASSERT_EQ(zip.substr(static_cast<size_t>(target), 4), std::string("PK\5\6", 4));
    write_file(path("s.zip"), zip);
    engine_call c = list_archive(path("s.zip"));
    EXPECT_EQ(c.result, RC_OK) << before_boundary << "\n" << c.record.text;
    EXPECT_EQ(c.record.listed.size(), 3u) << before_boundary;
  }
}

TEST_F(ArchiveLocation, SmallFilesAreSearchedWhole) {
  // Shorter than one block: the whole file is read at once.
  write_file(path("tiny.zip"), build_zip({stored("t", "x")}));
  EXPECT_EQ(list_archive(path("tiny.zip")).result, RC_OK);
  // Shorter than an end record.
  write_file(path("short.zip"), std::string("PK\5\6", 4));
  EXPECT_EQ(list_archive(path("short.zip")).result, RC_NO_ARCHIVE);
  write_file(path("empty-file.zip"), "");
  EXPECT_EQ(list_archive(path("empty-file.zip")).result, RC_NO_ARCHIVE);
}

TEST_F(ArchiveLocation, EndRecordBeyondTheSearchLengthIsFoundOnlyInInfoMode) {
  std::string zip = build_zip(three_entries()) + std::string(70000, 'z');
  write_file(path("far.zip"), zip);
  engine_call c = list_archive(path("far.zip"));
  EXPECT_EQ(c.result, RC_NO_ARCHIVE);
  EXPECT_EQ(c.record.text.find(NO_END_RECORD), 0u) << c.record.text;

  engine_call info;
  info.options.info_listing = 1;
  info.run(path("far.zip"));
  EXPECT_EQ(info.result, RC_OK) << info.record.text;
  EXPECT_NE(info.record.text.find("dir/b.bin"), std::string::npos);
}

TEST_F(ArchiveLocation, EmptyArchiveIsAWarning) {
  write_file(path("empty.zip"), build_zip({}));
  engine_call c = list_archive(path("empty.zip"));
  EXPECT_EQ(c.result, RC_WARNING);
  EXPECT_EQ(c.record.text, "warning [" + path("empty.zip") + "]:  zipfile is empty\n");
  EXPECT_TRUE(c.record.listed.empty());
  EXPECT_EQ(c.callbacks.entry_count, 0u);
}

TEST_F(ArchiveLocation, TruncatedArchiveHasNoEndRecord) {
  std::string zip = build_zip(three_entries());
  // The signature survives, but an end record starting within the last
  // 22 bytes is no end record.
  write_file(path("cut.zip"), zip.substr(0, zip.size() - 10));
  engine_call c = list_archive(path("cut.zip"));
  EXPECT_EQ(c.result, RC_NO_ARCHIVE);
  EXPECT_EQ(c.record.text, std::string(NO_END_RECORD) + "zipengine:  cannot find zipfile directory in " + path("cut.zip") +
                               ",\n        and cannot find " + path("cut.zip") + ".zip, period.\n");

  // Cut inside the central directory: the end record is gone too.
  write_file(path("cut2.zip"), zip.substr(0, zip.size() - 40));
  engine_call c2 = list_archive(path("cut2.zip"));
  EXPECT_EQ(c2.result, RC_NO_ARCHIVE);
  EXPECT_EQ(c2.record.text.find(NO_END_RECORD), 0u);
}

TEST_F(ArchiveLocation, CentralDirectoryClaimingTooManyEntries) {
  zip_layout layout;
  layout.total_entries_override = 5;
  write_file(path("more.zip"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("more.zip"));
  EXPECT_EQ(c.result, RC_SEVERE);
  EXPECT_EQ(c.record.text,
            std::string("error:  expected central file header signature not found (file #4).\n") + REPORT);
  // Nothing is written to the totals on this path.
  EXPECT_EQ(c.callbacks.entry_count, 0u);
}

TEST_F(ArchiveLocation, CentralDirectorySizeTooLargeIsCompensated) {
  zip_layout layout;
  layout.central_size_delta = 17;
  write_file(path("long.zip"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("long.zip"));
  EXPECT_EQ(c.result, RC_ERROR);
  std::string name = path("long.zip");
  EXPECT_EQ(c.record.text, "error [" + name + "]:  missing 17 bytes in zipfile\n  (attempting to process anyway)\n"
                           "error [" + name + "]:  reported length of central directory is\n"
                           "  17 bytes too long (Atari STZip zipfile?  Pellow ZIPSPLIT 1.1\n"
                           "  zipfile?).  Compensating...\n");
  EXPECT_EQ(c.record.listed.size(), 3u);
}

TEST_F(ArchiveLocation, CentralDirectoryFoundOnlyAtItsBareOffset) {
  // The stored size is 30 bytes short: 30 "extra" bytes are measured, the
  // directory is not where they would put it, but is at its stored offset.
  zip_layout layout;
  layout.central_size_delta = -30;
  write_file(path("short.zip"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("short.zip"));
  EXPECT_EQ(c.result, RC_ERROR);
  std::string name = path("short.zip");
  EXPECT_EQ(c.record.text, "warning [" + name + "]:  30 extra bytes at beginning or within zipfile\n"
                           "  (attempting to process anyway)\n"
                           "error [" + name + "]:  reported length of central directory is\n"
                           "  -30 bytes too long (Atari STZip zipfile?  Pellow ZIPSPLIT 1.1\n"
                           "  zipfile?).  Compensating...\n");
  EXPECT_EQ(c.record.listed.size(), 3u);
}

TEST_F(ArchiveLocation, CentralDirectoryNotFoundAnywhere) {
  // Offsets count from the archive start, and the size is wrong as well:
  // neither the measured nor the bare offset holds the directory.
  zip_layout layout;
  layout.prefix = std::string(100, 'x');
  layout.central_size_delta = 7;
  write_file(path("lost.zip"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("lost.zip"));
  EXPECT_EQ(c.result, RC_SEVERE);
  std::string name = path("lost.zip");
  EXPECT_EQ(c.record.text, "warning [" + name + "]:  93 extra bytes at beginning or within zipfile\n"
                           "  (attempting to process anyway)\n"
                           "error [" + name + "]:  start of central directory not found;\n  zipfile corrupt.\n" +
                           REPORT);
  EXPECT_TRUE(c.record.listed.empty());
}

TEST_F(ArchiveLocation, MultiPartClaimIsAWarning) {
  zip_layout layout;
  layout.this_disk = 1;
  write_file(path("part.zip"), build_zip(three_entries(), layout));
  engine_call c = list_archive(path("part.zip"));
  EXPECT_EQ(c.result, RC_WARNING);
  EXPECT_EQ(c.record.text.find("warning [" + path("part.zip") +
                               "]:  zipfile claims to be last disk of a multi-part archive;\n"),
            0u);
  EXPECT_EQ(c.record.listed.size(), 3u);
}

TEST_F(ArchiveLocation, ArchiveCommentIsShownAndItsLengthReported) {
  zip_layout layout;
  layout.comment = "line one\r\nline two";
  write_file(path("comment.zip"), build_zip(three_entries(), layout));
  engine_call c;
  c.options.show_comment = 1;
  c.run(path("comment.zip"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.text, "line one\nline two\n\n");
  EXPECT_EQ(c.record.prints.back(), "");  // the closing empty message
  EXPECT_EQ(c.callbacks.comment_length, 18);
  EXPECT_TRUE(c.record.listed.empty());

  // A listing reports the comment's length too, without showing it.
  engine_call l = list_archive(path("comment.zip"));
  EXPECT_EQ(l.callbacks.comment_length, 18);
  EXPECT_EQ(l.record.text, "");
}

TEST_F(ArchiveLocation, CommentCutShortByTheEndOfTheFile) {
  zip_layout layout;
  layout.comment = "0123456789";
  std::string zip = build_zip(three_entries(), layout);
  write_file(path("cc.zip"), zip.substr(0, zip.size() - 4));
  engine_call c;
  c.options.show_comment = 1;
  c.run(path("cc.zip"));
  EXPECT_EQ(c.result, RC_WARNING);
  EXPECT_EQ(c.record.text, "\ncaution:  zipfile comment truncated\n");
}

}  // namespace
