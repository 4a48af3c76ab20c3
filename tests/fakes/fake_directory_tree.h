// Test double of platform::DirectoryTree: a decorator over the native one
// that counts the calls of each operation and fails chosen ones, like
// FakeFileSystem (fake_file_system.h): a rule fails the N-th matching call
// of an operation, once or from then on, with a chosen platform::Error,
// optionally only for paths containing a text. It can also run a hook just
// before a call, so that a test changes the real file system at an exact
// moment of a walk (a directory swapped for a link after its listing).
//
//   fakes::FakeDirectoryTree tree;
//   platform::ScopedService<platform::DirectoryTree> use(tree);
//   tree.fail_always(fakes::TreeOp::remove, platform::Error::sharing_violation, "held.bin");
//
// The path a call is matched by: open_parent's argument; for list and
// make_writable the held directory's path; for the others the directory's
// path, the separator and the entry's name. Handles stay those of the
// native service, which also closes them.
#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/directory_tree.h"
#include "platform/file_system.h"

namespace fakes {

enum class TreeOp {
  open_parent,
  open_directory,
  list,
  identify,
  identify_path,
  clear_read_only,
  make_writable,
  remove,
  count_  // number of operations; not an operation
};

class FakeDirectoryTree final : public platform::DirectoryTree {
 public:
  using Error = platform::Error;
  using Handle = platform::DirectoryHandle;
  using Entry = platform::TreeEntry;

  explicit FakeDirectoryTree(platform::DirectoryTree& inner = platform::native<platform::DirectoryTree>())
      : inner_(inner) {}

  // Fails the nth (1-based) matching call of `op` from now on; with
  // `persistent`, that call and every later one.
  void fail(TreeOp op, int nth, Error error, bool persistent = false, std::string path_contains = {}) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.push_back(Rule{op, nth, error, persistent, std::move(path_contains), 0, false});
  }
  void fail_always(TreeOp op, Error error, std::string path_contains = {}) {
    fail(op, 1, error, true, std::move(path_contains));
  }
  void clear_failures() {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.clear();
  }
  // Runs `hook` with the call's path before every call of `op` (the call
  // itself then goes ahead, or fails by a rule).
  void before(TreeOp op, std::function<void(const std::string& path)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hooks_[static_cast<size_t>(op)] = std::move(hook);
  }
  int calls(TreeOp op) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_[static_cast<size_t>(op)];
  }
  int injected_failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return injected_;
  }
  // Paths of the calls of `op` so far, in order.
  std::vector<std::string> paths(TreeOp op) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_[static_cast<size_t>(op)];
  }

  Error open_parent(const std::string& path, Handle& parent, Entry& entry) override {
    if (Error e = check(TreeOp::open_parent, path); e != Error::none) return e;
    return inner_.open_parent(path, parent, entry);
  }
  Error open_directory(const Handle& parent, const Entry& entry, Handle& out) override {
    if (Error e = check(TreeOp::open_directory, join(parent, entry)); e != Error::none) {
      out.close();
      return e;
    }
    return inner_.open_directory(parent, entry, out);
  }
  Error list(const Handle& directory, std::vector<Entry>& out) override {
    if (Error e = check(TreeOp::list, directory.path()); e != Error::none) {
      out.clear();
      return e;
    }
    return inner_.list(directory, out);
  }
  Error identify(const Handle& directory, const Entry& entry, platform::FileIdentity& out) override {
    if (Error e = check(TreeOp::identify, join(directory, entry)); e != Error::none) return e;
    return inner_.identify(directory, entry, out);
  }
  Error identify_path(const std::string& path, platform::FileIdentity& out) override {
    if (Error e = check(TreeOp::identify_path, path); e != Error::none) return e;
    return inner_.identify_path(path, out);
  }
  Error clear_read_only(const Handle& directory, const Entry& entry) override {
    if (Error e = check(TreeOp::clear_read_only, join(directory, entry)); e != Error::none) return e;
    return inner_.clear_read_only(directory, entry);
  }
  Error make_writable(const Handle& directory) override {
    if (Error e = check(TreeOp::make_writable, directory.path()); e != Error::none) return e;
    return inner_.make_writable(directory);
  }
  Error remove(const Handle& directory, const Entry& entry) override {
    if (Error e = check(TreeOp::remove, join(directory, entry)); e != Error::none) return e;
    return inner_.remove(directory, entry);
  }
  std::string message_path(const std::string& path) const override { return inner_.message_path(path); }
  void close_handle(platform::NativeHandle handle) override { inner_.close_handle(handle); }

 private:
  struct Rule {
    TreeOp op;
    int nth;
    Error error;
    bool persistent;
    std::string path_contains;
    int seen;
    bool spent;
  };

  static std::string join(const Handle& directory, const Entry& entry) {
    const char separator = platform::file_system().path_separator();
    std::string path = directory.path();
    if (path.empty() || path.back() != separator) path += separator;
    return path + entry.name;
  }

  Error check(TreeOp op, const std::string& path) {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = hooks_[static_cast<size_t>(op)];
    }
    if (hook) hook(path);
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[static_cast<size_t>(op)];
    paths_[static_cast<size_t>(op)].push_back(path);
    for (Rule& r : rules_) {
      if (r.op != op || r.spent) continue;
      if (!r.path_contains.empty() && path.find(r.path_contains) == std::string::npos) continue;
      if (++r.seen < r.nth) continue;
      if (!r.persistent) r.spent = true;
      ++injected_;
      return r.error;
    }
    return Error::none;
  }

  platform::DirectoryTree& inner_;
  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::array<std::function<void(const std::string&)>, static_cast<size_t>(TreeOp::count_)> hooks_;
  std::array<int, static_cast<size_t>(TreeOp::count_)> counts_{};
  std::array<std::vector<std::string>, static_cast<size_t>(TreeOp::count_)> paths_;
  int injected_ = 0;
};

}  // namespace fakes
