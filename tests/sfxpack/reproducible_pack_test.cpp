// Guards release packing with SOURCE_DATE_EPOCH: two packs of one tree give
// the same bytes although every file was touched in between and the
// packing machine's zone, umask and listing order differ; stored times are
// clamped to the epoch (in the DOS fields and in the time blocks of entries
// copied from a ZIP); a malformed epoch stops the pack before it starts.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "fakes/temp_dir.h"
#include "pack_error.h"
#include "reproducible_pack.h"
#include "sfx_builder.h"
#include "sfxpack_test_support.h"
#include "zip_layout.h"
#include "zip_reader.h"

namespace {

using namespace sfxpack_test;

constexpr std::time_t EPOCH = 1700000000;  // 2023-11-14 22:13:20 UTC

// DOS fields of 2023-11-14 22:13:20.
constexpr uint32_t EPOCH_DOS = (43u << 25) | (11u << 21) | (14u << 16) | (22u << 11) | (13u << 5) | 10u;

class ReproduciblePack : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"sfxpack"};
  fs::path dir;
  fs::path tree;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    dir = scratch.path();
    tree = dir / "tree";
    write_file(tree / "AUTORUN.INF", autorun_text("runtime.zip"));
    write_file(tree / "runtime.zip", std::string(300, 'r'));
    write_file(tree / "product" / "bin" / "tool", "#!/bin/sh\necho tool\n");
    write_file(tree / "product" / "lib" / "data.txt", std::string(5000, 'd'));
    write_file(tree / "product" / "README", "read me\n");
    write_file(dir / "stub", std::string(4096, 'S'));
  }

  void set_mode(const fs::path& path, unsigned mode) {
    fs::permissions(path, static_cast<fs::perms>(mode), fs::perm_options::replace);
  }

  // The real program, with the environment given in front of it.
  CommandResult sfxpack_run(const std::string& environment, const std::string& arguments) {
    return run_command(environment + " " + quote(sfxpack_program()) + " " + arguments, dir);
  }

  void set_time(const fs::path& path, std::time_t t) {
    const auto system = std::chrono::system_clock::from_time_t(t);
    fs::last_write_time(path, fs::file_time_type::clock::from_sys(system));
  }
};

TEST_F(ReproduciblePack, TouchedTreeUnderAnotherZoneAndUmaskPacksToTheSameBytes) {
  set_mode(tree / "product" / "bin" / "tool", 0775);
  set_mode(tree / "product" / "README", 0664);
  const std::string release = "SOURCE_DATE_EPOCH=" + std::to_string(EPOCH);
  const std::string args = quote((dir / "stub").string()) + " " + quote(tree.string()) + " ";
  CommandResult r = sfxpack_run(release + " TZ=UTC", args + quote((dir / "first.exe").string()));
  ASSERT_EQ(r.exit_code, 0) << r.output;

  // Another checkout of the same release: every file and directory newer,
  // made under another umask, packed in another time zone; one file is
  // made again, so the directory lists it in another place.
  const CommandResult touched = run_command("find " + quote(tree.string()) + " -exec touch {} +", dir);
  ASSERT_EQ(touched.exit_code, 0) << touched.output;
  set_mode(tree / "product" / "bin" / "tool", 0755);
  set_mode(tree / "product" / "README", 0644);
  fs::remove(tree / "product" / "lib" / "data.txt");
  write_file(tree / "product" / "lib" / "data.txt", std::string(5000, 'd'));
  r = sfxpack_run(release + " TZ=Pacific/Chatham", args + quote((dir / "second.exe").string()));
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(read_file(dir / "first.exe"), read_file(dir / "second.exe"));

  // Without the epoch the touch shows: the times are the files' own.
  r = sfxpack_run("TZ=UTC", args + quote((dir / "third.exe").string()));
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(read_file(dir / "first.exe"), read_file(dir / "third.exe"));
}

TEST_F(ReproduciblePack, TimesAreClampedToTheEpochAndPermissionsLoseTheUmask) {
  set_time(tree / "product" / "README", EPOCH - 86400);  // older: its own time
  set_mode(tree / "product" / "README", 0600);
  set_mode(tree / "product" / "bin" / "tool", 0770);
  set_mode(tree / "product" / "lib" / "data.txt", 0444);
  sfxpack::PackOptions options;
  options.source = tree;
  options.output = dir / "release.zip";
  options.verify = false;
  options.source_date_epoch = EPOCH;
  sfxpack::pack(options);

  sfxpack::ZipArchive written(options.output);
  std::map<std::string, const sfxpack::ArchiveEntry*> entries;
  for (const sfxpack::ArchiveEntry& e : written.entries()) entries[e.name] = &e;
  ASSERT_EQ(entries.size(), 8u);
  for (const auto& [name, e] : entries) {
    if (name != "product/README") {
      EXPECT_EQ(e->dos_date_time, EPOCH_DOS) << name;
    }
  }
  EXPECT_EQ(entries.at("product/README")->dos_date_time, EPOCH_DOS - (1u << 16));  // a day earlier, UTC
  auto mode = [&](const std::string& name) { return entries.at(name)->external_attributes >> 16; };
  EXPECT_EQ(mode("product/README"), 0100644u);
  EXPECT_EQ(mode("product/bin/tool"), 0100755u);
  EXPECT_EQ(mode("product/lib/data.txt"), 0100444u);
  EXPECT_EQ(mode("product/"), 040755u);

  // Without the epoch the bits are the files' own.
  options.source_date_epoch.reset();
  sfxpack::pack(options);
  sfxpack::ZipArchive own(options.output);
  for (const sfxpack::ArchiveEntry& e : own.entries()) {
    const uint32_t mode = e.external_attributes >> 16;
    if (e.name == "product/README") {
      EXPECT_EQ(mode, 0100600u);
    } else if (e.name == "product/bin/tool") {
      EXPECT_EQ(mode, 0100770u);
    }
  }
}

// A ZIP with times after the epoch everywhere: DOS fields of 2030, an
// extended timestamp with all three times (local) or the first (central),
// an Info-ZIP Unix block and an NTFS block.
const char MAKE_TIMED_ZIP[] = R"(
import struct, sys, zipfile
late, early = 1900000000, 1600000000
ut_local = struct.pack("<HHBiii", 0x5455, 13, 7, late, early, late)
ut_central = struct.pack("<HHBi", 0x5455, 5, 7, late)
unix = struct.pack("<HHii", 0x5855, 8, late, early)
def filetime(t): return t * 10000000 + 116444736000000000
ntfs = struct.pack("<HHIHHQQQ", 0x000A, 32, 0, 1, 24, filetime(late), filetime(early), filetime(late))
with zipfile.ZipFile(sys.argv[1], "w") as z:
    info = zipfile.ZipInfo("late.txt", (2030, 1, 1, 0, 0, 0))
    info.extra = ut_local + unix + ntfs
    z.writestr(info, b"late")
    info = zipfile.ZipInfo("early.txt", (2015, 6, 1, 12, 0, 0))
    z.writestr(info, b"early")
# zipfile writes one extra for both headers; give the central one its own.
data = bytearray(open(sys.argv[1], "rb").read())
at = data.find(b"PK\x01\x02") + 46 + len("late.txt")
old, new = ut_local + unix + ntfs, ut_central + unix + ntfs
assert data[at : at + len(old)] == old
data[at : at + len(old)] = new
struct.pack_into("<H", data, at - len("late.txt") - 16, len(new))
end = data.find(b"PK\x05\x06")
size = struct.unpack_from("<I", data, end + 12)[0]
struct.pack_into("<I", data, end + 12, size - len(old) + len(new))
open(sys.argv[1], "wb").write(bytes(data))
)";

const char READ_TIMES[] = R"(
import struct, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
raw = open(sys.argv[1], "rb").read()
def blocks(extra):
    out, at = [], 0
    while at + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, at)
        out.append((hex(tag), extra[at + 4 : at + 4 + size].hex()))
        at += 4 + size
    return out
for i in z.infolist():
    n, e = struct.unpack_from("<HH", raw, i.header_offset + 26)
    local = raw[i.header_offset + 30 + n : i.header_offset + 30 + n + e]
    print(i.filename, i.date_time, "central", blocks(i.extra), "local", blocks(local))
)";

std::string le32(uint32_t v) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF, v >> 24);
  return hex;
}

std::string filetime_hex(uint64_t unix) {
  const uint64_t t = unix * 10000000ull + 116444736000000000ull;
  return le32(static_cast<uint32_t>(t)) + le32(static_cast<uint32_t>(t >> 32));
}

TEST_F(ReproduciblePack, CopiedEntriesHaveEveryTimeClamped) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  write_file(dir / "make.py", MAKE_TIMED_ZIP);
  write_file(dir / "read.py", READ_TIMES);
  const fs::path source = dir / "timed.zip";
  CommandResult r = run_command("python3 " + quote((dir / "make.py").string()) + " " + quote(source.string()), dir);
  ASSERT_EQ(r.exit_code, 0) << r.output;

  sfxpack::PackOptions options;
  options.source = source;
  options.output = dir / "release.zip";
  options.source_date_epoch = EPOCH;
  sfxpack::pack(options);  // the engine's check included
  r = run_command("python3 " + quote((dir / "read.py").string()) + " " + quote(options.output.string()), dir);
  ASSERT_EQ(r.exit_code, 0) << r.output;

  const std::string epoch = le32(EPOCH), early = le32(1600000000);
  const std::string ntfs = "('0xa', '00000000" "01001800" + filetime_hex(EPOCH) + filetime_hex(1600000000) +
                           filetime_hex(EPOCH) + "')";
  const std::string unix = "('0x5855', '" + epoch + early + "')";
  EXPECT_NE(r.output.find("late.txt (2023, 11, 14, 22, 13, 20) central [('0x5455', '07" + epoch + "'), " + unix +
                          ", " + ntfs),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("local [('0x5455', '07" + epoch + early + epoch + "'), " + unix + ", " + ntfs),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("early.txt (2015, 6, 1, 12, 0, 0)"), std::string::npos) << r.output;
}

TEST_F(ReproduciblePack, MalformedEpochIsRefusedBeforeAnythingIsWritten) {
  EXPECT_EQ(sfxpack::parse_source_date_epoch(std::nullopt), std::nullopt);
  EXPECT_EQ(sfxpack::parse_source_date_epoch(""), std::nullopt);
  EXPECT_EQ(sfxpack::parse_source_date_epoch("0"), std::time_t{0});
  EXPECT_EQ(sfxpack::parse_source_date_epoch("1700000000"), EPOCH);
  for (const char* bad : {"-1", " 1700000000", "1700000000\n", "17e8", "0x10", "1234567890123456789"}) {
    EXPECT_THROW(sfxpack::parse_source_date_epoch(std::string(bad)), sfxpack::PackError) << bad;
  }

  const CommandResult r = sfxpack_run("SOURCE_DATE_EPOCH=yesterday",
                                      "--zip " + quote(tree.string()) + " " + quote((dir / "out.zip").string()));
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("SOURCE_DATE_EPOCH must be a number of seconds"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir / "out.zip"));
}

}  // namespace
