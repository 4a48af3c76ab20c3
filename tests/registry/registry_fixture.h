// A private registry for one test, and helpers to fill and inspect it. On
// POSIX the store is a fresh file named by QEL_REGISTRY; on Win32 the tests
// run only in a scratch registry (a Wine prefix of their own, announced by
// QEL_REGISTRY_TEST_SCRATCH=1), where the keys they use are cleared first.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"

// Set up by private_registry_<backend>.cpp. False with a reason when this
// machine's registry must not be touched.
bool OpenPrivateRegistry(std::string& reason);
void ClosePrivateRegistry();

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    if (!OpenPrivateRegistry(reason)) GTEST_SKIP() << reason;
  }
  void TearDown() override { ClosePrivateRegistry(); }

  platform::Registry& reg() { return platform::registry(); }
  platform::RegistryKey hklm() { return reg().root(platform::RegistryRoot::local_machine); }
  platform::RegistryKey hkcr() { return reg().root(platform::RegistryRoot::classes_root); }

  // Creates (or opens) a key below a root with full access.
  platform::RegistryKey make(platform::RegistryRoot root, const std::string& path) {
    platform::RegistryKey k;
    bool created = false;
    EXPECT_EQ(reg().create_key(reg().root(root), path, platform::RegistryAccess::all, k, created),
              platform::Error::none)
        << path << ": " << reg().last_error_message();
    return k;
  }
  platform::RegistryKey make(const std::string& path) { return make(platform::RegistryRoot::local_machine, path); }

  bool exists(platform::RegistryRoot root, const std::string& path) {
    platform::RegistryKey k;
    return reg().open_key(reg().root(root), path, platform::RegistryAccess::read, k) == platform::Error::none;
  }
  bool exists(const std::string& path) { return exists(platform::RegistryRoot::local_machine, path); }

  void set_text(const std::string& key, const std::string& name, const std::string& text) {
    platform::RegistryKey k = make(key);
    ASSERT_EQ(reg().set_value(k, name, platform::RegistryValue::string(text)), platform::Error::none);
  }

  // The value, or one of type 0xFFFFFFFF when it cannot be read.
  platform::RegistryValue value(platform::RegistryRoot root, const std::string& key, const std::string& name) {
    platform::RegistryKey k;
    platform::RegistryValue v;
    if (reg().open_key(reg().root(root), key, platform::RegistryAccess::read, k) != platform::Error::none ||
        reg().query_value(k, name, v) != platform::Error::none) {
      v.type = 0xFFFFFFFF;
      v.data = "(missing)";
    }
    return v;
  }
  platform::RegistryValue value(const std::string& key, const std::string& name) {
    return value(platform::RegistryRoot::local_machine, key, name);
  }
};

// Where the tests that need no fixed location put their keys.
inline const std::string kScratch = "SOFTWARE\\Qel Registry Test";
