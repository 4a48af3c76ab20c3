// POSIX backend of platform/registry.h: the registry as one text file in the
// export format (registry_store.h). Sections:
//   1. where the store lives
//   2. reading the store, and changing it under the lock
//   3. the open key table
//   4. the service
//
// Every change locks "<store>.lock" (flock), reads the store afresh, applies
// the change and replaces the store with a new file (written to
// "<store>.new", fsync'd, renamed over the store, directory fsync'd). So a
// second process's change made in between is never lost, and a crash leaves
// either the old store or the new one, never a half-written file. Readers
// take no lock: they see the store before or after a rename. A store that
// does not parse is reported and never replaced.
#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "platform/environment.h"
#include "registry_store.h"

namespace platform {
namespace {

namespace rs = registry_store;

thread_local std::string t_last_message;

Error from_errno(int e) {
  switch (e) {
    case 0: return Error::none;
    case ENOENT: return Error::not_found;
    case EACCES:
    case EPERM:
    case EROFS: return Error::access_denied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return Error::disk_full;
    case ENAMETOOLONG: return Error::name_too_long;
    case ENOTDIR: return Error::not_directory;
    case EISDIR: return Error::is_directory;
    case ENOMEM: return Error::no_memory;
    default: return Error::io;
  }
}

Error fail(Error e, std::string message) {
  t_last_message = std::move(message);
  return e;
}

Error fail_errno(const std::string& what, const std::string& path) {
  int e = errno;
  return fail(from_errno(e), what + " " + path + ": " + std::strerror(e));
}

// ---- 1. Where the store lives

// QEL_REGISTRY names the file; otherwise a per-user file under the XDG data
// directory. Resolved at every operation, so a test or a tool may point the
// process at another store between calls.
std::string store_path() {
  Environment& env = environment();
  if (auto p = env.get("QEL_REGISTRY"); p && !p->empty()) return *p;
  std::string base;
  if (auto x = env.get("XDG_DATA_HOME"); x && !x->empty() && x->front() == '/') {
    base = *x;
  } else {
    std::string home;
    if (auto h = env.get("HOME"); h && !h->empty()) {
      home = *h;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
      home = pw->pw_dir;
    } else {
      home = "/tmp";
    }
    base = home + "/.local/share";
  }
  return base + "/qel/registry.reg";
}

// Creates the directories above the store (mode 0700 for new ones).
Error make_parents(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return fail_errno("cannot create directory", dir);
  }
  return Error::none;
}

// A store that is a symbolic link is changed where the link points, so that
// replacing it does not replace the link.
std::string resolve_store(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string r = real;
      std::free(real);
      return r;
    }
  }
  return path;
}

// ---- 2. Reading the store, and changing it under the lock

Error read_whole(int fd, const std::string& path, std::string& out) {
  out.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail_errno("cannot read registry store", path);
    }
    if (n == 0) return Error::none;
    out.append(buf, static_cast<size_t>(n));
  }
}

// Loads the store; a missing file is an empty store, one that does not parse
// is an error.
Error load(const std::string& path, rs::Tree& tree) {
  tree = rs::Tree();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Error::none;
    return fail_errno("cannot open registry store", path);
  }
  std::string text;
  Error e = read_whole(fd, path, text);
  ::close(fd);
  if (e != Error::none) return e;
  std::string problem;
  if (!rs::parse(text, tree, problem)) {
    return fail(Error::io, "registry store " + path + " is damaged, " + problem +
                               " (it is left as it is; repair or remove it)");
  }
  return Error::none;
}

Error write_all(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return from_errno(errno);
    }
    done += static_cast<size_t>(n);
  }
  return Error::none;
}

Error fsync_directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fail_errno("cannot open directory", dir);
  int rc = ::fsync(fd);
  int e = errno;
  ::close(fd);
  // Some file systems cannot sync a directory; the rename is done anyway.
  if (rc != 0 && e != EINVAL && e != ENOTSUP) {
    errno = e;
    return fail_errno("cannot sync directory", dir);
  }
  return Error::none;
}

// Replaces the store by the text of `tree`. The caller holds the lock, so
// "<store>.new" belongs to nobody else; one left by a crash is removed.
Error replace_store(const std::string& path, const rs::Tree& tree) {
  std::string temp = path + ".new";
  if (::unlink(temp.c_str()) != 0 && errno != ENOENT) return fail_errno("cannot remove", temp);
  struct stat st;
  mode_t mode = 0644;
  bool had_store = ::stat(path.c_str(), &st) == 0;
  if (had_store) mode = st.st_mode & 07777;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return fail_errno("cannot create", temp);
  std::string text = rs::format(tree);
  Error e = write_all(fd, text);
  if (e == Error::none && had_store && ::fchmod(fd, mode) != 0) e = from_errno(errno);
  if (e == Error::none && ::fsync(fd) != 0) e = from_errno(errno);
  if (::close(fd) != 0 && e == Error::none) e = from_errno(errno);
  if (e == Error::none && ::rename(temp.c_str(), path.c_str()) != 0) e = from_errno(errno);
  if (e != Error::none) {
    int saved = errno;
    ::unlink(temp.c_str());
    return fail(e, "cannot write registry store " + path + ": " + std::strerror(saved));
  }
  return fsync_directory_of(path);
}

// The lock between processes; the mutex orders the threads of this one
// (flock would too, as every call opens its own descriptor, but the mutex is
// cheaper and keeps the order within the process fair).
std::mutex g_change_mutex;

class StoreLock {
 public:
  Error acquire(const std::string& store) {
    std::string lock_path = store + ".lock";
    fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ < 0) return fail_errno("cannot open lock file", lock_path);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) return fail_errno("cannot lock", lock_path);
    }
    return Error::none;
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }

 private:
  int fd_ = -1;
};

// Runs `change` on the current store under the lock and writes the result
// back when `change` succeeds and reports that it changed something.
Error change_store(const std::function<Error(rs::Tree&, bool& changed)>& change) {
  std::lock_guard<std::mutex> guard(g_change_mutex);
  std::string path = store_path();
  if (Error e = make_parents(path); e != Error::none) return e;
  path = resolve_store(path);
  StoreLock lock;
  if (Error e = lock.acquire(path); e != Error::none) return e;
  rs::Tree tree;
  if (Error e = load(path, tree); e != Error::none) return e;
  bool changed = false;
  if (Error e = change(tree, changed); e != Error::none) return e;
  if (!changed) return Error::none;
  return replace_store(path, tree);
}

Error read_store(rs::Tree& tree) { return load(resolve_store(store_path()), tree); }

// ---- 3. The open key table

struct OpenKey {
  RegistryRoot root = RegistryRoot::local_machine;
  std::vector<std::string> path;  // names below the root
  RegistryAccess access = RegistryAccess::read;
};

// Handles 1..5 are the predefined roots; opened keys count up from 16.
constexpr RegistryHandle FIRST_OPENED_HANDLE = 16;

RegistryHandle root_handle(RegistryRoot r) { return static_cast<RegistryHandle>(r) + 1; }

// Splits "a\b\c" into its names; empty names (doubled or trailing
// separators) are skipped.
std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

rs::Key* find_key(rs::Tree& tree, const OpenKey& k) {
  rs::Key* key = &tree.root(k.root);
  for (const std::string& name : k.path) {
    key = key->find_subkey(name);
    if (!key) return nullptr;
  }
  return key;
}

Error key_gone() { return fail(Error::not_found, "the key no longer exists"); }

// ---- 4. The service

class PosixRegistry final : public Registry {
 public:
  RegistryKey root(RegistryRoot which) override { return RegistryKey(*this, root_handle(which)); }

  Error open_key(const RegistryKey& parent, const std::string& path, RegistryAccess access,
                 RegistryKey& out) override {
    out.close();
    OpenKey k;
    if (Error e = resolve(parent, path, access, k); e != Error::none) return e;
    rs::Tree tree;
    if (Error e = read_store(tree); e != Error::none) return e;
    if (!find_key(tree, k)) return fail(Error::not_found, "no such key");
    out = adopt(std::move(k));
    return Error::none;
  }

  Error create_key(const RegistryKey& parent, const std::string& path, RegistryAccess access,
                   RegistryKey& out, bool& created) override {
    out.close();
    created = false;
    OpenKey k;
    if (Error e = resolve(parent, path, access, k); e != Error::none) return e;
    for (const std::string& name : k.path) {
      if (name.size() > REGISTRY_MAX_KEY_NAME) return fail(Error::name_too_long, "key name longer than 255 bytes");
      if (!rs::name_is_storable(name)) return fail(Error::unsupported, "key name with a line break or zero byte");
    }
    bool parent_writable = parent_access(parent) == RegistryAccess::all;
    size_t parent_depth = k.path.size() - split_path(path).size();
    Error e = change_store([&](rs::Tree& tree, bool& changed) {
      rs::Key* key = &tree.root(k.root);
      for (size_t i = 0; i < k.path.size(); ++i) {
        rs::Key* sub = key->find_subkey(k.path[i]);
        if (!sub) {
          if (i < parent_depth) return key_gone();
          if (!parent_writable) return fail(Error::access_denied, "the parent key is open for reading only");
          sub = &key->ensure_subkey(k.path[i]);
          changed = created = true;
        }
        key = sub;
      }
      return Error::none;
    });
    if (e != Error::none) {
      created = false;
      return e;
    }
    out = adopt(std::move(k));
    return Error::none;
  }

  Error delete_key(const RegistryKey& parent, const std::string& path) override {
    OpenKey k;
    if (Error e = resolve(parent, path, RegistryAccess::all, k); e != Error::none) return e;
    if (k.path.empty()) return fail(Error::access_denied, "a predefined root cannot be deleted");
    return change_store([&](rs::Tree& tree, bool& changed) {
      OpenKey above = k;
      above.path.pop_back();
      rs::Key* up = find_key(tree, above);
      rs::Key* key = up ? up->find_subkey(k.path.back()) : nullptr;
      if (!key) return fail(Error::not_found, "no such key");
      if (!key->subkeys.empty()) return fail(Error::not_empty, "the key has subkeys");
      up->subkeys.erase(up->subkeys.find(k.path.back()));
      changed = true;
      return Error::none;
    });
  }

  Error query_value(const RegistryKey& key, const std::string& name, RegistryValue& out) override {
    OpenKey k;
    if (Error e = lookup(key, k); e != Error::none) return e;
    rs::Tree tree;
    if (Error e = read_store(tree); e != Error::none) return e;
    rs::Key* found = find_key(tree, k);
    if (!found) return key_gone();
    const rs::Value* v = found->find_value(name);
    if (!v) return fail(Error::not_found, "no such value");
    out.type = v->type;
    out.data = v->data;
    return Error::none;
  }

  Error set_value(const RegistryKey& key, const std::string& name, const RegistryValue& value) override {
    OpenKey k;
    if (Error e = lookup(key, k); e != Error::none) return e;
    if (k.access != RegistryAccess::all) return fail(Error::access_denied, "the key is open for reading only");
    if (name.size() > 16383) return fail(Error::name_too_long, "value name longer than 16383 bytes");
    if (!rs::name_is_storable(name)) return fail(Error::unsupported, "value name with a line break or zero byte");
    return change_store([&](rs::Tree& tree, bool& changed) {
      rs::Key* found = find_key(tree, k);
      if (!found) return key_gone();
      rs::Value* v = found->find_value(name);
      if (v && v->type == value.type && v->data == value.data) return Error::none;
      if (v) {
        v->type = value.type;
        v->data = value.data;
      } else {
        found->values.push_back(rs::Value{name, value.type, value.data});
      }
      changed = true;
      return Error::none;
    });
  }

  Error delete_value(const RegistryKey& key, const std::string& name) override {
    OpenKey k;
    if (Error e = lookup(key, k); e != Error::none) return e;
    if (k.access != RegistryAccess::all) return fail(Error::access_denied, "the key is open for reading only");
    return change_store([&](rs::Tree& tree, bool& changed) {
      rs::Key* found = find_key(tree, k);
      if (!found) return key_gone();
      for (auto it = found->values.begin(); it != found->values.end(); ++it) {
        if (rs::same_name(it->name, name)) {
          found->values.erase(it);
          changed = true;
          return Error::none;
        }
      }
      return fail(Error::not_found, "no such value");
    });
  }

  Error enum_subkey(const RegistryKey& key, uint32_t index, std::string& name) override {
    OpenKey k;
    if (Error e = lookup(key, k); e != Error::none) return e;
    rs::Tree tree;
    if (Error e = read_store(tree); e != Error::none) return e;
    rs::Key* found = find_key(tree, k);
    if (!found) return key_gone();
    if (index >= found->subkeys.size()) return fail(Error::not_found, "no more subkeys");
    auto it = found->subkeys.begin();
    std::advance(it, index);
    name = it->first;
    return Error::none;
  }

  Error enum_value(const RegistryKey& key, uint32_t index, std::string& name, RegistryValue& value) override {
    OpenKey k;
    if (Error e = lookup(key, k); e != Error::none) return e;
    rs::Tree tree;
    if (Error e = read_store(tree); e != Error::none) return e;
    rs::Key* found = find_key(tree, k);
    if (!found) return key_gone();
    if (index >= found->values.size()) return fail(Error::not_found, "no more values");
    const rs::Value& v = found->values[index];
    name = v.name;
    value.type = v.type;
    value.data = v.data;
    return Error::none;
  }

  void close_key(RegistryHandle handle) override {
    std::lock_guard<std::mutex> guard(table_mutex_);
    open_.erase(handle);
  }

  std::string last_error_message() override { return t_last_message; }

 private:
  RegistryKey adopt(OpenKey k) {
    std::lock_guard<std::mutex> guard(table_mutex_);
    RegistryHandle h = next_handle_++;
    open_.emplace(h, std::move(k));
    return RegistryKey(*this, h);
  }

  Error lookup(const RegistryKey& key, OpenKey& out) {
    if (key.owner() != this || !key.is_open()) return fail(Error::io, "not an open key of this registry");
    RegistryHandle h = key.native_handle();
    if (h >= 1 && h <= static_cast<RegistryHandle>(rs::ROOT_COUNT)) {
      out = OpenKey{static_cast<RegistryRoot>(h - 1), {}, RegistryAccess::all};
      return Error::none;
    }
    std::lock_guard<std::mutex> guard(table_mutex_);
    auto it = open_.find(h);
    if (it == open_.end()) return fail(Error::io, "not an open key of this registry");
    out = it->second;
    return Error::none;
  }

  RegistryAccess parent_access(const RegistryKey& parent) {
    OpenKey k;
    return lookup(parent, k) == Error::none ? k.access : RegistryAccess::read;
  }

  // The key at `path` below `parent`, with the access asked for.
  Error resolve(const RegistryKey& parent, const std::string& path, RegistryAccess access, OpenKey& out) {
    if (Error e = lookup(parent, out); e != Error::none) return e;
    for (std::string& name : split_path(path)) out.path.push_back(std::move(name));
    out.access = access;
    return Error::none;
  }

  std::mutex table_mutex_;
  std::unordered_map<RegistryHandle, OpenKey> open_;
  RegistryHandle next_handle_ = FIRST_OPENED_HANDLE;
};

}  // namespace

template <> Registry& native<Registry>() {
  static PosixRegistry instance;
  return instance;
}

}  // namespace platform
