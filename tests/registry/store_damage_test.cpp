// Whatever bytes the store file holds, reading it either succeeds or is
// reported as damage; it never reads out of bounds (run under the
// sanitizers), and what it does read is written back the same.
#include <random>
#include <string>

#include "store_fixture.h"

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

// Every key and value below `key`, as one text.
std::string Dump(platform::Registry& reg, const RegistryKey& key, const std::string& indent) {
  std::string out;
  std::string name;
  RegistryValue v;
  for (uint32_t i = 0; reg.enum_value(key, i, name, v) == Error::none; ++i)
    out += indent + name + "=" + std::to_string(v.type) + ":" + v.data + "\n";
  for (uint32_t i = 0; reg.enum_subkey(key, i, name) == Error::none; ++i) {
    RegistryKey sub;
    if (reg.open_key(key, name, RegistryAccess::read, sub) != Error::none) return out + "(unreadable)";
    out += indent + "[" + name + "]\n" + Dump(reg, sub, indent + " ");
  }
  return out;
}

}  // namespace

TEST_F(TempStore, MutatedStoresParseOrAreReported) {
  {
    RegistryKey k = make("SOFTWARE\\Seed\\Sub key");
    reg().set_value(k, "", RegistryValue::string("default \"quoted\" \\"));
    reg().set_value(k, "Number", RegistryValue::dword(0x1234));
    reg().set_value(k, "Blob", RegistryValue::binary(std::string(100, '\x7f')));
    reg().set_value(k, "Path", RegistryValue::expand_string("%TEMP%\\x"));
    reg().set_value(k, "List", RegistryValue::multi_string({"a", "b"}));
  }
  const std::string seed = file_text();
  const std::string alphabet = "[]\\\"=@:,-;()\n\r x0fhexdword@";
  std::mt19937 random(2024);
  int parsed = 0, reported = 0;
  for (int round = 0; round < 500; ++round) {
    std::string text = seed;
    int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      size_t at = random() % text.size();
      switch (random() % 4) {
        case 0: text[at] = alphabet[random() % alphabet.size()]; break;
        case 1: text.erase(at, 1 + random() % 8); break;
        case 2: text.insert(at, 1, alphabet[random() % alphabet.size()]); break;
        default: text.resize(at); break;
      }
    }
    write_file(text);
    RegistryKey root = hklm();
    std::string name;
    Error e = reg().enum_subkey(root, 0, name);
    if (e == Error::io) {
      ++reported;
      EXPECT_FALSE(reg().last_error_message().empty());
      EXPECT_EQ(file_text(), text);
      continue;
    }
    ASSERT_TRUE(e == Error::none || e == Error::not_found) << text;
    ++parsed;
    // What was read survives being written back.
    const std::string before = Dump(reg(), hklm(), "");
    RegistryKey touch = make("Touched");
    ASSERT_EQ(reg().delete_key(hklm(), "Touched"), Error::none);
    EXPECT_EQ(Dump(reg(), hklm(), ""), before) << text;
  }
  EXPECT_GT(parsed, 20);
  EXPECT_GT(reported, 20);
}
