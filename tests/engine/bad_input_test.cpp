// Damaged archives never crash, hang or read outside a buffer: every cut of
// a small archive and every single-byte change of its headers is listed,
// tested and extracted (run under the sanitizers), and a read error during
// decompression ends the call with 3 through the recovery path.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "fakes/fake_file_system.h"

using namespace engine_test;

namespace {

std::string sample_archive() {
  // Deflated and stored entries from a fixture, so the decoders run too.
  return read_file(fixture("bad_crc.zip"));
}

int run_mode(const std::string& path, int mode, const std::string& target) {
  engine_call c;
  if (mode == 0) c.options.list_contents = 1;
  if (mode == 1) c.options.test_only = 1;
  if (mode == 2) {
    c.options.target_directory = target.c_str();
    c.options.overwrite_always = 1;
  }
  return c.run(path);
}

bool plausible(int rc) {
  return rc == 0 || rc == 1 || rc == 2 || rc == 3 || rc == 9 || rc == 11 || rc == 50 || rc == 51 || rc == 81 ||
         rc == 82 || rc == 79 || rc == 2050 || (rc > 256 && (rc & 0xFF) == 2);
}

TEST(BadInput, EveryCutOfAnArchiveIsHandled) {
  fakes::TempDir dir{"bad"};
  const std::string zip = sample_archive();
  ASSERT_FALSE(zip.empty());
  const std::string path = join(dir, "cut.zip"), target = join(dir, "out");
  for (size_t n = 0; n < zip.size(); n += (n < 200 || n + 300 > zip.size()) ? 1 : 37) {
    write_file(path, zip.substr(0, n));
    for (int mode = 0; mode < 3; ++mode) {
      int rc = run_mode(path, mode, target);
      EXPECT_TRUE(plausible(rc)) << "cut at " << n << " mode " << mode << " rc " << rc;
    }
  }
}

TEST(BadInput, EverySingleByteChangeOfTheHeadersIsHandled) {
  fakes::TempDir dir{"bad"};
  const std::string zip = sample_archive();
  const std::string path = join(dir, "flip.zip"), target = join(dir, "out");
  // The central directory and end record, and the first local header.
  size_t central = zip.find(std::string("PK\1\2", 4));
  ASSERT_NE(central, std::string::npos);
  std::vector<size_t> positions;
  for (size_t i = 0; i < 60; ++i) positions.push_back(i);
  for (size_t i = central; i < zip.size(); ++i) positions.push_back(i);
  for (size_t i : positions) {
    for (unsigned char value : {0x00, 0xFF, 0x7F}) {
      std::string damaged = zip;
      damaged[i] = static_cast<char>(value);
      write_file(path, damaged);
      for (int mode = 0; mode < 3; ++mode) {
        int rc = run_mode(path, mode, target);
        EXPECT_TRUE(plausible(rc)) << "byte " << i << " = " << int(value) << " mode " << mode << " rc " << rc;
      }
    }
  }
}

TEST(BadInput, DamagedCompressedDataIsAnErrorOfThatEntry) {
  fakes::TempDir dir{"bad"};
  std::string zip = read_file(fixture("python.zip"));
  // Flip bytes inside the deflated data of bin/zeros.bin (after its name).
  size_t at = zip.find("bin/zeros.bin");
  ASSERT_NE(at, std::string::npos);
  for (size_t k = 0; k < 20; ++k) zip[at + 13 + 4 + k] = static_cast<char>(zip[at + 13 + 4 + k] ^ 0x55);
  write_file(join(dir, "z.zip"), zip);
  engine_call c;
  c.options.test_only = 1;
  c.run(join(dir, "z.zip"));
  EXPECT_EQ(c.result, RC_ERROR) << c.record.text;
  EXPECT_NE(c.record.text.find("testing: readme.txt"), std::string::npos);
}

TEST(BadInput, ReadErrorDuringDecompressionEndsTheCallWithSevere) {
  fakes::TempDir dir{"bad"};
  // One big stored entry: its data is read block by block through the
  // byte reader after the directory has been read.
  std::string big(200000, 'b');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13);
  write_file(join(dir, "big.zip"), build_zip({stored("big.bin", big), stored("after", "x")}));
  bool recovered = false;
  for (int nth = 1; nth <= 40; ++nth) {
    fakes::FakeFileSystem fake;
    platform::ScopedService<platform::FileSystem> use(fake);
    fake.fail(fakes::FsOp::read, nth, platform::Error::io);
    engine_call c;
    c.options.test_only = 1;
    c.run(join(dir, "big.zip"));
    EXPECT_TRUE(plausible(c.result)) << nth;
    if (c.result == RC_SEVERE && c.record.text.find("error:  zipfile read error\n") != std::string::npos &&
        c.record.text.find("testing: big.bin") != std::string::npos) {
      recovered = true;
      // Nothing after the jump: no later entry, no summary.
      EXPECT_EQ(c.record.text.find("after"), std::string::npos);
    }
  }
  EXPECT_TRUE(recovered);
}

}  // namespace
