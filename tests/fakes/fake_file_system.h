// Test double of platform::FileSystem: a decorator over the native one that
// counts the calls of each operation and fails chosen ones, in the manner of
// SQLite's test VFS. A rule fails the N-th call of an operation (counted
// from when the rule is added), once or for every call from then on, with a
// chosen platform::Error, optionally only for paths containing a text.
// Everything else reaches the real file system, so tests still work on real
// files.
//
//   fakes::FakeFileSystem fs;
//   platform::ScopedService<platform::FileSystem> use(fs);
//   fs.fail(fakes::FsOp::delete_file, 1, platform::Error::sharing_violation);
//
// Besides failing calls it can stand for a disk that fills up
// (limit_written_bytes), a chosen amount of free space and a chosen volume.
//
// Files opened through the fake keep calling it for read, write, seek and
// close, so the fake must outlive them. The UTF-16 forms count as their
// narrow operation (delete_file_w is delete_file). A failed call never
// reaches the real file system (a failed close still closes the handle, as
// a real failing close does).
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace fakes {

enum class FsOp {
  open_read,
  open_read_write,
  open_write_existing,
  create,
  create_exclusive,
  read,
  write,
  seek,
  size,
  file_set_times,
  close,
  status,
  get_attributes,
  set_attributes,
  set_unix_mode,
  set_times,
  delete_file,
  remove_directory,
  create_directory,
  rename,
  list_directory,
  current_directory,
  set_current_directory,
  full_path,
  program_path,
  short_path,
  temp_directory,
  unique_temp_file,
  free_space,
  volume_info,
  volume_root,
  count_  // number of operations; not an operation
};

// The Windows code a real failure of this kind would leave for
// last_system_error() (messages show it).
inline int default_system_code(platform::Error e) {
  using platform::Error;
  switch (e) {
    case Error::none: return 0;
    case Error::not_found: return 2;           // ERROR_FILE_NOT_FOUND
    case Error::access_denied: return 5;       // ERROR_ACCESS_DENIED
    case Error::sharing_violation: return 32;  // ERROR_SHARING_VIOLATION
    case Error::lock_violation: return 33;     // ERROR_LOCK_VIOLATION
    case Error::already_exists: return 183;    // ERROR_ALREADY_EXISTS
    case Error::not_empty: return 145;         // ERROR_DIR_NOT_EMPTY
    case Error::is_directory: return 5;        // Windows says access denied
    case Error::not_regular_file: return 222;  // ERROR_BAD_FILE_TYPE
    case Error::not_directory: return 267;     // ERROR_DIRECTORY
    case Error::disk_full: return 112;         // ERROR_DISK_FULL
    case Error::name_too_long: return 206;     // ERROR_FILENAME_EXCED_RANGE
    case Error::interrupted: return 4;         // EINTR (no Windows twin)
    case Error::no_memory: return 8;           // ERROR_NOT_ENOUGH_MEMORY
    case Error::unsupported: return 50;        // ERROR_NOT_SUPPORTED
    case Error::is_link: return 681;           // ERROR_STOPPED_ON_SYMLINK
    case Error::invalid_name: return 123;      // ERROR_INVALID_NAME
    case Error::io: return 31;                 // ERROR_GEN_FAILURE
  }
  return 31;
}

class FakeFileSystem final : public platform::FileSystem {
 public:
  using Error = platform::Error;
  using File = platform::File;
  using IoResult = platform::IoResult;
  using NativeHandle = platform::NativeHandle;

  explicit FakeFileSystem(platform::FileSystem& inner = platform::native<platform::FileSystem>()) : inner_(inner) {}

  // Fails the nth (1-based) call of `op` from now on; with `persistent`,
  // that call and every later one. With a non-empty `path_contains` only
  // calls on a path containing that text count toward nth and fail (calls
  // on open files have no path and never match such a rule).
  void fail(FsOp op, int nth, Error error, bool persistent = false, std::string path_contains = {},
            int system_code = -1) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.push_back(Rule{op, nth, error, persistent, std::move(path_contains),
                          system_code < 0 ? default_system_code(error) : system_code, 0, false});
  }
  // Fails every call of `op` from now on.
  void fail_always(FsOp op, Error error, std::string path_contains = {}) {
    fail(op, 1, error, true, std::move(path_contains));
  }
  // Drops all rules (counts stay).
  void clear_failures() {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.clear();
  }
  // Calls of `op` so far, failed ones included.
  int calls(FsOp op) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_[static_cast<size_t>(op)];
  }
  // Calls that a rule failed so far.
  int injected_failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return injected_;
  }
  void reset_counts() {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_.fill(0);
    injected_ = 0;
  }

  // A disk that fills up: from now on at most `bytes` more reach the disk
  // through writes of files opened via the fake; the write that crosses the
  // limit stores what fits and reports disk_full with that count, later ones
  // store nothing.
  void limit_written_bytes(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    write_limit_ = bytes;
    limited_ = true;
  }
  // free_space() answers this instead of asking the disk.
  void set_free_space(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_space_ = bytes;
    free_space_set_ = true;
  }
  // volume_info() answers this (a FAT volume, say) instead of asking.
  void set_volume_info(const platform::VolumeInfo& info) {
    std::lock_guard<std::mutex> lock(mutex_);
    volume_ = info;
    volume_set_ = true;
  }

  // ---- Open files.

  Error open_read(const std::string& path, File& out) override {
    return open_via(FsOp::open_read, path, out, &FileSystem::open_read);
  }
  Error open_read_write(const std::string& path, File& out) override {
    return open_via(FsOp::open_read_write, path, out, &FileSystem::open_read_write);
  }
  Error open_write_existing(const std::string& path, File& out) override {
    return open_via(FsOp::open_write_existing, path, out, &FileSystem::open_write_existing);
  }
  Error create(const std::string& path, File& out) override {
    return open_via(FsOp::create, path, out, &FileSystem::create);
  }
  Error create_exclusive(const std::string& path, File& out) override {
    return open_via(FsOp::create_exclusive, path, out, &FileSystem::create_exclusive);
  }
  // Counts (and fails) as create_exclusive.
  Error create_exclusive_with_mode(const std::string& path, uint32_t unix_mode, File& out) override {
    out.close();
    if (Error e = check(FsOp::create_exclusive, &path); e != Error::none) return e;
    File real;
    Error e = inner_.create_exclusive_with_mode(path, unix_mode, real);
    if (e != Error::none) return e;
    out = File(*this, real.release());
    return Error::none;
  }

  IoResult file_read(NativeHandle h, void* buffer, size_t n) override {
    if (Error e = check(FsOp::read, nullptr); e != Error::none) return {0, e};
    return inner_.file_read(h, buffer, n);
  }
  // Counts (and fails) as read.
  IoResult file_read_at(NativeHandle h, int64_t offset, void* buffer, size_t n) override {
    if (Error e = check(FsOp::read, nullptr); e != Error::none) return {0, e};
    return inner_.file_read_at(h, offset, buffer, n);
  }
  IoResult file_write(NativeHandle h, const void* buffer, size_t n) override {
    if (Error e = check(FsOp::write, nullptr); e != Error::none) return {0, e};
    size_t allowed = n;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (limited_ && write_limit_ < n) allowed = static_cast<size_t>(write_limit_);
    }
    IoResult r = allowed > 0 ? inner_.file_write(h, buffer, allowed) : IoResult{};
    std::lock_guard<std::mutex> lock(mutex_);
    if (limited_) write_limit_ -= static_cast<uint64_t>(r.value);
    if (r.ok() && allowed < n) {
      last_was_injected_ = true;
      last_injected_code_ = default_system_code(Error::disk_full);
      ++injected_;
      r.error = Error::disk_full;
    }
    return r;
  }
  IoResult file_seek(NativeHandle h, int64_t offset) override {
    if (Error e = check(FsOp::seek, nullptr); e != Error::none) return {0, e};
    return inner_.file_seek(h, offset);
  }
  IoResult file_size(NativeHandle h) override {
    if (Error e = check(FsOp::size, nullptr); e != Error::none) return {0, e};
    return inner_.file_size(h);
  }
  Error file_set_times(NativeHandle h, const platform::FileTimes& times) override {
    if (Error e = check(FsOp::file_set_times, nullptr); e != Error::none) return e;
    return inner_.file_set_times(h, times);
  }
  Error file_close(NativeHandle h) override {
    Error injected = check(FsOp::close, nullptr);
    Error real = inner_.file_close(h);
    return injected != Error::none ? injected : real;
  }

  // ---- Paths and directories.

  Error status(const std::string& path, platform::FileStatus& out) override {
    if (Error e = check(FsOp::status, &path); e != Error::none) return e;
    return inner_.status(path, out);
  }
  Error get_attributes(const std::string& path, uint32_t& out) override {
    if (Error e = check(FsOp::get_attributes, &path); e != Error::none) return e;
    return inner_.get_attributes(path, out);
  }
  Error set_attributes(const std::string& path, uint32_t attributes) override {
    if (Error e = check(FsOp::set_attributes, &path); e != Error::none) return e;
    return inner_.set_attributes(path, attributes);
  }
  Error set_unix_mode(const std::string& path, uint32_t mode) override {
    if (Error e = check(FsOp::set_unix_mode, &path); e != Error::none) return e;
    return inner_.set_unix_mode(path, mode);
  }
  Error set_times(const std::string& path, const platform::FileTimes& times) override {
    if (Error e = check(FsOp::set_times, &path); e != Error::none) return e;
    return inner_.set_times(path, times);
  }
  Error delete_file(const std::string& path) override {
    if (Error e = check(FsOp::delete_file, &path); e != Error::none) return e;
    return inner_.delete_file(path);
  }
  Error remove_directory(const std::string& path) override {
    if (Error e = check(FsOp::remove_directory, &path); e != Error::none) return e;
    return inner_.remove_directory(path);
  }
  Error create_directory(const std::string& path) override {
    if (Error e = check(FsOp::create_directory, &path); e != Error::none) return e;
    return inner_.create_directory(path);
  }
  Error rename(const std::string& from, const std::string& to) override {
    std::string both = from + '\n' + to;
    if (Error e = check(FsOp::rename, &both); e != Error::none) return e;
    return inner_.rename(from, to);
  }
  Error list_directory(const std::string& path, std::vector<platform::DirectoryEntry>& out) override {
    if (Error e = check(FsOp::list_directory, &path); e != Error::none) {
      out.clear();
      return e;
    }
    return inner_.list_directory(path, out);
  }

  Error get_attributes_w(const std::u16string& path, uint32_t& out) override {
    std::string p = narrow(path);
    if (Error e = check(FsOp::get_attributes, &p); e != Error::none) return e;
    return inner_.get_attributes_w(path, out);
  }
  Error set_attributes_w(const std::u16string& path, uint32_t attributes) override {
    std::string p = narrow(path);
    if (Error e = check(FsOp::set_attributes, &p); e != Error::none) return e;
    return inner_.set_attributes_w(path, attributes);
  }
  Error delete_file_w(const std::u16string& path) override {
    std::string p = narrow(path);
    if (Error e = check(FsOp::delete_file, &p); e != Error::none) return e;
    return inner_.delete_file_w(path);
  }
  Error remove_directory_w(const std::u16string& path) override {
    std::string p = narrow(path);
    if (Error e = check(FsOp::remove_directory, &p); e != Error::none) return e;
    return inner_.remove_directory_w(path);
  }
  Error list_directory_w(const std::u16string& path, std::vector<platform::WideDirectoryEntry>& out) override {
    std::string p = narrow(path);
    if (Error e = check(FsOp::list_directory, &p); e != Error::none) {
      out.clear();
      return e;
    }
    return inner_.list_directory_w(path, out);
  }

  Error current_directory(std::string& out) override {
    if (Error e = check(FsOp::current_directory, nullptr); e != Error::none) return e;
    return inner_.current_directory(out);
  }
  Error set_current_directory(const std::string& path) override {
    if (Error e = check(FsOp::set_current_directory, &path); e != Error::none) return e;
    return inner_.set_current_directory(path);
  }
  Error full_path(const std::string& path, std::string& out) override {
    if (Error e = check(FsOp::full_path, &path); e != Error::none) return e;
    return inner_.full_path(path, out);
  }
  Error program_path(std::string& out) override {
    if (Error e = check(FsOp::program_path, nullptr); e != Error::none) return e;
    return inner_.program_path(out);
  }
  Error short_path(const std::string& path, std::string& out) override {
    if (Error e = check(FsOp::short_path, &path); e != Error::none) return e;
    return inner_.short_path(path, out);
  }
  Error temp_directory(std::string& out) override {
    if (Error e = check(FsOp::temp_directory, nullptr); e != Error::none) return e;
    return inner_.temp_directory(out);
  }
  Error unique_temp_file(const std::string& directory, const std::string& prefix, std::string& out) override {
    if (Error e = check(FsOp::unique_temp_file, &directory); e != Error::none) return e;
    return inner_.unique_temp_file(directory, prefix, out);
  }
  Error free_space(const std::string& path, uint64_t& out) override {
    if (Error e = check(FsOp::free_space, &path); e != Error::none) return e;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (free_space_set_) {
        out = free_space_;
        return Error::none;
      }
    }
    return inner_.free_space(path, out);
  }
  Error volume_info(const std::string& path, platform::VolumeInfo& out) override {
    if (Error e = check(FsOp::volume_info, &path); e != Error::none) return e;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (volume_set_) {
        out = volume_;
        return Error::none;
      }
    }
    return inner_.volume_info(path, out);
  }
  Error volume_root(const std::string& path, std::string& out) override {
    if (Error e = check(FsOp::volume_root, &path); e != Error::none) return e;
    return inner_.volume_root(path, out);
  }

  char path_separator() const override { return inner_.path_separator(); }
  char path_list_separator() const override { return inner_.path_list_separator(); }
  int last_system_error() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_was_injected_ ? last_injected_code_ : inner_.last_system_error();
  }

 private:
  struct Rule {
    FsOp op;
    int nth;
    Error error;
    bool persistent;
    std::string path_contains;
    int system_code;
    int seen;    // matching calls since the rule was added
    bool spent;  // a one-time rule that has fired
  };

  // Counts a call and decides whether a rule fails it.
  Error check(FsOp op, const std::string* path) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[static_cast<size_t>(op)];
    last_was_injected_ = false;
    for (Rule& r : rules_) {
      if (r.op != op || r.spent) continue;
      if (!r.path_contains.empty() && (!path || path->find(r.path_contains) == std::string::npos)) continue;
      ++r.seen;
      if (r.seen < r.nth) continue;
      if (!r.persistent) r.spent = true;
      ++injected_;
      last_was_injected_ = true;
      last_injected_code_ = r.system_code;
      return r.error;
    }
    return Error::none;
  }

  using OpenFn = Error (platform::FileSystem::*)(const std::string&, File&);
  Error open_via(FsOp op, const std::string& path, File& out, OpenFn open) {
    out.close();
    if (Error e = check(op, &path); e != Error::none) return e;
    File real;
    Error e = (inner_.*open)(path, real);
    if (e != Error::none) return e;
    // Rebind the handle to the fake so that its reads and writes pass here.
    out = File(*this, real.release());
    return Error::none;
  }

  // Paths of the UTF-16 forms, for matching rules (ASCII is enough there).
  static std::string narrow(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }

  platform::FileSystem& inner_;
  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::array<int, static_cast<size_t>(FsOp::count_)> counts_{};
  int injected_ = 0;
  bool last_was_injected_ = false;
  int last_injected_code_ = 0;
  bool limited_ = false;
  uint64_t write_limit_ = 0;
  bool free_space_set_ = false;
  uint64_t free_space_ = 0;
  bool volume_set_ = false;
  platform::VolumeInfo volume_;
};

}  // namespace fakes
