// A single-key deletion removes the key with its values and refuses a key
// that still has subkeys; keys opened for reading cannot be changed.
#include "registry_fixture.h"

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

TEST_F(RegistryTest, DeletionFailsWhileSubkeysRemain) {
  const std::string parent = kScratch + "\\Parent";
  set_text(parent, "kept", "yes");
  set_text(parent + "\\Child", "x", "1");
  EXPECT_EQ(reg().delete_key(hklm(), parent), Error::not_empty);
  EXPECT_EQ(value(parent, "kept"), RegistryValue::string("yes"));

  EXPECT_EQ(reg().delete_key(hklm(), kScratch + "\\parent\\CHILD"), Error::none);
  EXPECT_FALSE(exists(parent + "\\Child"));
  EXPECT_EQ(reg().delete_key(hklm(), parent), Error::none);
  EXPECT_FALSE(exists(parent));
  EXPECT_TRUE(exists(kScratch));
  EXPECT_EQ(reg().delete_key(hklm(), parent), Error::not_found);
}

TEST_F(RegistryTest, HandlesOfADeletedKeyFailCleanly) {
  RegistryKey k = make(kScratch + "\\Gone");
  ASSERT_EQ(reg().delete_key(hklm(), kScratch + "\\Gone"), Error::none);
  RegistryValue v;
  std::string name;
  EXPECT_EQ(reg().set_value(k, "x", RegistryValue::dword(1)), Error::not_found);
  EXPECT_EQ(reg().query_value(k, "x", v), Error::not_found);
  EXPECT_EQ(reg().enum_subkey(k, 0, name), Error::not_found);
  EXPECT_FALSE(exists(kScratch + "\\Gone"));
}

TEST_F(RegistryTest, ReadAccessRefusesChanges) {
  const std::string path = kScratch + "\\ReadOnly";
  set_text(path, "v", "1");
  RegistryKey k;
  ASSERT_EQ(reg().open_key(hklm(), path, RegistryAccess::read, k), Error::none);
  EXPECT_EQ(reg().set_value(k, "v", RegistryValue::string("2")), Error::access_denied);
  EXPECT_EQ(reg().delete_value(k, "v"), Error::access_denied);
  EXPECT_EQ(value(path, "v"), RegistryValue::string("1"));
  // An empty key path opens the same key again, here with full access.
  RegistryKey again;
  ASSERT_EQ(reg().open_key(k, "", RegistryAccess::all, again), Error::none);
  EXPECT_EQ(reg().set_value(again, "v", RegistryValue::string("2")), Error::none);
  EXPECT_EQ(value(path, "v"), RegistryValue::string("2"));
}
