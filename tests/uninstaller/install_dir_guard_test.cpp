// Directories whose removal would take a disk, a home or the system's own
// directories with it are recognised; ordinary ones are not.
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
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir) saved_tmpdir_ = tmpdir;
    ::setenv("TMPDIR", "/scratch/tester", 1);
  }
  void TearDown() override {
    if (saved_home_.empty())
      ::unsetenv("HOME");
    else
      ::setenv("HOME", saved_home_.c_str(), 1);
    if (saved_tmpdir_.empty())
      ::unsetenv("TMPDIR");
    else
      ::setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
  }
  std::string saved_home_, saved_tmpdir_;
};

TEST_F(InstallDirGuard, RootsAreRefused) {
  for (const char* dir : {"/", "//", "/.", "/tmp/..", "C:", "C:\\", "c:/", "\\\\server\\share", "\\\\server\\share\\"})
    EXPECT_TRUE(IsProtectedDirectory(dir)) << dir;
}

TEST_F(InstallDirGuard, HomeAndItsAncestorsAreRefused) {
  EXPECT_TRUE(IsProtectedDirectory("/home/tester"));
  EXPECT_TRUE(IsProtectedDirectory("/home/tester/"));
  EXPECT_TRUE(IsProtectedDirectory("/home"));
  EXPECT_TRUE(IsProtectedDirectory("/home/tester/../tester"));
  EXPECT_FALSE(IsProtectedDirectory("/home/tester/tarvik-1.4.2_02"));
  EXPECT_FALSE(IsProtectedDirectory("/home/tester2"));
  ::setenv("USERPROFILE", "/users/other", 1);
  EXPECT_TRUE(IsProtectedDirectory("/users/other"));
}

TEST_F(InstallDirGuard, SystemDirectoriesAndTheirParentsAreRefused) {
  for (const char* dir : {"/usr", "/usr/", "/usr/lib", "/etc", "/var/lib", "/opt", "/tmp", "/usr/local/bin",
                          "/scratch/tester", "/scratch"})
    EXPECT_TRUE(IsProtectedDirectory(dir)) << dir;
  for (const char* dir : {"/usr/lib/tarvik-1.4.2_02", "/opt/tarvik", "/tmp/qel-demo", "/scratch/tester/product",
                          "/var/lib/tarvik"})
    EXPECT_FALSE(IsProtectedDirectory(dir)) << dir;
}

TEST_F(InstallDirGuard, ProductDirectoriesPass) {
  EXPECT_FALSE(IsProtectedDirectory("/opt/tarvik/j2re1.4.2_02"));
  EXPECT_FALSE(IsProtectedDirectory("C:\\Program Files\\Tarvik\\j2re1.4.2_02"));
  EXPECT_FALSE(IsProtectedDirectory("\\\\server\\share\\tarvik"));
}
