// The store file itself: changes of concurrent processes are all kept, a
// writer killed at any moment leaves a store that parses, and a damaged
// store is reported and never replaced.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <random>
#include <string>

#include "store_fixture.h"

using platform::Error;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

void pause_us(long us) {
  timespec t{us / 1000000, (us % 1000000) * 1000};
  ::nanosleep(&t, nullptr);
}

}  // namespace

TEST_F(TempStore, ConcurrentProcessesLoseNoChange) {
  constexpr int CHILDREN = 4, EACH = 40;
  make("SOFTWARE\\Race");
  pid_t pids[CHILDREN];
  for (int c = 0; c < CHILDREN; ++c) {
    pids[c] = ::fork();
    ASSERT_GE(pids[c], 0);
    if (pids[c] == 0) {
      RegistryKey k;
      if (reg().open_key(hklm(), "SOFTWARE\\Race", platform::RegistryAccess::all, k) != Error::none) _exit(2);
      for (int i = 0; i < EACH; ++i) {
        std::string name = "child" + std::to_string(c) + "_" + std::to_string(i);
        if (reg().set_value(k, name, RegistryValue::dword(static_cast<uint32_t>(i))) != Error::none) _exit(3);
      }
      _exit(0);
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  for (int c = 0; c < CHILDREN; ++c) {
    for (int i = 0; i < EACH; ++i) {
      std::string name = "child" + std::to_string(c) + "_" + std::to_string(i);
      EXPECT_EQ(value("SOFTWARE\\Race", name), RegistryValue::dword(static_cast<uint32_t>(i))) << name;
    }
  }
}

TEST_F(TempStore, WriterKilledAtAnyMomentLeavesAReadableStore) {
  std::mt19937 random(12345);
  int kept = 0;
  for (int round = 0; round < 25; ++round) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RegistryKey k = make("SOFTWARE\\Killed");
      for (uint32_t i = 0;; ++i) {
        reg().set_value(k, "n" + std::to_string(i % 50), RegistryValue::binary(std::string(i % 3000, 'x')));
      }
    }
    pause_us(static_cast<long>(random() % 20000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    std::string name;
    RegistryValue v;
    RegistryKey k;
    Error opened = reg().open_key(hklm(), "SOFTWARE\\Killed", platform::RegistryAccess::read, k);
    ASSERT_TRUE(opened == Error::none || opened == Error::not_found) << reg().last_error_message();
    if (opened == Error::none) {
      for (uint32_t i = 0; reg().enum_value(k, i, name, v) == Error::none; ++i) EXPECT_EQ(v.type, platform::REGISTRY_BINARY);
      ++kept;
    }
  }
  // A leftover temporary file is taken away by the next change.
  make("SOFTWARE\\After");
  EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
  EXPECT_GT(kept, 0);
}

TEST_F(TempStore, DamagedStoreIsReportedAndLeftAlone) {
  const std::string damaged[] = {
      "",                                                                  // emptied by something
      "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"v\"=\"1\"\n",                     // no header
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"v\"=hex:01,0g\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"v\"=\"cut off",
      "Windows Registry Editor Version 5.00\n\n[HKEY_NOWHERE\\SOFTWARE]\n",
      "Windows Registry Editor Version 5.00\n\n\"v\"=dword:00000001\n",
  };
  for (const std::string& text : damaged) {
    write_file(text);
    RegistryKey k;
    EXPECT_EQ(reg().open_key(hklm(), "SOFTWARE", platform::RegistryAccess::read, k), Error::io) << text;
    EXPECT_NE(reg().last_error_message().find(path_), std::string::npos) << reg().last_error_message();
    bool created = false;
    EXPECT_EQ(reg().create_key(hklm(), "SOFTWARE\\New", platform::RegistryAccess::all, k, created), Error::io);
    EXPECT_EQ(file_text(), text);
  }
  write_file("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"v\"=hex:01,0g\n");
  RegistryKey k;
  reg().open_key(hklm(), "SOFTWARE", platform::RegistryAccess::read, k);
  EXPECT_NE(reg().last_error_message().find("line 4"), std::string::npos) << reg().last_error_message();
}

TEST_F(TempStore, StoreLocationAndModeAreKept) {
  // Without QEL_REGISTRY the store is per user, below XDG_DATA_HOME.
  ::unsetenv("QEL_REGISTRY");
  const char* old_xdg = ::getenv("XDG_DATA_HOME");
  std::string saved_xdg = old_xdg ? old_xdg : "";
  ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
  make("SOFTWARE\\Default Place");
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/data/qel/registry.reg"));
  if (old_xdg) ::setenv("XDG_DATA_HOME", saved_xdg.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");

  // A store reached through a symbolic link is changed where it lies, and
  // keeps its permissions.
  ::setenv("QEL_REGISTRY", path_.c_str(), 1);
  make("SOFTWARE\\First");
  ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
  std::string link = dir_ + "/link.reg";
  ASSERT_EQ(::symlink(path_.c_str(), link.c_str()), 0);
  ::setenv("QEL_REGISTRY", link.c_str(), 1);
  make("SOFTWARE\\Through Link");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(file_text().find("Through Link"), std::string::npos);
  struct stat st;
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}
