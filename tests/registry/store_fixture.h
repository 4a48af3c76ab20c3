// Tests of the POSIX file store itself: the registry fixture plus the store
// file's path and text.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "registry_fixture.h"

// The store file of the current test (private_registry_posix.cpp).
std::string PrivateRegistryFile();

class TempStore : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    path_ = PrivateRegistryFile();
    dir_ = std::filesystem::path(path_).parent_path().string();
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
