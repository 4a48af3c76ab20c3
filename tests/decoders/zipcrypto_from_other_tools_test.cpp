// Entries that 7-Zip and bsdtar encrypt with the traditional cipher and a
// known password (deflated, also with a data descriptor) decrypt and
// inflate to the original; a wrong password is refused. Skipped where the
// tools are not installed (and under Wine).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "context.h"
#include "decoder_state.h"
#include "decoders/sample_data.h"
#include "inflate.h"
#include "traditional_crypt.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

const char* g_password = nullptr;
int give_password(EngineContext&, int* retry, char* buffer, int size, const char*, const char*) {
  if (*retry == 0) *retry = 2;
  else --*retry;
  std::snprintf(buffer, static_cast<size_t>(size), "%s", g_password);
  return 0;
}

// Decrypts and inflates the first entry of a ZIP archive; the CRC and
// sizes come from the central directory as the engine takes them.
int decode_first_entry(const std::vector<uint8_t>& zip, const char* password, std::vector<uint8_t>& out) {
  size_t eocd = zip.size() - 22;
  while (le32(&zip[eocd]) != 0x06054b50) --eocd;
  const uint8_t* c = &zip[le32(&zip[eocd + 16])];
  const uint8_t* l = &zip[le32(c + 42)];
  auto ctx = std::make_unique<EngineContext>();
  ctx->local.flags = le16(l + 6);
  ctx->local.dos_time = le16(l + 10) | uint32_t(le16(l + 12)) << 16;
  ctx->local.crc32 = le32(c + 16);
  uint32_t csize = le32(c + 20), usize = le32(c + 24);
  std::vector<uint8_t> data(l + 30 + le16(l + 26) + le16(l + 28), l + 30 + le16(l + 26) + le16(l + 28) + csize);
  ctx->read_ptr = data.data();
  ctx->unread_count = static_cast<int32_t>(data.size());
  ctx->memory_input = 1;
  g_password = password;
  ctx->password_hook = give_password;
  if (int r = decrypt_entry_header(*ctx)) return 100 + r;
  out.assign(usize + 1, 0);
  ctx->decoder.memory_output = true;
  ctx->decoder.memory_target = out.data();
  ctx->decoder.memory_room = usize + 1;
  int r = inflate_entry(*ctx);
  out.resize(ctx->decoder.memory_produced);
  return r;
}

struct tool_case {
  const char* name;
  const char* command;  // run in the work directory on data.txt
};

}  // namespace

TEST(ZipcryptoFromOtherTools, SevenZipAndBsdtarEntriesDecrypt) {
  const tool_case tools[] = {
      {"7zz", "7zz a -tzip -psecret -mem=ZipCrypto -mm=Deflate out.zip data.txt >/dev/null 2>&1"},
      {"bsdtar", "bsdtar --format zip --options zip:encryption=zipcrypt,zip:compression=deflate "
                 "--passphrase secret -cf out.zip data.txt >/dev/null 2>&1"},
  };
  auto data = sample_text(100000);
  int ran = 0;
  for (const auto& t : tools) {
    fs::path dir = fs::temp_directory_path() / ("qel_zipcrypto_" + std::string(t.name) + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
      std::ofstream f(dir / "data.txt", std::ios::binary);
      f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    std::string cmd = "cd '" + dir.string() + "' && " + t.command;
    if (std::system(cmd.c_str()) != 0 || !fs::exists(dir / "out.zip")) {
      fs::remove_all(dir);
      continue;
    }
    ++ran;
    auto zip = read_file(dir / "out.zip");
    std::vector<uint8_t> out;
    EXPECT_EQ(decode_first_entry(zip, "secret", out), 0) << t.name;
    EXPECT_TRUE(out == data) << t.name;
    EXPECT_EQ(decode_first_entry(zip, "Secret", out), 101) << t.name;
    fs::remove_all(dir);
  }
  if (ran == 0) GTEST_SKIP() << "neither 7zz nor bsdtar could make an encrypted archive";
}
