// Keys and values are found whatever the letter case, keep the case they
// were made with, and subkeys enumerate in the registry's sorted order.
#include <string>
#include <vector>

#include "registry_fixture.h"

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

std::vector<std::string> Subkeys(platform::Registry& reg, const RegistryKey& k) {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; reg.enum_subkey(k, i, name) == Error::none; ++i) names.push_back(name);
  return names;
}

}  // namespace

TEST_F(RegistryTest, LookupIgnoresCaseAndKeepsTheFirstSpelling) {
  set_text(kScratch + "\\Tarvik\\Java Runtime Environment", "CurrentVersion", "1.4");
  EXPECT_TRUE(exists("software\\qel registry TEST\\TARVIK\\java runtime environment"));
  EXPECT_EQ(value(kScratch + "\\tarvik\\JAVA RUNTIME ENVIRONMENT", "currentversion"), RegistryValue::string("1.4"));

  // Creating it again in another case opens the same key and renames nothing.
  bool created = true;
  RegistryKey again;
  ASSERT_EQ(reg().create_key(hklm(), kScratch + "\\TARVIK", RegistryAccess::all, again, created), Error::none);
  EXPECT_FALSE(created);
  EXPECT_EQ(Subkeys(reg(), make(kScratch)), std::vector<std::string>{"Tarvik"});
  std::string name;
  RegistryValue v;
  ASSERT_EQ(reg().enum_value(make(kScratch + "\\Tarvik\\Java Runtime Environment"), 0, name, v), Error::none);
  EXPECT_EQ(name, "CurrentVersion");
}

TEST_F(RegistryTest, SubkeysEnumerateSortedWithoutRegardToCase) {
  RegistryKey vendor = make(kScratch + "\\Vendor");
  for (const char* name : {"1.4.2_03", "b", "1.4", "A", "1.3.1_09", "Z"}) {
    RegistryKey sub;
    bool created = false;
    ASSERT_EQ(reg().create_key(vendor, name, RegistryAccess::all, sub, created), Error::none);
    EXPECT_TRUE(created);
  }
  EXPECT_EQ(Subkeys(reg(), vendor), (std::vector<std::string>{"1.3.1_09", "1.4", "1.4.2_03", "A", "b", "Z"}));
  std::string name;
  EXPECT_EQ(reg().enum_subkey(vendor, 6, name), Error::not_found);
  RegistryKey k;
  EXPECT_EQ(reg().open_key(vendor, "missing", RegistryAccess::read, k), Error::not_found);
  EXPECT_FALSE(k.is_open());
}
