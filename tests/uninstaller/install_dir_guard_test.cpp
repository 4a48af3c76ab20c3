// Installation directories whose removal would take a disk or a home with
// it are recognised; ordinary ones are not.
#include <stdlib.h>

#include <gtest/gtest.h>

#include "install_dir_guard.h"

class InstallDirGuard : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("HOME");
    if (home) saved_home_ = home;
    ::setenv("HOME", "/home/tester", 1);
    ::unsetenv("USERPROFILE");
  }
  void TearDown() override {
    if (saved_home_.empty())
      ::unsetenv("HOME");
    else
      ::setenv("HOME", saved_home_.c_str(), 1);
  }
  std::string saved_home_;
};

TEST_F(InstallDirGuard, RootsAreRefused) {
  for (const char* dir : {"/", "//", "/.", "/tmp/..", "C:", "C:\\", "c:/", "\\\\server\\share", "\\\\server\\share\\"})
    EXPECT_TRUE(IsUnsafeInstallDir(dir)) << dir;
}

TEST_F(InstallDirGuard, HomeAndItsAncestorsAreRefused) {
  EXPECT_TRUE(IsUnsafeInstallDir("/home/tester"));
  EXPECT_TRUE(IsUnsafeInstallDir("/home/tester/"));
  EXPECT_TRUE(IsUnsafeInstallDir("/home"));
  EXPECT_TRUE(IsUnsafeInstallDir("/home/tester/../tester"));
  EXPECT_FALSE(IsUnsafeInstallDir("/home/tester/tarvik-1.4.2_02"));
  EXPECT_FALSE(IsUnsafeInstallDir("/home/tester2"));
  ::setenv("USERPROFILE", "/users/other", 1);
  EXPECT_TRUE(IsUnsafeInstallDir("/users/other"));
}

TEST_F(InstallDirGuard, ProductDirectoriesPass) {
  EXPECT_FALSE(IsUnsafeInstallDir("/opt/tarvik/j2re1.4.2_02"));
  EXPECT_FALSE(IsUnsafeInstallDir("C:\\Program Files\\Tarvik\\j2re1.4.2_02"));
  EXPECT_FALSE(IsUnsafeInstallDir("\\\\server\\share\\tarvik"));
}
