// Shared by the launcher's in-process tests: a clean launcher state and
// current directory per test, a scratch directory, and recording stand-ins
// for the dialogs, the console and the system query.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "launcher_state.h"
#include "platform/console.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/system_info.h"

namespace launcher_test {

// Message boxes and folder choices are recorded and answered from scripts.
class RecordingDialogs final : public platform::Dialogs {
 public:
  struct Box {
    platform::MessageBoxRequest request;
    bool owned = false;
  };
  std::vector<Box> boxes;
  std::deque<int> answers;  // empty: OK
  std::deque<std::pair<platform::FolderChoice, std::string>> folders;  // empty: cancelled
  int browses = 0;
  int modal_result = platform::DIALOG_CANCEL;  // what every modal dialog answers
  int modal_runs = 0;

  int run_modal(const platform::DialogTemplate&, const platform::DialogEvents&) override {
    ++modal_runs;
    return modal_result;
  }
  std::unique_ptr<platform::DialogWindow> open_modeless(const platform::DialogTemplate&) override {
    return nullptr;
  }
  int message_box(platform::DialogWindow* owner, const platform::MessageBoxRequest& request) override {
    boxes.push_back({request, owner != nullptr});
    if (answers.empty()) return platform::DIALOG_OK;
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  platform::FolderChoice browse_for_folder(platform::DialogWindow*, const std::string&,
                                           std::string& path) override {
    ++browses;
    if (folders.empty()) return platform::FolderChoice::cancelled;
    auto [choice, chosen] = folders.front();
    folders.pop_front();
    path = chosen;
    return choice;
  }
};

class CountingConsole final : public platform::Console {
 public:
  int setups = 0;
  int key_waits = 0;
  void setup(int, const std::string&) override { ++setups; }
  int wait_key() override {
    ++key_waits;
    return 'x';
  }
};

class FixedSystemInfo final : public platform::SystemInfo {
 public:
  explicit FixedSystemInfo(bool ia64_wow64) : ia64_wow64_(ia64_wow64) {}
  bool is_ia64_wow64() override { return ia64_wow64_; }

 private:
  bool ia64_wow64_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool Exists(const std::string& path) {
  platform::FileStatus st;
  return platform::native<platform::FileSystem>().status(path, st) == platform::Error::none &&
         st.kind != platform::FileKind::missing;
}

inline char Sep() { return platform::native<platform::FileSystem>().path_separator(); }

// Each test starts from the state of a fresh process and gets its current
// directory back afterwards.
class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    launcher::ResetState();
    platform::native<platform::FileSystem>().current_directory(saved_cwd_);
    ASSERT_FALSE(dir_.path().empty());
  }
  void TearDown() override {
    platform::native<platform::FileSystem>().set_current_directory(saved_cwd_);
    launcher::ResetState();
  }
  std::string Path(const std::string& name) const { return dir_ / name; }
  void MakeDir(const std::string& path) { platform::native<platform::FileSystem>().create_directory(path); }

  fakes::TempDir dir_{"lt"};
  std::string saved_cwd_;
};

}  // namespace launcher_test
