// Testing archives: per-entry lines, the CRC comparison (with the password
// hint for encrypted entries), passwords through the callback, refusals of
// unsupported versions and methods, the summaries and the final result rules.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "platform/file_system.h"

using namespace engine_test;

namespace {

engine_call test_archive(const std::string& path, std::vector<std::string> passwords = {}) {
  engine_call c;
  c.options.test_only = 1;
  c.answers.passwords = std::move(passwords);
  c.run(path);
  return c;
}

std::string line(const char* verb, const std::string& name, const std::string& tail) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%8sing: %-22s  %s", verb, name.c_str(), tail.c_str());
  return buf;
}

TEST(TestWalk, GoodArchivesFromEveryToolPass) {
  for (const char* name : {"python.zip", "bsdtar.zip", "7zz.zip", "zip64_python.zip", "zip64_bsdtar.zip"}) {
    engine_call c = test_archive(fixture(name));
    SCOPED_TRACE(name);
    EXPECT_EQ(c.result, RC_OK) << c.record.text;
    EXPECT_NE(c.record.text.find(line("test", "readme.txt", " OK\n")), std::string::npos) << c.record.text;
    EXPECT_NE(c.record.text.find("No errors detected in compressed data of " + fixture(name) + ".\n"),
              std::string::npos);
  }
}

TEST(TestWalk, EveryEntryGetsTheThreeProgressStages) {
  engine_call c = test_archive(fixture("python.zip"));
  ASSERT_EQ(c.result, RC_OK);
  // readme.txt is stored: 1160 bytes in one flush; zeros.bin 70000 in 32 KiB windows.
  std::vector<progress_event> readme, zeros;
  for (auto& p : c.record.progress) {
    if (p.name == "readme.txt") readme.push_back(p);
    if (p.name == "bin/zeros.bin") zeros.push_back(p);
  }
  ASSERT_EQ(readme.size(), 3u);
  EXPECT_EQ(readme[0].stage, PROGRESS_START);
  EXPECT_EQ(readme[1].stage, PROGRESS_DATA);
  EXPECT_EQ(readme[1].value, 1160u);
  EXPECT_EQ(readme[2].stage, PROGRESS_END);
  EXPECT_EQ(readme[2].value, 1160u);
  uint32_t sum = 0;
  for (auto& p : zeros)
    if (p.stage == PROGRESS_DATA) sum += p.value;
  EXPECT_EQ(sum, 70000u);
  EXPECT_EQ(c.record.sounds, 7);
}

TEST(TestWalk, BadCrcIsReported) {
  engine_call c = test_archive(fixture("bad_crc.zip"));
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_NE(c.record.text.find(line("test", "broken.txt", " bad CRC 13c6669a  (should be 12345678)\n")),
            std::string::npos)
      << c.record.text;
  EXPECT_NE(c.record.text.find(line("test", "stored.bin", " OK\n")), std::string::npos);
  EXPECT_NE(c.record.text.find("At least one error was detected in " + fixture("bad_crc.zip") + ".\n"),
            std::string::npos);

  // Quiet: the name leads the CRC line, the testing lines are gone.
  engine_call q;
  q.options.test_only = 1;
  q.options.quiet_level = 1;
  q.run(fixture("bad_crc.zip"));
  char lead[64];
  std::snprintf(lead, sizeof lead, "%-22s ", "broken.txt");
  EXPECT_EQ(q.record.text, std::string(lead) + " bad CRC 13c6669a  (should be 12345678)\n"
                           "At least one error was detected in " + fixture("bad_crc.zip") + ".\n");
}

TEST(TestWalk, EncryptedEntriesWithTheRightPassword) {
  for (const char* name : {"encrypted.zip", "encrypted_bsdtar.zip"}) {
    SCOPED_TRACE(name);
    engine_call c = test_archive(fixture(name), {"secret"});
    EXPECT_EQ(c.result, RC_OK) << c.record.text;
    // Asked once; the password is kept for the rest of the archive.
    ASSERT_EQ(c.record.password_prompts.size(), 1u);
    EXPECT_EQ(c.record.password_prompts[0].rfind("Enter password for: ", 0), 0u);
  }
}

TEST(TestWalk, WrongPasswordsAreAskedThriceThenTheEntryIsSkipped) {
  engine_call c = test_archive(fixture("encrypted_bsdtar.zip"), {"a", "b", "c", "d", "e", "f"});
  EXPECT_EQ(c.result, RC_ALL_BAD_PASSWORD);
  ASSERT_EQ(c.record.password_prompts.size(), 6u);
  EXPECT_EQ(c.record.password_prompts[0], "Enter password for: readme.txt");
  EXPECT_EQ(c.record.password_prompts[1], "Password incorrect--reenter: readme.txt");
  EXPECT_EQ(c.record.password_prompts[2], "Password incorrect--reenter: readme.txt");
  EXPECT_EQ(c.record.password_prompts[3], "Enter password for: bin/data.bin");
  std::string name = fixture("encrypted_bsdtar.zip");
  EXPECT_EQ(c.record.text, line("skipp", "readme.txt", "incorrect password\n").replace(0, 11, "   skipping") +
                               line("skipp", "bin/data.bin", "incorrect password\n").replace(0, 11, "   skipping") +
                               "Caution:  zero files tested in " + name + ".\n"
                               "2 files skipped because of incorrect password.\n");
}

TEST(TestWalk, MissingPasswordCallbackSkipsLikeACancel) {
  engine_call c;
  c.options.test_only = 1;
  c.callbacks.password = nullptr;
  c.run(fixture("encrypted.zip"));
  EXPECT_EQ(c.result, RC_ALL_BAD_PASSWORD);
  EXPECT_NE(c.record.text.find("3 files skipped because of incorrect password.\n"), std::string::npos)
      << c.record.text;
}

TEST(TestWalk, BadCrcOnAnEncryptedEntryHintsAtThePassword) {
  engine_call c = test_archive(fixture("encrypted_bad_crc.zip"), {"secret"});
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_NE(c.record.text.find(" bad CRC 94585b22  (should be 94585b78)\n    (may instead be incorrect password)\n"),
            std::string::npos)
      << c.record.text;
}

TEST(TestWalk, UnsupportedVersionsAndMethodsAreRefused) {
  engine_call c = test_archive(fixture("methods.zip"));
  EXPECT_EQ(c.result, RC_ALL_UNSUPPORTED);
  std::string name = fixture("methods.zip");
  EXPECT_EQ(c.record.text,
            "   skipping: bin/zeros.bin           need PK compat. v2.1 (can do v2.0)\n"
            "   skipping: docs/words.txt          need PK compat. v4.6 (can do v2.0)\n" +
                line("test", "readme.txt", " OK\n") + "No errors detected in " + name +
                " for the 1 file tested.\n2 files skipped because of unsupported compression or encoding.\n");

  fakes::TempDir dir{"walk"};
  zip_entry d64 = stored("d64", "xx");
  d64.method = 9;
  zip_entry odd = stored("odd", "yy");
  odd.method = 12;
  zip_entry vms = stored("vms", "zz");
  vms.needed_host = 2;
  vms.needed_version = 43;
  write_file(join(dir, "m.zip"), build_zip({d64, odd, vms}));
  engine_call m = test_archive(join(dir, "m.zip"));
  EXPECT_EQ(m.result, RC_ALL_UNSUPPORTED);
  EXPECT_EQ(m.record.text, "   skipping: d64                     `deflate64' method not supported\n"
                           "   skipping: odd                     unsupported compression method 12\n"
                           "   skipping: vms                     need VMS compat. v4.3 (can do v4.2)\n"
                           "Caution:  zero files tested in " + join(dir, "m.zip") + ".\n"
                           "3 files skipped because of unsupported compression or encoding.\n");
}

TEST(TestWalk, UnmatchedPatternsAreCautioned) {
  engine_call c;
  c.options.test_only = 1;
  c.includes = {"readme.txt", "nothing-like-this"};
  c.excludes = {"never*"};
  c.run(fixture("python.zip"));
  EXPECT_EQ(c.result, RC_NOTHING_FOUND);
  EXPECT_NE(c.record.text.find("caution: filename not matched:  nothing-like-this\n"), std::string::npos);
  EXPECT_NE(c.record.text.find("caution: excluded filename not matched:  never*\n"), std::string::npos);
  // The caution makes the result 11, which the summary counts as an error.
  EXPECT_NE(c.record.text.find(line("test", "readme.txt", " OK\n")), std::string::npos);
  EXPECT_NE(c.record.text.find("At least one error was detected in " + fixture("python.zip") + ".\n"),
            std::string::npos)
      << c.record.text;
}

TEST(TestWalk, ManyEntriesAreVisitedInBlocks) {
  fakes::TempDir dir{"walk"};
  std::vector<zip_entry> entries;
  for (int i = 0; i < 200; ++i) entries.push_back(stored("e" + std::to_string(i), std::string(i * 13 % 3000, 'q')));
  // One refused entry in the middle of a block keeps the blocks uneven.
  entries[70].method = 9;
  write_file(join(dir, "many.zip"), build_zip(entries));
  engine_call c = test_archive(join(dir, "many.zip"));
  EXPECT_EQ(c.result, RC_ALL_UNSUPPORTED);
  int ok = 0;
  for (auto& p : c.record.progress)
    if (p.stage == PROGRESS_END) ++ok;
  EXPECT_EQ(ok, 199);
  EXPECT_NE(c.record.text.find("for the 199 files tested.\n"), std::string::npos);
  EXPECT_EQ(c.record.text.find("bad CRC"), std::string::npos);
}

TEST(TestWalk, WrongPrecedingCountIsReCompensated) {
  fakes::TempDir dir{"walk"};
  zip_layout layout;
  layout.prefix = std::string(1000, 'x');
  layout.local_offsets_absolute = true;
  write_file(join(dir, "rc.zip"), build_zip({stored("a", std::string(3000, 'a')), stored("b", "bbbb")}, layout));
  engine_call c = test_archive(join(dir, "rc.zip"));
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_NE(c.record.text.find("file #1:  bad zipfile offset (local header sig):  2000\n"
                               "  (attempting to re-compensate)\n"),
            std::string::npos)
      << c.record.text;
  EXPECT_NE(c.record.text.find(line("test", "b", " OK\n")), std::string::npos);
}

TEST(TestWalk, BrokenLocalHeadersSkipOnlyTheirEntry) {
  fakes::TempDir dir{"walk"};
  std::string zip = build_zip({stored("first", "11111"), stored("second", "22222")});
  zip[0] = 'X';  // the first local signature
  write_file(join(dir, "lh.zip"), zip);
  engine_call c = test_archive(join(dir, "lh.zip"));
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_NE(c.record.text.find("file #1:  bad zipfile offset (local header sig):  0\n"), std::string::npos);
  EXPECT_NE(c.record.text.find(line("test", "second", " OK\n")), std::string::npos);
}

TEST(TestWalk, CompressedExtraFieldBlocksAreChecked) {
  fakes::TempDir dir{"walk"};
  auto block = [](uint16_t id, uint16_t method, const std::string& payload, uint32_t crc, uint32_t ulen) {
    std::string d;
    put32(d, ulen);
    put16(d, method);
    put32(d, crc);
    d += payload;
    std::string b;
    put16(b, id);
    put16(b, static_cast<uint32_t>(d.size()));
    return b + d;
  };
  const std::string ea = "extended attribute bytes";
  struct {
    std::string extra;
    int result;
    const char* text;
  } cases[] = {
      {block(0x4C41, 0, ea, crc32_of(ea), static_cast<uint32_t>(ea.size())), RC_OK, " OK\n"},
      {block(0x0009, 0, ea, crc32_of(ea) ^ 1, static_cast<uint32_t>(ea.size())), 2050,
       " bad CRC for extended attributes\n"},
      {block(0x4C41, 5, ea, 0, static_cast<uint32_t>(ea.size())), 5 * 256 + 2,
       " unknown compression method for EAs (5)\n"},
      {block(0x4C41, 0, "", 0, 10), 79, " compressed EA data missing (0 bytes)\n"},
      {std::string("\x41\x4C\x40\x00", 4) + "xx", RC_ERROR,
       "bad extra-field entry:\n      EF block length (64 bytes) exceeds remaining EF data (2 bytes)\n"},
      {block(0x1234, 7, "whatever", 0, 3), RC_OK, " OK\n"},  // not a tested block
  };
  for (auto& k : cases) {
    zip_entry e = stored("ea", "data");
    e.local_extra = k.extra;
    write_file(join(dir, "ea.zip"), build_zip({e}));
    engine_call c = test_archive(join(dir, "ea.zip"));
    EXPECT_EQ(c.result, k.result) << c.record.text;
    EXPECT_EQ(c.record.text.find(line("test", "ea", k.text)), 0u) << c.record.text;
  }
}

TEST(TestWalk, TargetDirectoryIsIgnoredWhenTesting) {
  fakes::TempDir dir{"walk"};
  engine_call c;
  c.options.test_only = 1;
  std::string target = join(dir, "never-made");
  c.options.target_directory = target.c_str();
  c.run(fixture("python.zip"));
  EXPECT_EQ(c.result, RC_OK);
  platform::FileStatus st;
  platform::native<platform::FileSystem>().status(target, st);
  EXPECT_EQ(st.kind, platform::FileKind::missing);
}

TEST(TestWalk, CancelAtTheFirstEntryStopsEverything) {
  engine_call c;
  c.options.test_only = 1;
  c.answers.cancel_at_stage = PROGRESS_START;
  c.run(fixture("python.zip"));
  EXPECT_EQ(c.result, RC_CANCELLED);
  EXPECT_EQ(c.record.progress.size(), 1u);
  EXPECT_EQ(c.record.text, "");
}

}  // namespace
