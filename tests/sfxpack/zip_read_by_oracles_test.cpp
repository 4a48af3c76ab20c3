// Guards the archives sfxpack writes: Python's zipfile and 7-Zip must read
// the same names, sizes, CRCs, Unix permission bits and times that went in,
// test every entry clean, and (behind a stub) find offsets that count from
// the start of the file, so the launcher's engine reads the payload without
// an "extra bytes" warning.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <ctime>
#include <map>
#include <random>

#include "fakes/temp_dir.h"
#include "sfx_builder.h"
#include "sfxpack_test_support.h"
#include "engine_verify.h"
#include "zip_layout.h"
#include "zip_writer.h"

namespace {

using namespace sfxpack_test;

const char ORACLE[] = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    print("%s\t%d\t%08x\t%o\t%d\t%s\t%d\t%d" % (i.filename, i.file_size, i.CRC, i.external_attr >> 16,
          i.create_system, "-".join(str(v) for v in i.date_time), i.flag_bits, i.compress_type))
print("testzip\t%s" % z.testzip())
)";

struct Expected {
  uint64_t size = 0;
  uint32_t crc = 0;
  uint32_t mode = 0;
  bool directory = false;
};

struct Listed {
  uint64_t size = 0;
  uint32_t crc = 0;
  uint32_t mode = 0;
  int host = 0;
  std::string date_time;
  int flags = 0;
  int method = 0;
};

class ZipReadByOracles : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"sfxpack"};
  fs::path tree;
  std::map<std::string, Expected> expected;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    tree = fs::path(scratch.path()) / "tree";
    add_file("AUTORUN.INF", autorun_text("runtime.zip"), 0644);
    add_file("runtime.zip", "not opened by this test", 0644);
    add_file("bin/run.sh", "#!/bin/sh\necho hello\n", 0755);
    add_file("data/readonly.txt", "keep me\n", 0444);
    add_file("empty.txt", "", 0600);
    std::string text;
    while (text.size() < (1u << 20)) text += "The quick brown fox jumps over the lazy dog. ";
    add_file("big/compressible.txt", text, 0644);
    // Random bytes do not shrink: they must be stored instead.
    std::mt19937 random(7);
    std::string noise(300000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    add_file("big/random.bin", noise, 0644);
    // Exactly one read block: the last read of the file returns nothing.
    add_file("big/one_block.bin", std::string(1 << 18, 'x'), 0644);
    add_file("\xc3\xbcnic\xc3\xb6" "de.txt", "utf-8 name\n", 0644);
    fs::create_directories(tree / "empty_dir");
    fs::permissions(tree / "empty_dir", fs::perms(0750), fs::perm_options::replace);
    for (const char* dir : {"big/", "bin/", "data/", "empty_dir/"}) {
      Expected e;
      e.directory = true;
      e.mode = 0040000 | static_cast<uint32_t>(fs::status(tree / dir).permissions() & fs::perms::mask);
      expected[dir] = e;
    }
  }

  void add_file(const std::string& name, const std::string& bytes, uint32_t mode) {
    write_file(tree / name, bytes);
    fs::permissions(tree / name, fs::perms(mode), fs::perm_options::replace);
    Expected e;
    e.size = bytes.size();
    e.crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    e.mode = 0100000 | mode;
    expected[name] = e;
  }

  std::map<std::string, Listed> python_listing(const fs::path& archive, std::string& testzip) {
    const fs::path script = fs::path(scratch.path()) / "oracle.py";
    write_file(script, ORACLE);
    const CommandResult r = run_command("python3 " + quote(script.string()) + " " + quote(archive.string()), scratch.path());
    EXPECT_EQ(r.exit_code, 0) << r.output;
    std::map<std::string, Listed> listed;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> f;
      std::istringstream fields(line);
      for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
      if (f.size() == 2 && f[0] == "testzip") testzip = f[1];
      if (f.size() != 8) continue;
      Listed l;
      l.size = std::stoull(f[1]);
      l.crc = static_cast<uint32_t>(std::stoul(f[2], nullptr, 16));
      l.mode = static_cast<uint32_t>(std::stoul(f[3], nullptr, 8));
      l.host = std::stoi(f[4]);
      l.date_time = f[5];
      l.flags = std::stoi(f[6]);
      l.method = std::stoi(f[7]);
      listed[f[0]] = l;
    }
    return listed;
  }

  void expect_python_reads_it(const fs::path& archive) {
    std::string testzip;
    const std::map<std::string, Listed> listed = python_listing(archive, testzip);
    EXPECT_EQ(testzip, "None");
    EXPECT_EQ(listed.size(), expected.size());
    for (const auto& [name, e] : expected) {
      const auto it = listed.find(name);
      ASSERT_NE(it, listed.end()) << name;
      const Listed& l = it->second;
      EXPECT_EQ(l.size, e.size) << name;
      EXPECT_EQ(l.crc, e.crc) << name;
      EXPECT_EQ(l.mode, e.mode) << name;
      EXPECT_EQ(l.host, 3) << name;
      EXPECT_EQ(l.flags & sfxpack::FLAG_DATA_DESCRIPTOR, 0) << name;
      const bool non_ascii = name.find('\xc3') != std::string::npos;
      EXPECT_EQ((l.flags & sfxpack::FLAG_UTF8_NAME) != 0, non_ascii) << name;
    }
    EXPECT_EQ(listed.at("big/random.bin").method, sfxpack::METHOD_STORED);
    EXPECT_EQ(listed.at("big/compressible.txt").method, sfxpack::METHOD_DEFLATED);
    EXPECT_EQ(listed.at("empty.txt").method, sfxpack::METHOD_STORED);
  }

  fs::path pack(const std::optional<fs::path>& stub, const std::string& output_name) {
    sfxpack::PackOptions o;
    o.stub = stub;
    o.source = tree;
    o.output = fs::path(scratch.path()) / output_name;
    o.verify = false;  // the engine has its own test here
    sfxpack::pack(o);
    return o.output;
  }
};

TEST_F(ZipReadByOracles, PlainArchiveReadsBackInPythonAnd7Zip) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  const fs::path archive = pack(std::nullopt, "plain.zip");
  expect_python_reads_it(archive);
  if (have_program("7zz")) {
    const CommandResult r = run_command("7zz t " + quote(archive.string()), scratch.path());
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("Everything is Ok"), std::string::npos) << r.output;
  }
}

TEST_F(ZipReadByOracles, ArchiveBehindStubCountsOffsetsFromFileStart) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  const fs::path stub = fs::path(scratch.path()) / "stub.exe";
  write_file(stub, std::string(425984, 'S'));  // any program file will do
  fs::permissions(stub, fs::perms(0755), fs::perm_options::replace);
  const fs::path setup = pack(stub, "setup.exe");

  const std::string bytes = read_file(setup);
  ASSERT_EQ(bytes.compare(0, 425984, std::string(425984, 'S')), 0);
  EXPECT_NE(static_cast<unsigned>(fs::status(setup).permissions() & fs::perms::owner_exec), 0u);
  // The end record ends the file; its central-directory offset plus size
  // must reach exactly to it, or the engine measures "extra bytes".
  const size_t end = bytes.size() - sfxpack::END_RECORD_SIZE;
  const auto* e = reinterpret_cast<const unsigned char*>(bytes.data()) + end;
  ASSERT_EQ(sfxpack::get32(e), sfxpack::END_RECORD_SIGNATURE);
  EXPECT_EQ(uint64_t{sfxpack::get32(e + 16)} + sfxpack::get32(e + 12), end);
  EXPECT_GE(sfxpack::get32(e + 16), 425984u);

  expect_python_reads_it(setup);
  if (have_program("7zz")) {
    const CommandResult r = run_command("7zz t " + quote(setup.string()), scratch.path());
    EXPECT_EQ(r.exit_code, 0) << r.output;
  }
}

TEST_F(ZipReadByOracles, TimesAreLocalDosTimesClampedTo1980) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  // 2021-06-15 10:20:31 local time: DOS keeps even seconds.
  std::tm local{};
  local.tm_year = 121;
  local.tm_mon = 5;
  local.tm_mday = 15;
  local.tm_hour = 10;
  local.tm_min = 20;
  local.tm_sec = 31;
  local.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
  fs::last_write_time(tree / "empty.txt", std::chrono::file_clock::from_sys(when));
  fs::last_write_time(tree / "bin/run.sh",
                      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(86400 * 365)));
  std::string testzip;
  const auto listed = python_listing(pack(std::nullopt, "times.zip"), testzip);
  EXPECT_EQ(listed.at("empty.txt").date_time, "2021-6-15-10-20-30");
  EXPECT_EQ(listed.at("bin/run.sh").date_time, "1980-1-1-0-0-0");
}

// Zip64 records appear exactly when the entry count needs them: 65,535
// entries stay plain, one more brings the zip64 end record and locator;
// the peers and the engine read both.
TEST_F(ZipReadByOracles, Zip64EndRecordOnlyBeyond65535Entries) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  for (const size_t count : {size_t{65535}, size_t{65536}}) {
    SCOPED_TRACE(count);
    const fs::path archive = fs::path(scratch.path()) / ("many" + std::to_string(count) + ".zip");
    {
      std::fstream out(archive, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
      sfxpack::ZipWriter writer(out, 0, sfxpack::WriterOptions{});
      for (size_t i = 0; i < count; ++i) writer.add_directory("d" + std::to_string(i) + "/", 0755, sfxpack::DosTime{});
      writer.finish();
    }
    const std::string bytes = read_file(archive);
    const bool zip64 = bytes.find(std::string("PK\6\6", 4)) != std::string::npos &&
                       bytes.find(std::string("PK\6\7", 4)) != std::string::npos;
    EXPECT_EQ(zip64, count > 65535);
    const auto* end = reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size() - sfxpack::END_RECORD_SIZE;
    EXPECT_EQ(sfxpack::get16(end + 10), count > 65535 ? 0xFFFF : count);
    const sfxpack::VerifyResult v = sfxpack::verify_with_engine(archive.string(), count, 0);
    EXPECT_TRUE(v.ok) << v.failure;
    EXPECT_EQ(v.listed_entries, count);
    if (count == 65535) continue;  // the peers read plain archives elsewhere

    const CommandResult py = run_command(
        "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); print(len(z.infolist()), z.testzip())' " +
            quote(archive.string()),
        scratch.path());
    EXPECT_EQ(py.output, std::to_string(count) + " None\n");
    if (have_program("bsdtar")) {
      const CommandResult r = run_command("bsdtar -tf " + quote(archive.string()) + " | wc -l", scratch.path());
      EXPECT_EQ(std::stoul(r.output), count);
    }
    if (have_program("7zz")) {
      const CommandResult r = run_command("7zz t " + quote(archive.string()), scratch.path());
      EXPECT_NE(r.output.find("Everything is Ok"), std::string::npos) << r.output;
    }
  }
}

}  // namespace
