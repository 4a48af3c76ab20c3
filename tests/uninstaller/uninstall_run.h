// Test helper for runs of the real `uninstall` program: a private world per
// test (temporary directory, registry store, TMPDIR for the self-removal
// script), an installed product tree in it, and a child process started
// with chosen arguments and environment.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "record_image.h"

extern char** environ;

namespace fs = std::filesystem;

class UninstallRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qel-uninstall-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    world_ = pattern;
    tmp_ = world_ + "/tmp";
    fs::create_directories(tmp_);
    install_ = world_ + "/product";
    env_["TMPDIR"] = tmp_;
    env_["QEL_REGISTRY"] = world_ + "/registry.reg";
    env_["PATH"] = "/usr/bin:/bin";
    fields_.install_dir = install_;
  }
  void TearDown() override {
    WaitForScript();
    std::error_code ec;
    fs::permissions(world_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(world_, ec);
  }

  // A JRE (or, with jre = false, an SDK with its runtime in jre/) in
  // install_: the JVM library, a read-only file, nested directories.
  void MakeProduct(bool jre = true) {
    fields_.is_jre = jre ? "1" : "0";
    std::string runtime = jre ? install_ : install_ + "/jre";
    fs::create_directories(runtime + "/bin/tarvik");
    fs::create_directories(runtime + "/lib/ext/deep");
    WriteFileBytes(runtime + "/bin/tarvik/jvm.dll", "jvm");
    WriteFileBytes(runtime + "/bin/java", "java", true);
    WriteFileBytes(runtime + "/lib/rt.jar", std::string(10000, 'r'));
    WriteFileBytes(runtime + "/lib/ext/deep/a.txt", "a");
    WriteFileBytes(install_ + "/readonly.txt", "ro");
    ::chmod((install_ + "/readonly.txt").c_str(), 0444);
    ::chmod((runtime + "/lib/ext/deep").c_str(), 0555);
  }

  // The program with the record, at `path` (default: in the installation).
  std::string PlaceUninstaller(std::string path = {}) {
    if (path.empty()) path = install_ + "/uninstall";
    fs::create_directories(fs::path(path).parent_path());
    WriteUninstaller(path, fields_);
    program_ = path;
    return path;
  }

  // Runs the program with `arguments`, waits, and answers its exit status.
  int Run(const std::vector<std::string>& arguments, const std::string& program = {}) {
    std::string exe = program.empty() ? program_ : program;
    std::vector<std::string> argv_text = {exe};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::map<std::string, std::optional<std::string>> merged;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      size_t eq = entry.find('=');
      if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (auto& [k, v] : env_) merged[k] = v;
    std::vector<std::string> env_text;
    for (auto& [k, v] : merged)
      if (v) env_text.push_back(k + "=" + *v);
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, (cwd_.empty() ? world_ : cwd_).c_str());
    posix_spawn_file_actions_addopen(&actions, 2, (world_ + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (detached_) {
      // No controlling terminal and nothing on stdin: as a service or a
      // deployment tool would start it.
      posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    }
    pid_t pid;
    int rc = posix_spawn(&pid, exe.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) return -1;
    // A run that waits for an answer nobody can give must not hang the test.
    int status = 0;
    for (int waited_ms = 0; waitpid(pid, &status, WNOHANG) == 0; waited_ms += 10) {
      if (waited_ms >= 30000) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -2;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // What the last run wrote to its standard error stream.
  std::string Stderr() { return ReadFileBytes(world_ + "/stderr"); }

  // Scripts still waiting in the private temporary directory.
  std::vector<std::string> Scripts() {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(tmp_, ec)) found.push_back(e.path().filename().string());
    return found;
  }

  // Waits (up to 20 s) until the self-removal script has deleted itself.
  bool WaitForScript() {
    for (int i = 0; i < 400; ++i) {
      if (Scripts().empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  std::string Log(const std::string& path) { return ReadFileBytes(path); }
  bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
  }

  std::string world_, tmp_, install_, program_;
  std::string cwd_;         // where runs start (default: world_)
  bool detached_ = false;   // runs start in a new session with stdin from /dev/null
  RecordFields fields_;
  std::map<std::string, std::optional<std::string>> env_;
};
