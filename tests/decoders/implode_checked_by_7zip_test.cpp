// Our Implode encoder (written from the format description) and our decoder
// are checked against 7-Zip's decoder on the same archives, for both
// dictionary sizes, with and without the literal tree, so that encoder and
// decoder cannot share one misreading of the format.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "decoders/decoder_harness.h"
#include "decoders/sample_data.h"
#include "support/implode_encoder.h"
#include "support/zip_writer.h"

namespace {

bool have_7zz() { return std::system("7zz i >/dev/null 2>&1") == 0; }

std::vector<uint8_t> read_file(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

const implode_options MODES[] = {{false, false}, {true, false}, {false, true}, {true, true}};

std::string mode_name(const implode_options& o) {
  return std::string(o.dictionary_8k ? "8k" : "4k") + (o.literal_tree ? "_literal_tree" : "_raw_literals");
}

}  // namespace

TEST(ImplodeCheckedBy7zip, SevenZipAndOurDecoderAgreeOnEveryMode) {
  if (!have_7zz()) GTEST_SKIP() << "7zz not installed";
  auto dir = std::filesystem::temp_directory_path() / ("qel_implode_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::vector<zip_entry_spec> entries;
  std::vector<std::vector<uint8_t>> originals;
  for (const auto& [kind, full] : sample_data_sets()) {
    std::vector<uint8_t> data(full.begin(), full.begin() + std::min<size_t>(full.size(), 70000));
    for (const auto& mode : MODES) {
      auto packed = implode_compress(data, mode);
      // Our decoder first.
      memory_decoder d(packed);
      auto tables = std::make_unique<explode_tables>();
      int64_t used = -1;
      ASSERT_EQ(explode_stream(d.io, *tables, {mode.flags(), uint32_t(data.size())}, &used), 0)
          << kind << " " << mode_name(mode);
      ASSERT_TRUE(d.output == data) << kind << " " << mode_name(mode);
      zip_entry_spec e;
      e.name = std::string(kind) + "_" + mode_name(mode);
      e.method = 6;
      e.flags = mode.flags();
      e.crc32 = static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
      e.uncompressed_size = static_cast<uint32_t>(data.size());
      e.data = packed;
      entries.push_back(e);
      originals.push_back(data);
    }
  }
  auto zip = zip_archive(entries);
  {
    std::ofstream f(dir / "imploded.zip", std::ios::binary);
    f.write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
  }
  std::string cmd = "cd '" + dir.string() + "' && 7zz x -y -oout imploded.zip >log.txt 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "7zz could not extract our imploded entries";
  for (size_t i = 0; i < entries.size(); ++i)
    EXPECT_TRUE(read_file(dir / "out" / entries[i].name) == originals[i]) << entries[i].name;
  std::filesystem::remove_all(dir);
}
