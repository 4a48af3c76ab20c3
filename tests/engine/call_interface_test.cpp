// The engine call itself: required callbacks, the default sound, the
// archive path checks (null, too long for the name buffers) and the option
// translation that other parts rely on.
#include <gtest/gtest.h>

#include "engine_harness.h"

using namespace engine_test;

namespace {

int quiet_print(const char*, uint32_t) { return 0; }
int any_replace(char*) { return 0; }

TEST(CallInterface, MissingRequiredCallbacksGiveSevere) {
  EngineOptions o{};
  o.archive_path = "x.zip";
  EngineCallbacks cb{};
  cb.replace = any_replace;
  EXPECT_EQ(zipengine_run(0, nullptr, 0, nullptr, &o, &cb), RC_SEVERE);
  cb = EngineCallbacks{};
  cb.print = quiet_print;
  EXPECT_EQ(zipengine_run(0, nullptr, 0, nullptr, &o, &cb), RC_SEVERE);
  EXPECT_EQ(zipengine_run(0, nullptr, 0, nullptr, &o, nullptr), RC_SEVERE);
}

TEST(CallInterface, NullSoundIsReplacedByADoNothingFunction) {
  fakes::TempDir dir{"call"};
  write_file(join(dir, "s.zip"), build_zip({stored("x", "1")}));
  engine_call c;
  c.options.list_contents = 1;
  c.callbacks.sound = nullptr;
  c.run(join(dir, "s.zip"));
  EXPECT_EQ(c.result, RC_OK);
  ASSERT_NE(c.callbacks.sound, nullptr);
  c.callbacks.sound();
}

TEST(CallInterface, NullArchivePathGivesNoArchiveSilently) {
  engine_record rec;
  current_record() = &rec;
  EngineOptions o{};
  EngineCallbacks cb{};
  cb.print = record_print;
  cb.replace = record_replace;
  EXPECT_EQ(zipengine_run(0, nullptr, 0, nullptr, &o, &cb), RC_NO_ARCHIVE);
  EXPECT_EQ(zipengine_run(0, nullptr, 0, nullptr, nullptr, &cb), RC_NO_ARCHIVE);
  current_record() = nullptr;
  EXPECT_EQ(rec.text, "");
}

TEST(CallInterface, ArchivePathsLongerThanTheNameBufferAreRefused) {
  std::string long_path(300, 'p');
  engine_call c = list_archive(long_path);
  EXPECT_EQ(c.result, RC_NO_ARCHIVE);
  EXPECT_EQ(c.record.text, "error:  zipfile name too long (300 characters; at most 259)\n");

  // 257 characters fit, but the retry name with ".zip" would not: no retry.
  fakes::TempDir dir{"call"};
  std::string fits = join(dir, "");
  fits += std::string(257 - fits.size(), 'q');
  engine_call r = list_archive(fits);
  EXPECT_EQ(r.result, RC_NO_ARCHIVE);
  EXPECT_EQ(r.record.text, "zipengine:  cannot find " + fits + " (and no room to try it with \".zip\").\n");
}

TEST(CallInterface, InfoListingForcesQuietLevelTwo) {
  fakes::TempDir dir{"call"};
  write_file(join(dir, "i.zip"), build_zip({stored("x", "12345"), stored("y", "")}));
  engine_call c;
  c.options.info_listing = 1;
  c.options.quiet_level = 0;
  c.callbacks.entry_count = 55;
  c.run(join(dir, "i.zip"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.callbacks.entry_count, 55u);  // totals are not written at quiet level 2
  EXPECT_TRUE(c.record.listed.empty());
  EXPECT_NE(c.record.text.find("x\n"), std::string::npos) << c.record.text;
  // Each listed entry is reported to progress at stage 3 with its size.
  ASSERT_EQ(c.record.progress.size(), 2u);
  EXPECT_EQ(c.record.progress[0].stage, PROGRESS_END);
  EXPECT_EQ(c.record.progress[0].value, 5u);
}

TEST(CallInterface, ProgressCanCancelTheInfoListing) {
  fakes::TempDir dir{"call"};
  write_file(join(dir, "i.zip"), build_zip({stored("x", "12345"), stored("y", "")}));
  engine_call c;
  c.options.info_listing = 1;
  c.answers.cancel_at_stage = PROGRESS_END;
  c.run(join(dir, "i.zip"));
  EXPECT_EQ(c.result, RC_CANCELLED);
  EXPECT_EQ(c.record.progress.size(), 1u);
}

}  // namespace
