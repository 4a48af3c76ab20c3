// Packed installers for the tests (see packed_installer.h).
#include "packed_installer.h"

#include <gtest/gtest.h>

#include "launcher_test_support.h"
#include "platform/process.h"

namespace launcher_test {
namespace {

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

}  // namespace

uint32_t Crc32(const std::string& data) {
  static const auto table = [] {
    std::vector<uint32_t> t(256);
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) crc = (crc >> 8) ^ table[(crc ^ c) & 0xFF];
  return ~crc;
}

std::string MakeZip(const std::vector<ZipMember>& members, uint32_t base) {
  std::string zip, central;
  for (const ZipMember& m : members) {
    const bool deflate = !m.deflated.empty();
    const std::string& stored = deflate ? m.deflated : m.data;
    const uint32_t offset = base + static_cast<uint32_t>(zip.size());
    const uint32_t crc = m.precomputed ? m.crc : Crc32(m.data);
    const uint32_t size = m.precomputed ? m.size : static_cast<uint32_t>(m.data.size());
    zip += "PK\x03\x04";
    Put16(zip, 20);                 // version needed
    Put16(zip, 0);                  // flags
    Put16(zip, deflate ? 8 : 0);    // method
    Put16(zip, 0x6000);             // time 12:00
    Put16(zip, 0x5821);             // date 2024-01-01
    Put32(zip, crc);
    Put32(zip, static_cast<uint32_t>(stored.size()));
    Put32(zip, size);
    Put16(zip, static_cast<uint32_t>(m.name.size()));
    Put16(zip, 0);                  // extra length
    zip += m.name + stored;

    central += "PK\x01\x02";
    Put16(central, 20);             // made by: FAT host
    Put16(central, 20);
    Put16(central, 0);
    Put16(central, deflate ? 8 : 0);
    Put16(central, 0x6000);
    Put16(central, 0x5821);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(stored.size()));
    Put32(central, size);
    Put16(central, static_cast<uint32_t>(m.name.size()));
    Put16(central, 0);              // extra
    Put16(central, 0);              // comment
    Put16(central, 0);              // disk
    Put16(central, 0);              // internal attributes
    Put32(central, m.name.back() == '/' ? 0x10 : 0x20);  // external: directory or archive
    Put32(central, offset);
    central += m.name;
  }
  const uint32_t central_offset = base + static_cast<uint32_t>(zip.size());
  zip += central;
  zip += "PK\x05\x06";
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint32_t>(members.size()));
  Put16(zip, static_cast<uint32_t>(members.size()));
  Put32(zip, static_cast<uint32_t>(central.size()));
  Put32(zip, central_offset);
  Put16(zip, 0);
  return zip;
}

std::string SetupstubPath() { return QEL_SETUPSTUB_PATH; }

void PackInstaller(const std::string& path, const std::vector<ZipMember>& members) {
  std::string stub = ReadFile(SetupstubPath());
  ASSERT_FALSE(stub.empty()) << SetupstubPath();
  WriteFile(path, stub + MakeZip(members, static_cast<uint32_t>(stub.size())));
  platform::native<platform::FileSystem>().set_unix_mode(path, 0755);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& directory, const std::string& input) {
  platform::ChildStreams streams;
  streams.input = directory + Sep() + "stdin.txt";
  streams.output = directory + Sep() + "stdout.txt";
  streams.error = directory + Sep() + "stderr.txt";
  WriteFile(streams.input, input);
  std::string line = "\"" + program + "\"";
  for (const std::string& a : args) line += " \"" + a + "\"";
  RunResult r;
  platform::ChildProcess child;
  EXPECT_EQ(platform::native<platform::Process>().start_with_streams(line, directory, streams, child),
            platform::Error::none);
  EXPECT_EQ(platform::native<platform::Process>().wait(child, r.exit_code), platform::Error::none);
  // Text-mode streams on Windows end lines with CR LF.
  auto lf = [](std::string s) {
    for (size_t at; (at = s.find("\r\n")) != std::string::npos;) s.erase(at, 1);
    return s;
  };
  r.out = lf(ReadFile(streams.output));
  r.err = lf(ReadFile(streams.error));
  return r;
}

int MinusOneExit() { return Sep() == '/' ? 255 : -1; }

}  // namespace launcher_test
