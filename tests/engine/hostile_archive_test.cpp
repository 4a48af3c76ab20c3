// Archives built to hurt: entries that share or overlap each other's bytes
// (the "zip bomb" shapes), local headers that contradict the central
// directory, data that runs past its declared size or stops short of it,
// fields cut off by the end of the file, and names given twice. Each entry
// that is refused gets a message and an error result; the rest of the
// archive is still extracted, and nothing is written that the archive does
// not own.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoders/deflate_writer.h"
#include "engine_harness.h"
#include "platform/file_system.h"
#include "written_names.h"

using namespace engine_test;

namespace {

platform::FileSystem& fs() { return platform::native<platform::FileSystem>(); }

// `n` zero bytes as one fixed-Huffman Deflate block: a literal, then
// matches of 258 at distance 1 (13 bits each), so megabytes take kilobytes.
std::string zeros_deflated(uint32_t n) {
  deflate_writer w;
  w.block_header(true, 1);
  uint32_t left = n;
  if (left > 0) {
    w.fixed_symbol(0);
    --left;
  }
  for (; left >= 258; left -= 258) w.fixed_match_258_distance(0, 0, 0);
  for (; left > 0; --left) w.fixed_symbol(0);
  w.fixed_symbol(256);
  std::vector<uint8_t> b = w.finish();
  return std::string(b.begin(), b.end());
}

// One local header, as bytes.
std::string local_header(const std::string& name, uint16_t method, uint32_t crc, uint32_t csize, uint32_t usize,
                         uint16_t flags = 0, uint16_t extra_length = 0) {
  std::string h("PK\3\4", 4);
  h.push_back(20);  // version needed
  h.push_back(0);
  put16(h, flags);
  put16(h, method);
  put32(h, DEFAULT_DOS_TIME);
  put32(h, crc);
  put32(h, csize);
  put32(h, usize);
  put16(h, static_cast<uint32_t>(name.size()));
  put16(h, extra_length);
  return h + name;
}

struct central_spec {
  std::string name;
  uint16_t method;
  uint32_t crc, csize, usize, offset;
};

// Appends a central directory of `entries` and the end record to `body`.
std::string with_directory(std::string body, const std::vector<central_spec>& entries) {
  std::string cd;
  for (const central_spec& e : entries) {
    cd += std::string("PK\1\2", 4);
    cd += std::string("\x14\0\x14\0", 4);  // made by / needed: 2.0, FAT
    put16(cd, 0);
    put16(cd, e.method);
    put32(cd, DEFAULT_DOS_TIME);
    put32(cd, e.crc);
    put32(cd, e.csize);
    put32(cd, e.usize);
    put16(cd, static_cast<uint32_t>(e.name.size()));
    put16(cd, 0);
    put16(cd, 0);
    put16(cd, 0);
    put16(cd, 0);
    put32(cd, 0);
    put32(cd, e.offset);
    cd += e.name;
  }
  std::string end("PK\5\6", 4);
  put16(end, 0);
  put16(end, 0);
  put16(end, static_cast<uint32_t>(entries.size()));
  put16(end, static_cast<uint32_t>(entries.size()));
  put32(end, static_cast<uint32_t>(cd.size()));
  put32(end, static_cast<uint32_t>(body.size()));
  put16(end, 0);
  return body + cd + end;
}

int count_of(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
  return n;
}

// Every file below `dir` with its size, relative names, sorted.
void sizes_below(const std::string& dir, const std::string& prefix, std::vector<std::string>& out) {
  std::vector<platform::DirectoryEntry> list;
  if (fs().list_directory(dir, list) != platform::Error::none) return;
  for (const auto& e : list) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::FILE_ATTR_DIRECTORY)
      sizes_below(dir + "/" + e.name, prefix + e.name + "/", out);
    else
      out.push_back(prefix + e.name + " " + std::to_string(e.size));
  }
}
std::vector<std::string> files_below(const std::string& dir) {
  std::vector<std::string> out;
  sizes_below(dir, "", out);
  std::sort(out.begin(), out.end());
  return out;
}

class HostileArchive : public ::testing::Test {
 protected:
  fakes::TempDir dir{"hostile"};
  std::string archive = join(dir, "x.zip");
  std::string target = join(dir, "out");

  void SetUp() override { ASSERT_EQ(fs().create_directory(target), platform::Error::none); }
  engine_call extract(const std::string& bytes, bool test = false) {
    write_file(archive, bytes);
    engine_call c;
    c.options.overwrite_always = 1;
    if (test)
      c.options.test_only = 1;
    else
      c.options.target_directory = target.c_str();
    c.run(archive);
    return c;
  }
  // Only the target received anything: beside it lies just the archive.
  void nothing_beside_target() {
    std::vector<std::string> all = files_below(dir.path());
    for (const std::string& f : all)
      EXPECT_TRUE(f.rfind("out/", 0) == 0 || f.rfind("x.zip ", 0) == 0) << f;
  }
};

TEST_F(HostileArchive, EntriesSharingOneLocalHeaderAreExtractedOnce) {
  const std::string data = zeros_deflated(420000);
  const uint32_t crc = crc32_of(std::string(420000, '\0'));
  std::string body = local_header("f0", 8, crc, static_cast<uint32_t>(data.size()), 420000) + data;
  std::vector<central_spec> cd;
  for (int i = 0; i < 100; ++i) cd.push_back({"f" + std::to_string(i), 8, crc, static_cast<uint32_t>(data.size()), 420000, 0});
  std::string zip = with_directory(body, cd);

  engine_call c = extract(zip);
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_EQ(files_below(target), std::vector<std::string>{"f0 420000"});
  EXPECT_EQ(count_of(c.record.text, ":  f0:  local header belongs to an earlier entry\n"), 99) << c.record.text;
  EXPECT_NE(c.record.text.find("file #100:  f0:  local header belongs"), std::string::npos);
  nothing_beside_target();
  // Testing decodes the block once too.
  engine_call t = extract(zip, true);
  EXPECT_EQ(t.result, RC_ERROR);
  EXPECT_EQ(count_of(t.record.text, "local header belongs to an earlier entry"), 99);
}

// Each entry's data quotes (as a stored Deflate block) the next entry's
// local header and then goes on into that entry's data: ten small entries
// would expand to ten copies of the innermost one.
TEST_F(HostileArchive, QuotedOverlapGivesOnlyTheInnermostEntry) {
  const int n = 10;
  const uint32_t kernel_size = 1000000;
  std::vector<std::string> headers(n), datas(n), plains(n);
  datas[n - 1] = zeros_deflated(kernel_size);
  plains[n - 1] = std::string(kernel_size, '\0');
  for (int i = n - 1; i >= 0; --i) {
    if (i < n - 1) {
      const std::string& next = headers[i + 1];
      std::string quote(1, '\0');  // a stored block, not the last
      put16(quote, static_cast<uint32_t>(next.size()));
      put16(quote, static_cast<uint32_t>(~next.size() & 0xFFFF));
      datas[i] = quote + next + datas[i + 1];
      plains[i] = next + plains[i + 1];
    }
    headers[i] = local_header(std::string(1, static_cast<char>('a' + i)), 8, crc32_of(plains[i]),
                              static_cast<uint32_t>(datas[i].size()), static_cast<uint32_t>(plains[i].size()));
  }
  std::vector<central_spec> cd;
  uint32_t offset = 0;
  for (int i = 0; i < n; ++i) {
    cd.push_back({std::string(1, static_cast<char>('a' + i)), 8, crc32_of(plains[i]),
                  static_cast<uint32_t>(datas[i].size()), static_cast<uint32_t>(plains[i].size()), offset});
    offset += static_cast<uint32_t>(headers[i].size()) + 5;
  }
  engine_call c = extract(with_directory(headers[0] + datas[0], cd));
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_EQ(files_below(target), std::vector<std::string>{"j 1000000"});
  EXPECT_EQ(count_of(c.record.text, "data overlaps the next entry\n"), n - 1) << c.record.text;
  EXPECT_NE(c.record.text.find("file #1:  a:  data overlaps the next entry\n"), std::string::npos);
  nothing_beside_target();
}

TEST_F(HostileArchive, TwoDirectoryEntriesOnOneLocalHeader) {
  std::string zip = with_directory(local_header("d1/", 0, 0, 0, 0), {{"d1/", 0, 0, 0, 0, 0}, {"d2/", 0, 0, 0, 0, 0}});
  engine_call c = extract(zip);
  EXPECT_EQ(c.result, RC_ERROR);
  platform::FileStatus st;
  ASSERT_EQ(fs().status(target + "/d1", st), platform::Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::directory);
  ASSERT_EQ(fs().status(target + "/d2", st), platform::Error::none);
  EXPECT_EQ(st.kind, platform::FileKind::missing);
  EXPECT_NE(c.record.text.find("file #2:  d1/:  local header belongs to an earlier entry\n"), std::string::npos)
      << c.record.text;
}

TEST_F(HostileArchive, DataReachingIntoTheCentralDirectoryIsRefusedAndTheRestExtracted) {
  std::string first = local_header("ok.txt", 0, crc32_of("fine"), 4, 4) + "fine";
  // The second entry claims 100 bytes more than lie before the directory.
  std::string second = local_header("long.bin", 0, crc32_of("abc"), 103, 103) + "abc";
  std::string zip = with_directory(first + second, {{"ok.txt", 0, crc32_of("fine"), 4, 4, 0},
                                                    {"long.bin", 0, crc32_of("abc"), 103, 103,
                                                     static_cast<uint32_t>(first.size())}});
  engine_call c = extract(zip);
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_EQ(files_below(target), std::vector<std::string>{"ok.txt 4"});
  EXPECT_NE(c.record.text.find("file #2:  long.bin:  data overlaps the central directory\n"), std::string::npos)
      << c.record.text;

  // Behind 4,096 bytes of a program (offsets still counted from the
  // archive's start) the directory is where the file has it: the same
  // refusal, though the entry's end lies far before that file offset.
  ASSERT_EQ(fs().delete_file(target + "/ok.txt"), platform::Error::none);
  engine_call p = extract(std::string(4096, 'x') + zip);
  EXPECT_EQ(p.result, RC_ERROR);
  EXPECT_EQ(files_below(target), std::vector<std::string>{"ok.txt 4"});
  EXPECT_NE(p.record.text.find("4096 extra bytes at beginning or within zipfile"), std::string::npos) << p.record.text;
  EXPECT_NE(p.record.text.find("file #2:  long.bin:  data overlaps the central directory\n"), std::string::npos)
      << p.record.text;
}

TEST_F(HostileArchive, LocalHeaderDisagreeingOnNameMethodOrSizesRefusesThatEntry) {
  const std::string text = "some text, some text, some text";
  const std::string packed = zeros_deflated(40);
  const uint32_t zcrc = crc32_of(std::string(40, '\0'));
  std::string body;
  std::vector<central_spec> cd;
  auto add = [&](const std::string& local, const central_spec& central) {
    cd.push_back(central);
    cd.back().offset = static_cast<uint32_t>(body.size());
    body += local;
  };
  const uint32_t tlen = static_cast<uint32_t>(text.size());
  const uint32_t plen = static_cast<uint32_t>(packed.size());
  add(local_header("first.txt", 0, crc32_of(text), tlen, tlen) + text, {"first.txt", 0, crc32_of(text), tlen, tlen, 0});
  add(local_header("evil.exe", 0, crc32_of(text), tlen, tlen) + text, {"good.txt", 0, crc32_of(text), tlen, tlen, 0});
  // The directory says stored, the local header Deflate.
  add(local_header("zeros.bin", 8, zcrc, plen, 40) + packed, {"zeros.bin", 0, zcrc, plen, 40, 0});
  add(local_header("sized.txt", 0, crc32_of(text), tlen, tlen) + text,
      {"sized.txt", 0, crc32_of(text), tlen, tlen + 1000, 0});
  add(local_header("last.txt", 0, crc32_of(text), tlen, tlen) + text, {"last.txt", 0, crc32_of(text), tlen, tlen, 0});

  engine_call c = extract(with_directory(body, cd));
  EXPECT_EQ(c.result, RC_ERROR);
  const std::string n = std::to_string(tlen);
  EXPECT_EQ(files_below(target), (std::vector<std::string>{"first.txt " + n, "last.txt " + n}));
  const std::string& t = c.record.text;
  EXPECT_NE(t.find("file #2:  evil.exe:  local header and central directory differ (name)\n"), std::string::npos) << t;
  EXPECT_NE(t.find("file #3:  zeros.bin:  local header and central directory differ (method)\n"), std::string::npos);
  EXPECT_NE(t.find("file #4:  sized.txt:  local header and central directory differ (sizes)\n"), std::string::npos);
  nothing_beside_target();
}

TEST_F(HostileArchive, OutputStopsAtTheDeclaredSize) {
  // Ten megabytes of zeros that say they are a thousand bytes.
  const std::string bomb = zeros_deflated(10000000);
  zip_entry e;
  e.name = "bomb.bin";
  e.method = 8;
  e.data = bomb;
  e.plain = std::string(1000, '\0');
  e.plain_given = true;
  zip_entry after = stored("after.txt", "still here");
  std::string zip = build_zip({e, after});

  engine_call c = extract(zip);
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_EQ(files_below(target), (std::vector<std::string>{"after.txt 10", "bomb.bin 1000"}));
  EXPECT_NE(c.record.text.find("bomb.bin   bad length: more than the declared 1000 bytes\n"), std::string::npos)
      << c.record.text;
  uint64_t delivered = 0;
  for (const progress_event& p : c.record.progress)
    if (p.stage == PROGRESS_DATA && p.name.find("bomb.bin") != std::string::npos) delivered += p.value;
  EXPECT_EQ(delivered, 1000u);

  engine_call t = extract(zip, true);
  EXPECT_EQ(t.result, RC_ERROR);
  EXPECT_NE(t.record.text.find(" bad length: more than the declared 1000 bytes\n"), std::string::npos);

  // Stored data longer than its declared size stops there as well.
  zip_entry s = stored("long.txt", std::string(5000, 'x'));
  s.plain = std::string(1000, 'x');
  s.plain_given = true;
  engine_call l = extract(build_zip({s}));
  EXPECT_EQ(l.result, RC_ERROR);
  EXPECT_EQ(files_below(target), (std::vector<std::string>{"after.txt 10", "bomb.bin 1000", "long.txt 1000"}));
}

TEST_F(HostileArchive, DataShortOfTheDeclaredSizeIsAnError) {
  // 200 bytes that claim 3 GiB: the CRC of what is there matches.
  std::string data;
  for (int i = 0; i < 200; ++i) data.push_back(static_cast<char>(i));
  std::string zip = with_directory(local_header("big.bin", 0, crc32_of(data), 200, 3u << 30) + data,
                                   {{"big.bin", 0, crc32_of(data), 200, 3u << 30, 0}});
  engine_call c = extract(zip);
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_NE(c.record.text.find(" bad length 200  (should be 3221225472)\n"), std::string::npos) << c.record.text;
  EXPECT_EQ(files_below(target), std::vector<std::string>{"big.bin 200"});

  // A Deflate stream that ends early, CRC matching what it gave.
  const std::string packed = zeros_deflated(100);
  const uint32_t crc = crc32_of(std::string(100, '\0'));
  const uint32_t plen = static_cast<uint32_t>(packed.size());
  engine_call s = extract(with_directory(local_header("short.bin", 8, crc, plen, 150) + packed,
                                         {{"short.bin", 8, crc, plen, 150, 0}}),
                          true);
  EXPECT_EQ(s.result, RC_ERROR);
  EXPECT_NE(s.record.text.find(" bad length 100  (should be 150)\n"), std::string::npos) << s.record.text;
}

TEST_F(HostileArchive, FieldsCutOffByTheEndOfTheFileAreErrors) {
  const std::string data = "0123456789";
  // The local extra field claims 60,000 bytes; the file ends long before.
  std::string body = local_header("e.txt", 0, crc32_of(data), 10, 10, 0, 60000) + data;
  engine_call c = extract(with_directory(body, {{"e.txt", 0, crc32_of(data), 10, 10, 0}}));
  EXPECT_EQ(c.result, RC_EARLY_EOF);
  EXPECT_NE(c.record.text.find("e.txt:  bad extra field length (local)\n"), std::string::npos) << c.record.text;
  EXPECT_TRUE(files_below(target).empty());
}

TEST_F(HostileArchive, ANameGivenTwiceIsWrittenOnce) {
  // Written alike once mapped: the same name, a doubled separator, a
  // leading one.
  std::string zip = build_zip({stored("same.txt", "first"), stored("same.txt", "second"), stored("d/x", "one"),
                               stored("d//x", "two"), stored("/d/x", "three")});
  engine_call c = extract(zip);
  EXPECT_EQ(c.result, RC_ERROR);
  EXPECT_EQ(read_file(target + "/same.txt"), "first");
  EXPECT_EQ(read_file(target + "/d/x"), "one");
  EXPECT_EQ(count_of(c.record.text, "an earlier entry has the same name\n"), 3) << c.record.text;
  EXPECT_NE(c.record.text.find("file #2:  " + target + "/same.txt:  an earlier entry has the same name\n"),
            std::string::npos);

  // With junk paths the caller makes names meet: the overwrite rules decide.
  engine_call j;
  j.options.target_directory = target.c_str();
  j.options.overwrite_always = 1;
  j.options.keep_paths = 0;
  write_file(archive, build_zip({stored("a/n.txt", "from a"), stored("b/n.txt", "from b")}));
  j.run(archive);
  EXPECT_EQ(j.result, RC_OK) << j.record.text;
  EXPECT_EQ(read_file(target + "/n.txt"), "from b");
}

// The store behind the rule keeps most names sorted and merges new ones in
// by the hundred: across many merges every name is told from every other.
TEST(WrittenNames, EveryNameIsFoundAgainAcrossMerges) {
  written_names names;
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(names.insert(("dir/file" + std::to_string(i * 7919 % 3001)).c_str())) << i;
  for (int i = 0; i < 3000; ++i) ASSERT_FALSE(names.insert(("dir/file" + std::to_string(i * 7919 % 3001)).c_str())) << i;
  EXPECT_TRUE(names.insert("dir/file3000x"));
}

}  // namespace
