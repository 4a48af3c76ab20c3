// The listing hands every selected entry to list_entry with the thirteen
// documented values, in central-directory order, and fills the totals only
// when the quiet level allows.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "platform/code_page.h"
#include "platform/local_time.h"
#include "platform/locale_info.h"

using namespace engine_test;

namespace {

class Listing : public ::testing::Test {
 protected:
  fakes::TempDir dir{"engine"};
  std::string path(const std::string& name) { return join(dir, name); }
  engine_call list(const std::vector<zip_entry>& entries, const std::string& name = "l.zip") {
    write_file(path(name), build_zip(entries));
    return list_archive(path(name));
  }
};

TEST_F(Listing, ManyEntriesComeInCentralDirectoryOrderWithTotals) {
  std::vector<zip_entry> entries;
  uint32_t sum = 0;
  for (int i = 0; i < 150; ++i) {
    std::string data(static_cast<size_t>(i * 3), static_cast<char>('a' + i % 26));
    sum += static_cast<uint32_t>(data.size());
    entries.push_back(stored("f" + std::to_string(i) + ".txt", data));
  }
  engine_call c = list(entries);
  EXPECT_EQ(c.result, RC_OK);
  ASSERT_EQ(c.record.listed.size(), 150u);
  for (int i = 0; i < 150; ++i) {
    EXPECT_EQ(c.record.listed[i].name, "f" + std::to_string(i) + ".txt");
    EXPECT_EQ(c.record.listed[i].uncompressed, static_cast<uint32_t>(i * 3));
    EXPECT_EQ(c.record.listed[i].crc, crc32_of(entries[i].data));
  }
  EXPECT_EQ(c.callbacks.entry_count, 150u);
  EXPECT_EQ(c.callbacks.total_uncompressed, sum);
  EXPECT_EQ(c.callbacks.total_compressed, sum);
  EXPECT_EQ(c.callbacks.total_ratio, 0);
}

TEST_F(Listing, ValuesOfOneEntry) {
  zip_entry e = stored("docs/read me.txt", "");
  e.method = 8;
  e.data = std::string(250, 'x');
  e.plain = std::string(1000, 'y');
  e.plain_given = true;
  e.dos_time = ((2019u - 1980u) << 25) | (11u << 21) | (23u << 16) | (17u << 11) | (45u << 5) | 7u;
  e.flags = 2;  // maximum compression
  engine_call c = list({e});
  ASSERT_EQ(c.record.listed.size(), 1u);
  const listed_entry& l = c.record.listed[0];
  EXPECT_EQ(l.uncompressed, 1000u);
  EXPECT_EQ(l.compressed, 250u);
  EXPECT_EQ(l.ratio, 75);
  EXPECT_EQ(l.date1, 11);  // month, day, year by default
  EXPECT_EQ(l.date2, 23);
  EXPECT_EQ(l.date3, 19);
  EXPECT_EQ(l.hour, 17);
  EXPECT_EQ(l.minute, 45);
  EXPECT_EQ(l.case_mark, ' ');
  EXPECT_EQ(l.method, "Defl:X");
  EXPECT_EQ(l.crc, crc32_of(e.plain));
  EXPECT_EQ(l.encryption_mark, ' ');
}

TEST_F(Listing, MethodTexts) {
  struct {
    uint16_t method, flags;
    const char* text;
  } cases[] = {{0, 0, "Stored"},   {1, 0, "Shrunk"},  {2, 0, "Reduce1"}, {5, 0, "Reduce4"}, {6, 0, "Implode"},
               {7, 0, "Token"},    {8, 0, "Defl:N"},  {8, 2, "Defl:X"},  {8, 4, "Defl:F"},  {8, 6, "Defl:S"},
               {9, 0, "Def64N"},   {9, 6, "Def64S"},  {10, 0, "ImplDCL"}, {12, 0, "Unk:012"}, {99, 0, "Unk:099"},
               {1234, 0, "Unk:1234"}};
  std::vector<zip_entry> entries;
  for (auto& k : cases) {
    zip_entry e = stored("m" + std::to_string(entries.size()), "data");
    e.method = k.method;
    e.flags = k.flags;
    entries.push_back(e);
  }
  engine_call c = list(entries);
  ASSERT_EQ(c.record.listed.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(c.record.listed[i].method, cases[i].text) << i;
}

TEST_F(Listing, EncryptedEntryExcludesItsHeaderFromTheCompressedSize) {
  zip_entry e = stored("secret", std::string(112, 's'));
  e.flags = 1;
  e.plain = std::string(100, 'p');
  e.plain_given = true;
  zip_entry damaged = stored("tiny", "abc");  // too small for an encryption header
  damaged.flags = 1;
  engine_call c = list({e, damaged});
  ASSERT_EQ(c.record.listed.size(), 2u);
  EXPECT_EQ(c.record.listed[0].compressed, 100u);
  EXPECT_EQ(c.record.listed[0].encryption_mark, 'E');
  EXPECT_EQ(c.record.listed[0].ratio, 0);
  EXPECT_EQ(c.record.listed[1].compressed, 0u);
  EXPECT_EQ(c.callbacks.total_compressed, 100u);
}

TEST_F(Listing, GrownEntryReportsTheGrowthWithoutSign) {
  zip_entry e = stored("grown", std::string(1123, 'g'));
  e.method = 8;
  e.plain = std::string(1000, 'p');
  e.plain_given = true;
  zip_entry huge = stored("huge", std::string(5000, 'h'));
  huge.method = 8;
  huge.plain = "x";
  huge.plain_given = true;
  engine_call c = list({e, huge});
  ASSERT_EQ(c.record.listed.size(), 2u);
  EXPECT_EQ(c.record.listed[0].ratio, 12);
  EXPECT_EQ(c.record.listed[1].ratio, 499900);
}

TEST_F(Listing, ControlCharactersInNamesAreShownWithCarets) {
  engine_call c = list({stored(std::string("a\x01") + "b\x1f", "x")});
  ASSERT_EQ(c.record.listed.size(), 1u);
  EXPECT_EQ(c.record.listed[0].name, "a^Ab^_");
}

TEST_F(Listing, FatNamesAreConvertedFromOemUnlessFlaggedUtf8) {
  zip_entry oem = stored("gr\x81n", "1");  // CP437 0x81 is u with diaeresis
  oem.made_by_host = 0;
  zip_entry unix_host = stored("gr\x81n", "2");
  unix_host.made_by_host = 3;
  zip_entry utf8 = stored("gr\xC3\xBCn", "3");
  utf8.made_by_host = 0;
  utf8.flags = 0x0800;
  engine_call c = list({oem, unix_host, utf8});
  ASSERT_EQ(c.record.listed.size(), 3u);
  // Names go on in UTF-8; one left as stored is in the ANSI code page
  // (POSIX: UTF-8 already, unchanged).
  EXPECT_EQ(c.record.listed[0].name, "gr\xC3\xBCn");
  EXPECT_EQ(c.record.listed[1].name, platform::code_page().ansi_to_utf8("gr\x81n"));
  EXPECT_EQ(c.record.listed[2].name, "gr\xC3\xBCn");
}

TEST_F(Listing, PatternsSelectEntries) {
  std::vector<zip_entry> entries = {stored("a.txt", "1"), stored("b.TXT", "2"), stored("dir/c.txt", "3"),
                                    stored("dir/d.bin", "4")};
  write_file(path("p.zip"), build_zip(entries));

  engine_call only_excludes;
  only_excludes.options.list_contents = 1;
  only_excludes.excludes = {"*.bin"};
  only_excludes.run(path("p.zip"));
  ASSERT_EQ(only_excludes.record.listed.size(), 3u);
  EXPECT_EQ(only_excludes.callbacks.entry_count, 3u);

  engine_call folded;
  folded.options.list_contents = 1;
  folded.options.ignore_case = 1;
  folded.includes = {"*.txt"};
  folded.excludes = {"dir/*"};
  folded.run(path("p.zip"));
  ASSERT_EQ(folded.record.listed.size(), 2u);
  EXPECT_EQ(folded.record.listed[1].name, "b.TXT");

  engine_call none;
  none.options.list_contents = 1;
  none.includes = {"nothing*"};
  none.run(path("p.zip"));
  EXPECT_EQ(none.result, RC_NOTHING_FOUND);
  EXPECT_TRUE(none.record.listed.empty());
}

TEST_F(Listing, PatternListsAreCutAtTheFirstNullAndIgnoredWithoutAVector) {
  std::vector<zip_entry> entries = {stored("one", "1"), stored("two", "2"), stored("three", "3")};
  write_file(path("n.zip"), build_zip(entries));
  EngineOptions o{};
  o.list_contents = 1;
  std::string archive = path("n.zip");
  o.archive_path = archive.c_str();
  engine_record rec;
  current_record() = &rec;
  EngineCallbacks cb{};
  cb.print = record_print;
  cb.replace = record_replace;
  cb.list_entry = record_list;
  const char* includes[] = {"one", nullptr, "three"};
  EXPECT_EQ(zipengine_run(3, includes, 0, nullptr, &o, &cb), RC_OK);
  ASSERT_EQ(rec.listed.size(), 1u);
  EXPECT_EQ(rec.listed[0].name, "one");

  rec = engine_record{};
  EXPECT_EQ(zipengine_run(2, nullptr, 0, nullptr, &o, &cb), RC_OK);
  EXPECT_EQ(rec.listed.size(), 3u);
  current_record() = nullptr;
}

TEST_F(Listing, QuietLevelTwoLeavesTheTotalsAlone) {
  write_file(path("q.zip"), build_zip({stored("x", "12345")}));
  engine_call c;
  c.options.list_contents = 1;
  c.options.quiet_level = 2;
  c.callbacks.entry_count = 777;
  c.callbacks.total_uncompressed = 888;
  c.run(path("q.zip"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.record.listed.size(), 1u);
  EXPECT_EQ(c.callbacks.entry_count, 777u);
  EXPECT_EQ(c.callbacks.total_uncompressed, 888u);
}

TEST_F(Listing, ListingWithoutListEntryCallbackStillCounts) {
  write_file(path("nl.zip"), build_zip({stored("x", "12345")}));
  engine_call c;
  c.options.list_contents = 1;
  c.callbacks.list_entry = nullptr;
  c.run(path("nl.zip"));
  EXPECT_EQ(c.result, RC_OK);
  EXPECT_EQ(c.callbacks.entry_count, 1u);
}

TEST_F(Listing, EntryCommentsAreShownAtQuietLevelZero) {
  zip_entry e = stored("c", "x");
  e.comment = "about\r\nc";
  write_file(path("ec.zip"), build_zip({e}));
  engine_call c = list_archive(path("ec.zip"));
  // Shown in display form: the line feed too becomes "^J".
  EXPECT_EQ(c.record.text, "about^Jc\n\n");
  engine_call q;
  q.options.list_contents = 1;
  q.options.quiet_level = 1;
  q.run(path("ec.zip"));
  EXPECT_EQ(q.record.text, "");
  EXPECT_EQ(q.record.listed.size(), 1u);
}

TEST_F(Listing, OverlongNameIsTruncatedWithAWarning) {
  std::string name(300, 'n');
  engine_call c = list({stored(name, "x"), stored("next", "y")});
  EXPECT_EQ(c.result, RC_WARNING);
  ASSERT_EQ(c.record.listed.size(), 2u);
  EXPECT_EQ(c.record.listed[0].name, std::string(259, 'n'));
  EXPECT_EQ(c.record.listed[1].name, "next");
  EXPECT_EQ(c.record.text, "warning:  filename too long--truncating.\n[ " + std::string(259, 'n') + " ]\n");
}

TEST_F(Listing, MissingEndSignatureAfterTheDirectoryIsNoted) {
  // The entry count says 1, and after the one entry comes no end record
  // but another (bogus) block.
  std::string zip = build_zip({stored("x", "1")});
  size_t end_at = zip.rfind(std::string("PK\5\6", 4));
  std::string tail = zip.substr(end_at);
  // Put 4 junk bytes between the directory and the end record and make the
  // directory size cover them, so the walk ends on the junk.
  std::string junk = "JUNK";
  std::string damaged = zip.substr(0, end_at) + junk + tail;
  uint32_t size = static_cast<uint32_t>(damaged[end_at + 4 + 12] & 0xFF) |
                  (static_cast<uint32_t>(damaged[end_at + 4 + 13] & 0xFF) << 8);
  size += 4;
  damaged[end_at + 4 + 12] = static_cast<char>(size & 0xFF);
  damaged[end_at + 4 + 13] = static_cast<char>(size >> 8);
  write_file(path("ns.zip"), damaged);
  engine_call c = list_archive(path("ns.zip"));
  EXPECT_EQ(c.result, RC_WARNING);
  EXPECT_EQ(c.record.text, "\nnote:  didn't find end-of-central-dir signature at end of central dir.\n");
  EXPECT_EQ(c.record.listed.size(), 1u);
}

class FixedDateOrder : public platform::LocaleInfo {
 public:
  explicit FixedDateOrder(int order) : order_(order) {}
  int date_order() override { return order_; }

 private:
  int order_;
};

TEST_F(Listing, DatesFollowTheLocaleOrder) {
  zip_entry e = stored("d", "x");
  e.dos_time = ((2001u - 1980u) << 25) | (2u << 21) | (3u << 16);
  write_file(path("d.zip"), build_zip({e}));
  {
    FixedDateOrder dmy(platform::DATE_ORDER_DMY);
    platform::ScopedService<platform::LocaleInfo> use(dmy);
    engine_call c = list_archive(path("d.zip"));
    ASSERT_EQ(c.record.listed.size(), 1u);
    EXPECT_EQ(c.record.listed[0].date1, 3);
    EXPECT_EQ(c.record.listed[0].date2, 2);
    EXPECT_EQ(c.record.listed[0].date3, 1);
  }
  {
    FixedDateOrder ymd(platform::DATE_ORDER_YMD);
    platform::ScopedService<platform::LocaleInfo> use(ymd);
    engine_call c = list_archive(path("d.zip"));
    ASSERT_EQ(c.record.listed.size(), 1u);
    EXPECT_EQ(c.record.listed[0].date1, 1);
    EXPECT_EQ(c.record.listed[0].date2, 2);
    EXPECT_EQ(c.record.listed[0].date3, 3);
  }
}

TEST_F(Listing, ExtendedTimestampWinsOverTheDosTime) {
  zip_entry e = stored("t", "x");
  // Extended timestamp block 0x5455 with a modification time.
  int64_t when = 1700000000;  // 2023-11-14 22:13:20 UTC
  std::string ut;
  put16(ut, 0x5455);
  put16(ut, 5);
  ut.push_back(1);
  put32(ut, static_cast<uint32_t>(when));
  e.central_extra = ut;
  write_file(path("ut.zip"), build_zip({e}));
  engine_call c = list_archive(path("ut.zip"));
  ASSERT_EQ(c.record.listed.size(), 1u);
  platform::BrokenDownTime local;
  ASSERT_TRUE(platform::local_time().to_local(when, local));
  EXPECT_EQ(c.record.listed[0].date1, local.month);
  EXPECT_EQ(c.record.listed[0].date2, local.day);
  EXPECT_EQ(c.record.listed[0].date3, local.year % 100);
  EXPECT_EQ(c.record.listed[0].hour, local.hour);
  EXPECT_EQ(c.record.listed[0].minute, local.minute);

  // The next entry, without an extra field, does not inherit that time.
  zip_entry plain = stored("p", "y");
  plain.dos_time = ((2001u - 1980u) << 25) | (2u << 21) | (3u << 16) | (4u << 11) | (5u << 5);
  write_file(path("ut2.zip"), build_zip({e, plain}));
  engine_call two = list_archive(path("ut2.zip"));
  ASSERT_EQ(two.record.listed.size(), 2u);
  EXPECT_EQ(two.record.listed[1].date3, 1);
  EXPECT_EQ(two.record.listed[1].hour, 4);
  EXPECT_EQ(two.record.listed[1].minute, 5);
}

}  // namespace
