// What the file store refuses: key names over 255 bytes, names it could not
// write as a line, the deletion of a predefined root, new subkeys below a
// key opened for reading; and the order it sorts names in.
#include <string>

#include "store_fixture.h"

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;

TEST_F(TempStore, NamesOutsideTheLimitsAreRefusedAndNothingIsWritten) {
  RegistryKey k;
  bool created = false;
  EXPECT_EQ(reg().create_key(hklm(), "SOFTWARE\\" + std::string(256, 'k'), RegistryAccess::all, k, created),
            Error::name_too_long);
  EXPECT_EQ(reg().create_key(hklm(), "SOFTWARE\\two\nlines", RegistryAccess::all, k, created), Error::unsupported);
  RegistryKey software = make("SOFTWARE");
  EXPECT_EQ(reg().set_value(software, "two\nlines", platform::RegistryValue::dword(1)), Error::unsupported);
  EXPECT_EQ(reg().create_key(hklm(), "SOFTWARE\\" + std::string(255, 'k'), RegistryAccess::all, k, created),
            Error::none);
  EXPECT_EQ(file_text().find("two"), std::string::npos);

  EXPECT_EQ(reg().delete_key(hklm(), ""), Error::access_denied);
  // As on Windows (Wine lets this one pass): a parent opened for reading
  // takes no new subkeys.
  RegistryKey read_only;
  ASSERT_EQ(reg().open_key(hklm(), "SOFTWARE", RegistryAccess::read, read_only), Error::none);
  EXPECT_EQ(reg().create_key(read_only, "Sub", RegistryAccess::all, k, created), Error::access_denied);
  // Names sort by their upper-case form, as the NT registry sorts them.
  make("SOFTWARE\\_x");
  make("SOFTWARE\\a");
  std::string first;
  ASSERT_EQ(reg().enum_subkey(software, 0, first), Error::none);
  EXPECT_EQ(first, "a");
  // Doubled and trailing separators name the same key.
  EXPECT_TRUE(exists("SOFTWARE\\\\" + std::string(255, 'k') + "\\"));
}
