// Every value comes back from the file store byte for byte, whatever the
// bytes are, and the file keeps the readable export forms where they fit.
#include <string>
#include <vector>

#include "store_fixture.h"

using platform::Error;
using platform::RegistryValue;

namespace {

RegistryValue raw(uint32_t type, std::string data) {
  RegistryValue v;
  v.type = type;
  v.data = std::move(data);
  return v;
}

std::string all_bytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

}  // namespace

TEST_F(TempStore, EveryTypeAndOddDataRoundTrips) {
  const std::vector<std::pair<std::string, RegistryValue>> cases = {
      {"", RegistryValue::string("default text")},
      {"plain", RegistryValue::string("1.4")},
      {"quotes and \\ backslashes", RegistryValue::string("say \"hi\" C:\\Program Files\\")},
      {"empty string", RegistryValue::string("")},
      {"no terminator", raw(platform::REGISTRY_SZ, "abc")},
      {"two terminators", raw(platform::REGISTRY_SZ, std::string("abc\0\0", 5))},
      {"inner zero", raw(platform::REGISTRY_SZ, std::string("a\0b\0", 4))},
      {"line break", RegistryValue::string("one\r\ntwo\n")},
      {"high bytes", RegistryValue::string("caf\xC3\xA9 \xFF\x80")},
      {"empty data sz", raw(platform::REGISTRY_SZ, "")},
      {"expand", RegistryValue::expand_string("%SystemRoot%\\system32")},
      {"dword", RegistryValue::dword(0xDEADBEEF)},
      {"dword zero", RegistryValue::dword(0)},
      {"short dword", raw(platform::REGISTRY_DWORD, "\x01\x02")},
      {"binary", RegistryValue::binary(all_bytes())},
      {"empty binary", RegistryValue::binary("")},
      {"multi", RegistryValue::multi_string({"first", "", "third"})},
      {"qword", raw(platform::REGISTRY_QWORD, std::string("\x01\0\0\0\0\0\0\x80", 8))},
      {"none", raw(platform::REGISTRY_NONE, "")},
      {"odd type", raw(0x12345678, "xyz")},
      {"@", RegistryValue::string("a value really named @")},
      {"=[]; \"", RegistryValue::string("[HKEY_LOCAL_MACHINE\\fake]")},
  };
  platform::RegistryKey k = make("SOFTWARE\\Round Trip");
  for (const auto& [name, v] : cases) ASSERT_EQ(reg().set_value(k, name, v), Error::none) << name;
  for (const auto& [name, v] : cases) EXPECT_EQ(value("SOFTWARE\\Round Trip", name), v) << name;

  // Enumeration gives them back in the order they were set.
  for (uint32_t i = 0; i < cases.size(); ++i) {
    std::string name;
    RegistryValue v;
    ASSERT_EQ(reg().enum_value(k, i, name, v), Error::none);
    EXPECT_EQ(name, cases[i].first);
    EXPECT_EQ(v, cases[i].second);
  }
  std::string name;
  RegistryValue v;
  EXPECT_EQ(reg().enum_value(k, static_cast<uint32_t>(cases.size()), name, v), Error::not_found);

  const std::string text = file_text();
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Round Trip]\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default text\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"plain\"=\"1.4\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"quotes and \\\\ backslashes\"=\"say \\\"hi\\\" C:\\\\Program Files\\\\\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"dword\"=dword:deadbeef\n"), std::string::npos);
  EXPECT_NE(text.find("\"no terminator\"=hex(1):61,62,63\n"), std::string::npos);
  EXPECT_NE(text.find("\"odd type\"=hex(12345678):78,79,7a\n"), std::string::npos);
  // Long hex data is wrapped as regedit wraps it.
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
}

TEST_F(TempStore, ReplacingAValueKeepsItsPlaceAndFirstSpelling) {
  platform::RegistryKey k = make("SOFTWARE\\Order");
  ASSERT_EQ(reg().set_value(k, "First", RegistryValue::string("1")), Error::none);
  ASSERT_EQ(reg().set_value(k, "Second", RegistryValue::dword(2)), Error::none);
  ASSERT_EQ(reg().set_value(k, "FIRST", RegistryValue::binary("x")), Error::none);
  std::string name;
  RegistryValue v;
  ASSERT_EQ(reg().enum_value(k, 0, name, v), Error::none);
  EXPECT_EQ(name, "First");
  EXPECT_EQ(v, RegistryValue::binary("x"));
  ASSERT_EQ(reg().enum_value(k, 1, name, v), Error::none);
  EXPECT_EQ(name, "Second");

  ASSERT_EQ(reg().delete_value(k, "first"), Error::none);
  EXPECT_EQ(reg().query_value(k, "First", v), Error::not_found);
  EXPECT_EQ(reg().delete_value(k, "First"), Error::not_found);
}

TEST_F(TempStore, HandWrittenExportIsRead) {
  // What an editor or regedit might leave: CRLF, comments, continued hex
  // lines, blanks around '=', short root names, an old-style header.
  write_file(
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKLM\\Software\\Hand]\r\n"
      "\"Text\" = \"written by hand\"\r\n"
      "\"Blob\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "\"Small\"=dword:1f\r\n"
      "\r\n"
      "[HKEY_CLASSES_ROOT\\.jar]\r\n"
      "@=\"jarfile\"\r\n");
  EXPECT_EQ(value("SOFTWARE\\HAND", "text"), RegistryValue::string("written by hand"));
  EXPECT_EQ(value("Software\\Hand", "Blob"), RegistryValue::binary("\x01\x02\x03\x04"));
  EXPECT_EQ(value("Software\\Hand", "Small"), RegistryValue::dword(0x1f));
  EXPECT_EQ(value(platform::RegistryRoot::classes_root, ".jar", ""), RegistryValue::string("jarfile"));
}
