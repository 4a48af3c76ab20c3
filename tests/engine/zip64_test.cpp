// Archives in the zip64 forms, built here so that each field can be wrong
// on purpose: the zip64 end record and its locator, and zip64 extra blocks
// in central and local headers. Good ones are read as their plain twins
// are; values that claim more than the file holds are refused with a
// message, the entry (or the archive) alone, and nothing is allocated or
// sought for them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_harness.h"
#include "platform/file_system.h"

using namespace engine_test;

namespace {

platform::FileSystem& fs() { return platform::native<platform::FileSystem>(); }

void put64(std::string& s, uint64_t v) {
  put32(s, static_cast<uint32_t>(v));
  put32(s, static_cast<uint32_t>(v >> 32));
}

std::string zip64_block(const std::vector<uint64_t>& values) {
  std::string b;
  put16(b, 1);
  put16(b, static_cast<uint32_t>(values.size() * 8));
  for (uint64_t v : values) put64(b, v);
  return b;
}

struct entry64 {
  std::string name, data;
  // Central zip64 block as written; empty: uncompressed, compressed, offset.
  std::string central_block;
  bool central_block_given = false;
  uint64_t listed_uncompressed = UINT64_MAX;  // for the central block, when not the data's size
};

struct layout64 {
  std::string prefix;  // bytes in front; every offset counts from the file's start
  bool zip64_record = true;
  bool locator = true;
  uint64_t record_entries = UINT64_MAX;  // the zip64 record's counts, when not the entries'
  uint64_t record_central_offset = UINT64_MAX;
};

// The fields local and central headers share, from "version needed" to the
// extra field's length: stored, both sizes in the zip64 block.
void header_fields(std::string& out, const entry64& e, const std::string& extra) {
  put16(out, 45);
  put16(out, 0);
  put16(out, 0);
  put32(out, DEFAULT_DOS_TIME);
  put32(out, crc32_of(e.data));
  put32(out, 0xFFFFFFFFu);
  put32(out, 0xFFFFFFFFu);
  put16(out, static_cast<uint32_t>(e.name.size()));
  put16(out, static_cast<uint32_t>(extra.size()));
}

// Stored entries whose sizes and offsets are all in zip64 blocks, the
// plain fields at their largest value, and the zip64 end records.
std::string build_zip64(const std::vector<entry64>& entries, const layout64& layout = {}) {
  std::string out = layout.prefix;
  std::vector<uint64_t> offsets;
  for (const entry64& e : entries) {
    offsets.push_back(out.size());
    const std::string extra = zip64_block({e.data.size(), e.data.size()});
    out += std::string("PK\3\4", 4);
    header_fields(out, e, extra);
    out += e.name + extra + e.data;
  }
  const uint64_t central_start = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const entry64& e = entries[i];
    const uint64_t usize = e.listed_uncompressed != UINT64_MAX ? e.listed_uncompressed : e.data.size();
    const std::string extra = e.central_block_given ? e.central_block : zip64_block({usize, e.data.size(), offsets[i]});
    out += std::string("PK\1\2", 4);
    put16(out, 45);  // made by
    header_fields(out, e, extra);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    put32(out, 0);
    put32(out, 0xFFFFFFFFu);
    out += e.name + extra;
  }
  const uint64_t central_size = out.size() - central_start;
  const uint64_t record_at = out.size();
  const uint64_t count = layout.record_entries != UINT64_MAX ? layout.record_entries : entries.size();
  if (layout.zip64_record) {
    out += std::string("PK\6\6", 4);
    put64(out, 44);
    put16(out, 45);
    put16(out, 45);
    put32(out, 0);
    put32(out, 0);
    put64(out, count);
    put64(out, count);
    put64(out, central_size);
    put64(out, layout.record_central_offset != UINT64_MAX ? layout.record_central_offset : central_start);
  }
  if (layout.locator) {
    out += std::string("PK\6\7", 4);
    put32(out, 0);
    put64(out, record_at);
    put32(out, 1);
  }
  out += std::string("PK\5\6", 4);
  put16(out, 0);
  put16(out, 0);
  put16(out, 0xFFFF);
  put16(out, 0xFFFF);
  put32(out, 0xFFFFFFFFu);
  put32(out, 0xFFFFFFFFu);
  put16(out, 0);
  return out;
}

struct listed64 {
  uint64_t uncompressed, compressed;
  std::string name;
};
std::vector<listed64>& listed64s() {
  static std::vector<listed64> v;
  return v;
}
void record_list64(uint64_t u, uint64_t c, int, int, int, int, int, int, char, const char* name, const char*,
                   uint32_t, char) {
  listed64s().push_back({u, c, name});
}

class Zip64Archive : public ::testing::Test {
 protected:
  fakes::TempDir dir{"zip64"};
  std::string archive = join(dir, "x.zip");
  std::string target = join(dir, "out");

  void SetUp() override { ASSERT_EQ(fs().create_directory(target), platform::Error::none); }
  engine_call run(const std::string& bytes, const char* mode) {
    write_file(archive, bytes);
    engine_call c;
    c.options.overwrite_always = 1;
    if (std::string(mode) == "list") {
      c.options.list_contents = 1;
    } else if (std::string(mode) == "test") {
      c.options.test_only = 1;
    } else {
      c.options.target_directory = target.c_str();
    }
    c.run(archive);
    return c;
  }
};

entry64 stored64(const std::string& name, const std::string& data) {
  entry64 e;
  e.name = name;
  e.data = data;
  return e;
}

std::vector<entry64> three() {
  return {stored64("a.txt", "alpha\n"), stored64("dir/b.txt", std::string(3000, 'b')), stored64("c.txt", "")};
}

bool exists(const std::string& path) {
  platform::FileStatus st;
  return fs().status(path, st) == platform::Error::none && st.kind != platform::FileKind::missing;
}

TEST_F(Zip64Archive, EveryFieldInZip64FormIsReadAsItsPlainTwin) {
  for (const std::string& prefix : {std::string(), std::string(777, 'M')}) {
    SCOPED_TRACE(prefix.size());
    layout64 layout;
    layout.prefix = prefix;
    const std::string zip = build_zip64(three(), layout);
    engine_call l = run(zip, "list");
    EXPECT_EQ(l.result, RC_OK) << l.record.text;
    ASSERT_EQ(l.record.listed.size(), 3u);
    EXPECT_EQ(l.record.listed[1].name, "dir/b.txt");
    EXPECT_EQ(l.record.listed[1].uncompressed, 3000u);
    EXPECT_EQ(l.callbacks.entry_count, 3u);
    EXPECT_EQ(l.callbacks.total_uncompressed64, 3006u);
    engine_call t = run(zip, "test");
    EXPECT_EQ(t.result, RC_OK) << t.record.text;
    engine_call x = run(zip, "extract");
    EXPECT_EQ(x.result, RC_OK) << x.record.text;
    EXPECT_EQ(read_file(target + "/dir/b.txt"), std::string(3000, 'b'));
    EXPECT_EQ(read_file(target + "/a.txt"), "alpha\n");
  }
}

TEST_F(Zip64Archive, SizesBeyondFourGibibytesReachTheCallerInFull) {
  // The directory may say 5 GiB for data that compresses to nothing; the
  // listing reports it, the 32-bit callback and totals as far as they can.
  std::vector<entry64> e = three();
  e[0].listed_uncompressed = 5ull << 30;
  const std::string zip = build_zip64(e);
  listed64s().clear();
  write_file(archive, zip);
  engine_call wide;
  wide.options.list_contents = 1;
  wide.callbacks.list_entry64 = record_list64;
  wide.run(archive);
  EXPECT_EQ(wide.result, RC_OK) << wide.record.text;
  ASSERT_EQ(listed64s().size(), 3u);
  EXPECT_EQ(listed64s()[0].uncompressed, 5ull << 30);
  EXPECT_TRUE(wide.record.listed.empty());  // list_entry64 replaces list_entry
  EXPECT_EQ(wide.callbacks.total_uncompressed64, (5ull << 30) + 3000);
  EXPECT_EQ(wide.callbacks.total_uncompressed, static_cast<uint32_t>((5ull << 30) + 3000));

  engine_call narrow = run(zip, "list");
  ASSERT_EQ(narrow.record.listed.size(), 3u);
  EXPECT_EQ(narrow.record.listed[0].uncompressed, 0xFFFFFFFFu);
  EXPECT_EQ(narrow.record.listed[1].uncompressed, 3000u);
}

TEST_F(Zip64Archive, EndRecordClaimingMoreThanTheFileIsRefused) {
  layout64 layout;
  layout.record_central_offset = 1ull << 40;
  for (const char* mode : {"list", "test", "extract"}) {
    SCOPED_TRACE(mode);
    engine_call c = run(build_zip64(three(), layout), mode);
    EXPECT_EQ(c.result, RC_SEVERE);
    EXPECT_NE(c.record.text.find("zip64 end record claims a central directory of"), std::string::npos)
        << c.record.text;
    EXPECT_NE(c.record.text.find("more than the file holds"), std::string::npos);
  }
  EXPECT_FALSE(exists(target + "/a.txt"));
}

TEST_F(Zip64Archive, LocatorWithoutItsRecordIsRefused) {
  layout64 layout;
  layout.zip64_record = false;
  engine_call c = run(build_zip64(three(), layout), "test");
  EXPECT_EQ(c.result, RC_SEVERE);
  EXPECT_NE(c.record.text.find("zip64 end-of-central-directory record not found"), std::string::npos)
      << c.record.text;
}

TEST_F(Zip64Archive, HugeEntryCountEndsAtTheDirectoryEnd) {
  // 2^62 entries in a directory of three: the walk stops where the
  // directory does, after an error, without sizing anything by the count.
  layout64 layout;
  layout.record_entries = 1ull << 62;
  for (const char* mode : {"list", "test"}) {
    SCOPED_TRACE(mode);
    engine_call c = run(build_zip64(three(), layout), mode);
    EXPECT_EQ(c.result, RC_SEVERE);
    EXPECT_NE(c.record.text.find("expected central file header signature not found (file #4)"),
              std::string::npos)
        << c.record.text;
  }
}

TEST_F(Zip64Archive, EntriesWithUntrustworthyZip64FieldsAreRefusedAlone) {
  std::vector<entry64> e = three();
  // a.txt: a compressed size larger than the whole file.
  e[0].central_block = zip64_block({6, 1ull << 50, 0});
  e[0].central_block_given = true;
  // c.txt: a block with room for two of the three values it must hold.
  e[2].central_block = zip64_block({0, 0});
  e[2].central_block_given = true;
  const std::string zip = build_zip64(e);
  for (const char* mode : {"list", "test", "extract"}) {
    SCOPED_TRACE(mode);
    engine_call c = run(zip, mode);
    EXPECT_EQ(c.result, RC_ERROR) << c.record.text;
    EXPECT_NE(c.record.text.find("a.txt:  zip64 size or offset beyond the end of the file (central)\n"),
              std::string::npos)
        << c.record.text;
    EXPECT_NE(c.record.text.find("c.txt:  zip64 extra field too short for its sizes (central)\n"), std::string::npos);
    if (std::string(mode) == "list") {
      ASSERT_EQ(c.record.listed.size(), 1u);
      EXPECT_EQ(c.record.listed[0].name, "dir/b.txt");
    }
  }
  EXPECT_EQ(read_file(target + "/dir/b.txt"), std::string(3000, 'b'));
  EXPECT_FALSE(exists(target + "/a.txt"));
  EXPECT_FALSE(exists(target + "/c.txt"));
}

TEST_F(Zip64Archive, LocalHeaderOffsetBeyondTheFileIsRefused) {
  std::vector<entry64> e = three();
  e[1].central_block = zip64_block({3000, 3000, 1ull << 45});
  e[1].central_block_given = true;
  engine_call c = run(build_zip64(e), "extract");
  EXPECT_EQ(c.result, RC_ERROR) << c.record.text;
  EXPECT_NE(c.record.text.find("dir/b.txt:  zip64 size or offset beyond the end of the file (central)\n"),
            std::string::npos)
      << c.record.text;
  EXPECT_EQ(read_file(target + "/a.txt"), "alpha\n");
  EXPECT_FALSE(exists(target + "/dir/b.txt"));
}

TEST_F(Zip64Archive, LocalZip64SizesMustAgreeWithTheDirectory) {
  // The local block says 2,000 bytes of the 3,000 the directory gives.
  std::string zip = build_zip64(three());
  const std::string wanted = zip64_block({3000, 3000});
  const size_t at = zip.find(wanted, zip.find("dir/b.txt"));
  ASSERT_NE(at, std::string::npos);
  std::string wrong = zip64_block({2000, 2000});
  zip.replace(at, wrong.size(), wrong);
  engine_call c = run(zip, "extract");
  EXPECT_EQ(c.result, RC_ERROR) << c.record.text;
  EXPECT_NE(c.record.text.find("dir/b.txt:  local header and central directory differ (sizes)"), std::string::npos) << c.record.text;
  EXPECT_FALSE(exists(target + "/dir/b.txt"));
  EXPECT_EQ(read_file(target + "/a.txt"), "alpha\n");
}

}  // namespace
