// POSIX backend of platform/directory_tree.h: directory descriptors and the
// *at calls, as rm walks a tree. Every name is used as the bytes readdir
// gave; every step below the first descriptor goes through a descriptor,
// never through a path that the system would resolve again.
#include "platform/directory_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/file_system.h"
#include "system_call.h"

namespace platform {
namespace {

using posix::error_from_errno;
using posix::retry_on_eintr;

struct Status {
  unsigned mode = 0;
  uint64_t size = 0;
  FileIdentity identity;
  uint64_t mount = 0;       // the mount id where the kernel tells it, else the device
  bool mount_root = false;  // the root of a mount (bind mounts of one file system included)
};

// statx of `name` below `directory` without following a final link or
// triggering an automount ("" with AT_EMPTY_PATH: the directory itself).
int StatAt(int directory, const char* name, int flags, Status& out) {
  struct statx sx;
  const unsigned mask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MNT_ID;
  if (retry_on_eintr([&] {
        return ::statx(directory, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &sx);
      }) != 0)
    return errno;
  out.mode = sx.stx_mode;
  out.size = sx.stx_size;
  out.identity.volume = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  out.identity.file = sx.stx_ino;
  out.identity.size = S_ISDIR(sx.stx_mode) ? 0 : sx.stx_size;
  out.identity.known = true;
  out.mount = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : out.identity.volume;
  out.mount_root = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
  return 0;
}

// An entry of the directory on mount `mount`, described by `st`.
TreeEntry EntryOf(std::string name, const Status& st, uint64_t mount) {
  TreeEntry entry;
  entry.name = std::move(name);
  entry.attributes = posix::attributes_from_mode(st.mode);
  entry.size = S_ISDIR(st.mode) ? 0 : st.size;
  entry.identity = st.identity;
  if (S_ISLNK(st.mode))
    entry.kind = TreeEntryKind::link;
  else if (st.mount_root || st.mount != mount)
    entry.kind = TreeEntryKind::mount_point;
  else
    entry.kind = S_ISDIR(st.mode) ? TreeEntryKind::directory : TreeEntryKind::file;
  return entry;
}

std::string Join(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + '/' + name;
}

// The path the system knows a held directory by, links resolved.
std::string ResolvedPath(int fd, const std::string& fallback) {
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  char buf[PATH_MAX + 1];
  ssize_t n = ::readlink(link.c_str(), buf, PATH_MAX);
  if (n > 0 && buf[0] == '/') return std::string(buf, static_cast<size_t>(n));
  char* real = ::realpath(fallback.c_str(), nullptr);
  if (!real) return fallback;
  std::string out = real;
  std::free(real);
  return out;
}

int Fd(const DirectoryHandle& d) { return static_cast<int>(d.native_handle()); }

class PosixDirectoryTree final : public DirectoryTree {
 public:
  Error open_parent(const std::string& path, DirectoryHandle& parent, TreeEntry& entry) override {
    parent.close();
    std::vector<std::string> steps;
    for (size_t start = 0; start <= path.size();) {
      size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      std::string step = path.substr(start, end - start);
      if (step == "..") return Error::invalid_name;
      if (!step.empty() && step != ".") steps.push_back(std::move(step));
      start = end + 1;
    }
    if (steps.empty()) return Error::invalid_name;
    std::string above = !path.empty() && path[0] == '/' ? "/" : "";
    for (size_t i = 0; i + 1 < steps.size(); ++i) above = Join(above, steps[i]);
    if (above.empty()) above = ".";

    int fd = retry_on_eintr([&] { return ::open(above.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return error_from_errno(errno);
    Status own;
    if (int e = StatAt(fd, "", AT_EMPTY_PATH, own); e != 0) {
      ::close(fd);
      return error_from_errno(e);
    }
    parent = DirectoryHandle(*this, fd, ResolvedPath(fd, above), own.mount, posix::attributes_from_mode(own.mode));
    Status st;
    if (int e = StatAt(fd, steps.back().c_str(), 0, st); e != 0) return error_from_errno(e);
    entry = EntryOf(steps.back(), st, own.mount);
    return Error::none;
  }

  Error open_directory(const DirectoryHandle& parent, const TreeEntry& entry, DirectoryHandle& out) override {
    out.close();
    int fd = retry_on_eintr([&] {
      return ::openat(Fd(parent), entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fd < 0) {
      int e = errno;
      if (e == ELOOP) return Error::is_link;
      Status st;
      if (e == ENOTDIR && StatAt(Fd(parent), entry.name.c_str(), 0, st) == 0 && S_ISLNK(st.mode))
        return Error::is_link;
      return error_from_errno(e);
    }
    Status own;
    if (int e = StatAt(fd, "", AT_EMPTY_PATH, own); e != 0) {
      ::close(fd);
      return error_from_errno(e);
    }
    out = DirectoryHandle(*this, fd, Join(parent.path(), entry.name), own.mount,
                          posix::attributes_from_mode(own.mode));
    return Error::none;
  }

  Error list(const DirectoryHandle& directory, std::vector<TreeEntry>& out) override {
    out.clear();
    // A descriptor of its own, so that the held one keeps no reading position.
    int fd = retry_on_eintr([&] { return ::openat(Fd(directory), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return error_from_errno(errno);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
      int e = errno;
      ::close(fd);
      return error_from_errno(e);
    }
    for (;;) {
      errno = 0;
      struct dirent* d = ::readdir(dir);
      if (!d) break;
      if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
      Status st;
      int e = StatAt(Fd(directory), d->d_name, 0, st);
      if (e == ENOENT) continue;  // gone since readdir saw it
      if (e != 0) {
        // Not even its status can be read: keep what the directory entry
        // says, so that its removal is tried and its failure reported.
        TreeEntry entry;
        entry.name = d->d_name;
        entry.kind = d->d_type == DT_DIR ? TreeEntryKind::directory
                     : d->d_type == DT_LNK ? TreeEntryKind::link
                                           : TreeEntryKind::file;
        out.push_back(std::move(entry));
        continue;
      }
      out.push_back(EntryOf(d->d_name, st, directory.mount()));
    }
    int e = errno;
    ::closedir(dir);
    if (e != 0) {
      out.clear();
      return error_from_errno(e);
    }
    return Error::none;
  }

  Error identify(const DirectoryHandle& directory, const TreeEntry& entry, FileIdentity& out) override {
    Status st;
    if (int e = StatAt(Fd(directory), entry.name.c_str(), 0, st); e != 0) return error_from_errno(e);
    out = st.identity;
    return Error::none;
  }

  Error identify_path(const std::string& path, FileIdentity& out) override {
    Status st;
    if (int e = StatAt(AT_FDCWD, path.c_str(), 0, st); e != 0) return error_from_errno(e);
    out = st.identity;
    return Error::none;
  }

  Error clear_read_only(const DirectoryHandle&, const TreeEntry&) override { return Error::none; }

  Error make_writable(const DirectoryHandle& directory) override {
    struct stat st;
    if (retry_on_eintr([&] { return ::fstat(Fd(directory), &st); }) != 0) return error_from_errno(errno);
    if (st.st_mode & S_IWUSR) return Error::none;
    if (retry_on_eintr([&] { return ::fchmod(Fd(directory), (st.st_mode & 07777) | S_IWUSR); }) != 0)
      return error_from_errno(errno);
    return Error::none;
  }

  Error remove(const DirectoryHandle& directory, const TreeEntry& entry) override {
    if (entry.kind == TreeEntryKind::mount_point) return Error::unsupported;
    const int flags = entry.kind == TreeEntryKind::directory ? AT_REMOVEDIR : 0;
    if (retry_on_eintr([&] { return ::unlinkat(Fd(directory), entry.name.c_str(), flags); }) != 0)
      return error_from_errno(errno == EEXIST ? ENOTEMPTY : errno);
    return Error::none;
  }

  std::string message_path(const std::string& path) const override { return path; }

  void close_handle(NativeHandle handle) override { ::close(static_cast<int>(handle)); }
};

}  // namespace

template <> DirectoryTree& native<DirectoryTree>() {
  static PosixDirectoryTree instance;
  return instance;
}

}  // namespace platform
