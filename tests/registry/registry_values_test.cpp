// The value types the programs use come back as they were set, through
// both backends, and enumerate each once.
#include <map>
#include <string>
#include <vector>

#include "registry_fixture.h"

using platform::Error;
using platform::RegistryValue;

namespace {

RegistryValue Raw(uint32_t type, std::string data) {
  RegistryValue v;
  v.type = type;
  v.data = std::move(data);
  return v;
}

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

}  // namespace

TEST_F(RegistryTest, UsualTypesRoundTrip) {
  const std::vector<std::pair<std::string, RegistryValue>> cases = {
      {"", RegistryValue::string("default text")},
      {"plain", RegistryValue::string("1.4")},
      {"quotes and \\ backslashes", RegistryValue::string("say \"hi\" C:\\Program Files\\")},
      {"empty string", RegistryValue::string("")},
      {"expand", RegistryValue::expand_string("%SystemRoot%\\system32")},
      {"dword", RegistryValue::dword(0xDEADBEEF)},
      {"binary", RegistryValue::binary(AllBytes())},
      {"empty binary", RegistryValue::binary("")},
      {"multi", RegistryValue::multi_string({"first", "second"})},
      {"qword", Raw(platform::REGISTRY_QWORD, std::string("\x01\0\0\0\0\0\0\x80", 8))},
  };
  const std::string path = kScratch + "\\Round Trip";
  platform::RegistryKey k = make(path);
  for (const auto& [name, v] : cases) ASSERT_EQ(reg().set_value(k, name, v), Error::none) << name;
  for (const auto& [name, v] : cases) EXPECT_EQ(value(path, name), v) << name;

  // Every value once; the order is the backend's (Windows promises none).
  std::string name;
  RegistryValue v;
  std::map<std::string, RegistryValue> listed;
  for (uint32_t i = 0; reg().enum_value(k, i, name, v) == Error::none; ++i) EXPECT_TRUE(listed.emplace(name, v).second);
  EXPECT_EQ(listed.size(), cases.size());
  for (const auto& [n, expected] : cases) EXPECT_EQ(listed[n], expected) << n;

  ASSERT_EQ(reg().set_value(k, "PLAIN", RegistryValue::dword(2)), Error::none);
  EXPECT_EQ(value(path, "plain"), RegistryValue::dword(2));
  ASSERT_EQ(reg().delete_value(k, "Plain"), Error::none);
  EXPECT_EQ(reg().query_value(k, "plain", v), Error::not_found);
  EXPECT_EQ(reg().delete_value(k, "plain"), Error::not_found);
}
