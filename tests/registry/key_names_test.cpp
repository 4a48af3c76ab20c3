// Keys and values are found whatever the letter case, keep the case they
// were made with, and subkeys enumerate in the registry's sorted order.
#include <string>
#include <vector>

#include "temp_store.h"

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

std::vector<std::string> subkeys(platform::Registry& reg, const RegistryKey& k) {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; reg.enum_subkey(k, i, name) == Error::none; ++i) names.push_back(name);
  return names;
}

}  // namespace

TEST_F(TempStore, LookupIgnoresCaseAndKeepsTheFirstSpelling) {
  set_text("SOFTWARE\\Tarvik\\Java Runtime Environment", "CurrentVersion", "1.4");
  EXPECT_TRUE(exists("software\\TARVIK\\java runtime environment"));
  EXPECT_EQ(value("Software\\tarvik\\JAVA RUNTIME ENVIRONMENT", "currentversion"),
            RegistryValue::string("1.4"));

  // Creating it again in another case opens the same key and renames nothing.
  bool created = true;
  RegistryKey again;
  ASSERT_EQ(reg().create_key(hklm(), "SOFTWARE\\TARVIK", RegistryAccess::all, again, created), Error::none);
  EXPECT_FALSE(created);
  RegistryKey software = make("software");
  EXPECT_EQ(subkeys(reg(), software), std::vector<std::string>{"Tarvik"});
  EXPECT_NE(file_text().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\Java Runtime Environment]"),
            std::string::npos);
}

TEST_F(TempStore, SubkeysEnumerateSortedWithoutRegardToCase) {
  RegistryKey vendor = make("SOFTWARE\\Vendor");
  for (const char* name : {"1.4.2_03", "b", "1.4", "A", "1.3.1_09", "_x", "Z"}) {
    RegistryKey sub;
    bool created = false;
    ASSERT_EQ(reg().create_key(vendor, name, RegistryAccess::all, sub, created), Error::none);
    EXPECT_TRUE(created);
  }
  // Upper-case order, as Windows gives it: letters before '_'.
  EXPECT_EQ(subkeys(reg(), vendor),
            (std::vector<std::string>{"1.3.1_09", "1.4", "1.4.2_03", "A", "b", "Z", "_x"}));
  std::string name;
  EXPECT_EQ(reg().enum_subkey(vendor, 7, name), Error::not_found);
}

TEST_F(TempStore, PathsAndNamesOutsideTheLimitsAreRefused) {
  RegistryKey k;
  bool created = false;
  EXPECT_EQ(reg().create_key(hklm(), "SOFTWARE\\" + std::string(256, 'k'), RegistryAccess::all, k, created),
            Error::name_too_long);
  EXPECT_EQ(reg().create_key(hklm(), std::string(255, 'k'), RegistryAccess::all, k, created), Error::none);
  EXPECT_EQ(reg().create_key(hklm(), "SOFTWARE\\two\nlines", RegistryAccess::all, k, created),
            Error::unsupported);
  EXPECT_FALSE(exists("SOFTWARE"));
  EXPECT_EQ(reg().open_key(hklm(), "SOFTWARE\\missing", RegistryAccess::read, k), Error::not_found);
  EXPECT_FALSE(k.is_open());
}
