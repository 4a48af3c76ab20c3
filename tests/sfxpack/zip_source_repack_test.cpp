// Guards packing from an existing ZIP: entries are copied with their data,
// permission bits and times, data descriptors are folded into the local
// headers, offsets are moved to count from the start of the new file (also
// when the source itself sits behind a stub), and what the launcher's
// engine could not extract is refused.
#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "sfx_builder.h"
#include "pack_error.h"
#include "sfxpack_test_support.h"
#include "zip_layout.h"
#include "zip_reader.h"

namespace {

using namespace sfxpack_test;

const char MAKE_ZIP[] = R"(
import io, sys, zipfile
class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
autorun = sys.argv[2].encode().replace(b"|", b"\r\n")
with open(sys.argv[1], "wb") as f:
    # An unseekable output makes zipfile write data descriptors.
    z = zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED)
    z.writestr("AUTORUN.INF", autorun)
    z.writestr("runtime.zip", b"nested" * 100)
    tool = zipfile.ZipInfo("bin/tool", (2020, 2, 29, 23, 59, 58))
    tool.create_system = 3
    tool.external_attr = 0o100755 << 16
    z.writestr(tool, b"#!/bin/sh\n" * 50)
    z.close()
)";

const char LIST_ZIP[] = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print("testzip", z.testzip())
for i in z.infolist():
    print(i.filename, i.flag_bits & 8, oct(i.external_attr >> 16), i.date_time, z.read(i.filename)[:6])
)";

class ZipSourceRepack : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"sfxpack"};
  fs::path dir;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    dir = scratch.path();
    write_file(dir / "make.py", MAKE_ZIP);
    write_file(dir / "list.py", LIST_ZIP);
    write_file(dir / "stub", std::string(10000, 'S'));
  }

  fs::path python_zip(const std::string& autorun) {
    const fs::path zip = dir / "source.zip";
    const CommandResult r = run_command("python3 " + quote((dir / "make.py").string()) + " " + quote(zip.string()) + " " + quote(autorun),
                      dir);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return zip;
  }

  fs::path pack(const fs::path& source, const std::string& name) {
    sfxpack::PackOptions o;
    o.stub = dir / "stub";
    o.source = source;
    o.output = dir / name;
    sfxpack::pack(o);  // with the engine's check
    return o.output;
  }

  std::string python_list(const fs::path& zip) {
    const CommandResult r = run_command("python3 " + quote((dir / "list.py").string()) + " " + quote(zip.string()), dir);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return r.output;
  }
};

const std::string AUTORUN = "[autorun]|OPEN=a|CONSOLE=b|SILENT=c|UNZIP=runtime.zip|UNZIPTO=rt|";

TEST_F(ZipSourceRepack, EntriesAreCopiedWithoutDataDescriptors) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  const fs::path source = python_zip(AUTORUN);
  {
    sfxpack::ZipArchive in(source);
    ASSERT_EQ(in.entries().size(), 3u);
    EXPECT_NE(in.entries()[0].flags & sfxpack::FLAG_DATA_DESCRIPTOR, 0);
  }
  const fs::path setup = pack(source, "setup");
  const std::string listing = python_list(setup);
  EXPECT_NE(listing.find("testzip None"), std::string::npos) << listing;
  EXPECT_NE(listing.find("AUTORUN.INF 0 "), std::string::npos) << listing;
  EXPECT_NE(listing.find("bin/tool 0 0o100755 (2020, 2, 29, 23, 59, 58)"), std::string::npos) << listing;

  sfxpack::ZipArchive out(setup);
  for (const sfxpack::ArchiveEntry& e : out.entries()) {
    EXPECT_EQ(e.flags & sfxpack::FLAG_DATA_DESCRIPTOR, 0) << e.name;
    EXPECT_GE(e.local_header, 10000u) << e.name;
  }
  EXPECT_EQ(out.contents(out.entries()[0]), "[autorun]\r\nOPEN=a\r\nCONSOLE=b\r\nSILENT=c\r\nUNZIP=runtime.zip\r\nUNZIPTO=rt\r\n");
  if (have_program("7zz")) {
    const CommandResult r = run_command("7zz t " + quote(setup.string()), dir);
    EXPECT_EQ(r.exit_code, 0) << r.output;
  }
}

TEST_F(ZipSourceRepack, AnInstallerCanBeRepackedBehindAnotherStub) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  const fs::path first = pack(python_zip(AUTORUN), "first");
  write_file(dir / "stub", std::string(777, 'T'));
  const fs::path second = pack(first, "second");
  EXPECT_EQ(fs::file_size(second), fs::file_size(first) - 10000 + 777);
  sfxpack::ZipArchive out(second);
  EXPECT_EQ(out.entries()[0].local_header, 777u);
  EXPECT_NE(python_list(second).find("testzip None"), std::string::npos);
}

TEST_F(ZipSourceRepack, AutorunInsideTheZipIsChecked) {
  if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
  const fs::path source = python_zip("[autorun]|OPEN=a|CONSOLE=b|SILENT=c|UNZIP=runtime.zip,jre.zip|UNZIPTO=rt|");
  try {
    pack(source, "setup");
    FAIL() << "a missing nested archive was accepted";
  } catch (const sfxpack::PackError& e) {
    EXPECT_NE(std::string(e.what()).find("\"jre.zip\""), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir / "setup"));
}

TEST_F(ZipSourceRepack, DamagedSourceIsRefusedWithItsName) {
  write_file(dir / "broken.zip", "PK\x03\x04 this is no archive");
  try {
    pack(dir / "broken.zip", "setup");
    FAIL() << "a damaged archive was accepted";
  } catch (const sfxpack::PackError& e) {
    EXPECT_NE(std::string(e.what()).find("broken.zip is not a ZIP archive"), std::string::npos) << e.what();
  }
}

}  // namespace
