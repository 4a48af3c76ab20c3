// A single-key deletion removes the key with its values and refuses a key
// that still has subkeys; keys opened for reading cannot be changed.
#include "temp_store.h"

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

TEST_F(TempStore, DeletionFailsWhileSubkeysRemain) {
  set_text("SOFTWARE\\Parent", "kept", "yes");
  set_text("SOFTWARE\\Parent\\Child", "x", "1");
  EXPECT_EQ(reg().delete_key(hklm(), "SOFTWARE\\Parent"), Error::not_empty);
  EXPECT_EQ(value("SOFTWARE\\Parent", "kept"), RegistryValue::string("yes"));

  EXPECT_EQ(reg().delete_key(hklm(), "software\\parent\\CHILD"), Error::none);
  EXPECT_FALSE(exists("SOFTWARE\\Parent\\Child"));
  EXPECT_EQ(reg().delete_key(hklm(), "SOFTWARE\\Parent"), Error::none);
  EXPECT_FALSE(exists("SOFTWARE\\Parent"));
  EXPECT_TRUE(exists("SOFTWARE"));
  EXPECT_EQ(reg().delete_key(hklm(), "SOFTWARE\\Parent"), Error::not_found);
  EXPECT_EQ(file_text().find("Parent"), std::string::npos);
}

TEST_F(TempStore, HandlesOfADeletedKeyFailCleanly) {
  RegistryKey k = make("SOFTWARE\\Gone");
  ASSERT_EQ(reg().delete_key(hklm(), "SOFTWARE\\Gone"), Error::none);
  RegistryValue v;
  std::string name;
  EXPECT_EQ(reg().set_value(k, "x", RegistryValue::dword(1)), Error::not_found);
  EXPECT_EQ(reg().query_value(k, "x", v), Error::not_found);
  EXPECT_EQ(reg().enum_subkey(k, 0, name), Error::not_found);
  EXPECT_FALSE(exists("SOFTWARE\\Gone"));
}

TEST_F(TempStore, ReadAccessRefusesChanges) {
  set_text("SOFTWARE\\ReadOnly", "v", "1");
  RegistryKey k;
  ASSERT_EQ(reg().open_key(hklm(), "SOFTWARE\\ReadOnly", RegistryAccess::read, k), Error::none);
  EXPECT_EQ(reg().set_value(k, "v", RegistryValue::string("2")), Error::access_denied);
  EXPECT_EQ(reg().delete_value(k, "v"), Error::access_denied);
  RegistryKey sub;
  bool created = false;
  EXPECT_EQ(reg().create_key(k, "Sub", RegistryAccess::all, sub, created), Error::access_denied);
  EXPECT_EQ(value("SOFTWARE\\ReadOnly", "v"), RegistryValue::string("1"));
  // An empty key path opens the same key again, here with full access.
  RegistryKey again;
  ASSERT_EQ(reg().open_key(k, "", RegistryAccess::all, again), Error::none);
  EXPECT_EQ(reg().set_value(again, "v", RegistryValue::string("2")), Error::none);
  EXPECT_EQ(reg().delete_key(hklm(), ""), Error::access_denied);
}
