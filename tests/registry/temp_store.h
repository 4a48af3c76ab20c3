// A private registry store for one test: QEL_REGISTRY points at a file in a
// fresh temporary directory, and everything is removed afterwards.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"

class TempStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qel-registry-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/registry.reg";
    ::setenv("QEL_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("QEL_REGISTRY");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  platform::Registry& reg() { return platform::registry(); }
  platform::RegistryKey hklm() { return reg().root(platform::RegistryRoot::local_machine); }
  platform::RegistryKey hkcr() { return reg().root(platform::RegistryRoot::classes_root); }

  // Creates (or opens) a key below a root with full access.
  platform::RegistryKey make(platform::RegistryRoot root, const std::string& path) {
    platform::RegistryKey k;
    bool created = false;
    EXPECT_EQ(reg().create_key(reg().root(root), path, platform::RegistryAccess::all, k, created),
              platform::Error::none)
        << path;
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

  // The value, or a value of type 0xFFFFFFFF with the error's text when it
  // cannot be read.
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

  std::string file_text() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void write_file(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << text;
  }

  std::string dir_;
  std::string path_;
};
