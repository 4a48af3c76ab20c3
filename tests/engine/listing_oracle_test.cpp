// The listing agrees with Python's zipfile on archives made by Python's
// zipfile, bsdtar and 7zz: names, sizes, CRC-32, method and the date and time
// (from the extended timestamp when there is one, else the DOS time).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine_harness.h"
#include "platform/local_time.h"

using namespace engine_test;

namespace {

struct expected_entry {
  std::string name;
  uint32_t size = 0, compressed = 0;
  std::string crc;
  int method = 0, flags = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  long long extended_mtime = -1;
};

std::vector<expected_entry> read_expected(const std::string& path) {
  std::vector<expected_entry> out;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> v;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) v.push_back(field);
    if (v.size() != 13) continue;
    expected_entry e;
    e.name = v[0];
    e.size = static_cast<uint32_t>(std::stoul(v[1]));
    e.compressed = static_cast<uint32_t>(std::stoul(v[2]));
    e.crc = v[3];
    e.method = std::stoi(v[4]);
    e.flags = std::stoi(v[5]);
    e.year = std::stoi(v[6]);
    e.month = std::stoi(v[7]);
    e.day = std::stoi(v[8]);
    e.hour = std::stoi(v[9]);
    e.minute = std::stoi(v[10]);
    e.second = std::stoi(v[11]);
    e.extended_mtime = std::stoll(v[12]);
    out.push_back(e);
  }
  return out;
}

std::string method_text(int method, int flags) {
  if (method == 0) return "Stored";
  if (method == 8) return std::string("Defl:") + "NXFS"[(flags >> 1) & 3];
  return "?";
}

void check_against_python(const std::string& archive) {
  std::vector<expected_entry> expected = read_expected(archive + ".expected.tsv");
  ASSERT_FALSE(expected.empty()) << archive;
  engine_call c = list_archive(archive);
  EXPECT_EQ(c.result, RC_OK) << c.record.text;
  ASSERT_EQ(c.record.listed.size(), expected.size());
  uint32_t total = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const expected_entry& e = expected[i];
    const listed_entry& l = c.record.listed[i];
    SCOPED_TRACE(archive + ": " + e.name);
    EXPECT_EQ(l.name, e.name);
    EXPECT_EQ(l.uncompressed, e.size);
    EXPECT_EQ(l.compressed, (e.flags & 1) ? e.compressed - 12 : e.compressed);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08lx", static_cast<unsigned long>(l.crc));
    EXPECT_EQ(crc, e.crc);
    EXPECT_EQ(l.method, method_text(e.method, e.flags));
    EXPECT_EQ(l.encryption_mark, (e.flags & 1) ? 'E' : ' ');
    int month = e.month, day = e.day, year = e.year % 100, hour = e.hour, minute = e.minute;
    if (e.extended_mtime >= 0) {
      platform::BrokenDownTime t;
      ASSERT_TRUE(platform::local_time().to_local(e.extended_mtime, t));
      month = t.month;
      day = t.day;
      year = t.year % 100;
      hour = t.hour;
      minute = t.minute;
    }
    EXPECT_EQ(l.date1, month);
    EXPECT_EQ(l.date2, day);
    EXPECT_EQ(l.date3, year);
    EXPECT_EQ(l.hour, hour);
    EXPECT_EQ(l.minute, minute);
    total += e.size;
  }
  EXPECT_EQ(c.callbacks.entry_count, expected.size());
  EXPECT_EQ(c.callbacks.total_uncompressed, total);
}

TEST(ListingOracle, CommittedFixturesAgreeWithPythonZipfile) {
  for (const char* name : {"python.zip", "bsdtar.zip", "7zz.zip", "zip64_python.zip", "zip64_bsdtar.zip"})
    check_against_python(fixture(name));
}

TEST(ListingOracle, FreshArchivesFromTheToolsAgreeWithPythonZipfile) {
  if (!have_program("python3 --version")) GTEST_SKIP() << "python3 is not available";
  fakes::TempDir dir{"oracle"};
  std::string script = fixture("make_fixtures.py");
  ASSERT_EQ(run_command("python3 \"" + script + "\" \"" + dir.path() + "\""), 0);
  check_against_python(join(dir, "python.zip"));
  check_against_python(join(dir, "zip64_python.zip"));
  if (have_program("bsdtar --version")) {
    check_against_python(join(dir, "bsdtar.zip"));
    check_against_python(join(dir, "zip64_bsdtar.zip"));
  }
  if (have_program("7zz i")) check_against_python(join(dir, "7zz.zip"));
}

}  // namespace
