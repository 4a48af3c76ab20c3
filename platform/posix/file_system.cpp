// POSIX backend of platform/file_system.h (and the open-file operations of
// platform/file.h). Sections: helpers; open files; status and attributes;
// creating and removing; listing; paths; temporary files; volumes.
//
// Every system call that can be interrupted goes through retry_on_eintr
// (system_call.h); close() is the exception: Linux has released the
// descriptor even when close reports EINTR, so a retry could close another
// thread's file.
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "../portable/unicode.h"
#include "system_call.h"

namespace platform {
namespace {

using posix::error_from_errno;
using posix::retry_on_eintr;

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

thread_local int last_errno = 0;

// Records errno as the last failure of this thread and maps it.
Error fail() {
  last_errno = errno;
  return error_from_errno(last_errno);
}

FileTime from_timespec(const timespec& ts) {
  return FileTime{static_cast<int64_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_nsec)};
}

timespec to_timespec(const std::optional<FileTime>& t) {
  timespec ts{};
  if (!t) {
    ts.tv_nsec = UTIME_OMIT;
  } else {
    ts.tv_sec = static_cast<time_t>(t->seconds);
    ts.tv_nsec = static_cast<long>(t->nanoseconds % 1000000000u);
  }
  return ts;
}

uint32_t attributes_of(const struct stat& st) { return posix::attributes_from_mode(st.st_mode); }

FileKind kind_of(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return FileKind::file;
  if (S_ISDIR(st.st_mode)) return FileKind::directory;
  if (S_ISLNK(st.st_mode)) return FileKind::symlink;
  return FileKind::other;
}

// The process's umask, read without changing it where the kernel tells it
// (umask() alone cannot be read without being set, which would race with
// other threads creating files).
mode_t read_umask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  mode_t m = ::umask(022);
  ::umask(m);
  return m;
}

mode_t process_umask() {
  static const mode_t mask = read_umask();
  return mask;
}

// Joins a directory and a name with exactly one '/'.
std::string join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + '/' + name;
}

const char* volume_type_name(unsigned long type) {
  switch (type) {
    case 0x4d44: return "FAT";  // msdos and vfat
    case 0x2011BAB0: return "EXFAT";
    case 0x5346544e: return "NTFS";
    case 0x7366746e: return "NTFS";  // ntfs3
    case 0x65735546: return "FUSEBLK";
    case 0xEF53: return "EXT4";  // ext2, ext3 and ext4 share the number
    case 0x01021994: return "TMPFS";
    case 0x858458f6: return "RAMFS";
    case 0x9123683E: return "BTRFS";
    case 0x58465342: return "XFS";
    case 0xF2F52010: return "F2FS";
    case 0x2fc12fc1: return "ZFS";
    case 0x794c7630: return "OVERLAYFS";
    case 0x6969: return "NFS";
    case 0xFF534D42: return "CIFS";
    case 0xFE534D42: return "SMB2";
    case 0x517B: return "SMB";
    case 0x9660: return "CDFS";
    case 0x15013346: return "UDF";
    case 0x73717368: return "SQUASHFS";
    case 0x9fa0: return "PROC";
    case 0x62656572: return "SYSFS";
    case 0x3153464a: return "JFS";
    case 0x52654973: return "REISERFS";
    default: return "UNKNOWN";
  }
}

class PosixFileSystem final : public FileSystem {
 public:
  PosixFileSystem() {
    // A write beyond the file-size limit (RLIMIT_FSIZE) would otherwise end
    // the process with SIGXFSZ; Windows programs expect a failing write,
    // which they report as a full disk. Only the default action is changed:
    // a handler someone installed stays.
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      ::sigaction(SIGXFSZ, &ignore, nullptr);
    }
  }

  // ---- Open files.

  Error open_read(const std::string& path, File& out) override {
    // Without O_NONBLOCK a FIFO would hold the open until a writer came.
    return open_with(path, O_RDONLY | O_NONBLOCK | O_NOCTTY, out, true);
  }
  Error open_read_write(const std::string& path, File& out) override {
    return open_with(path, O_RDWR, out);
  }
  Error open_write_existing(const std::string& path, File& out) override {
    return open_with(path, O_WRONLY, out);
  }
  Error create(const std::string& path, File& out) override {
    return open_with(path, O_WRONLY | O_CREAT | O_TRUNC, out);
  }
  Error create_exclusive(const std::string& path, File& out) override {
    return open_with(path, O_WRONLY | O_CREAT | O_EXCL, out);
  }
  Error create_exclusive_with_mode(const std::string& path, uint32_t unix_mode, File& out) override {
    // open() takes the umask off the mode itself.
    return open_with(path, O_WRONLY | O_CREAT | O_EXCL, out, false, static_cast<mode_t>(unix_mode & 0777));
  }

  IoResult file_read(NativeHandle h, void* buffer, size_t n) override {
    // Regular files return short counts only at the end; pipes and
    // terminals may return less, so keep reading until n or the end.
    char* p = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < n) {
      ssize_t r = retry_on_eintr([&] { return ::read(static_cast<int>(h), p + got, n - got); });
      if (r < 0) return {static_cast<int64_t>(got), fail()};
      if (r == 0) break;
      got += static_cast<size_t>(r);
    }
    return {static_cast<int64_t>(got), Error::none};
  }

  IoResult file_read_at(NativeHandle h, int64_t offset, void* buffer, size_t n) override {
    char* p = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < n) {
      ssize_t r = retry_on_eintr(
          [&] { return ::pread(static_cast<int>(h), p + got, n - got, static_cast<off_t>(offset) + static_cast<off_t>(got)); });
      if (r < 0) return {static_cast<int64_t>(got), fail()};
      if (r == 0) break;
      got += static_cast<size_t>(r);
    }
    return {static_cast<int64_t>(got), Error::none};
  }

  IoResult file_write(NativeHandle h, const void* buffer, size_t n) override {
    const char* p = static_cast<const char*>(buffer);
    size_t put = 0;
    while (put < n) {
      ssize_t r = retry_on_eintr([&] { return ::write(static_cast<int>(h), p + put, n - put); });
      if (r < 0) return {static_cast<int64_t>(put), fail()};
      if (r == 0) {
        last_errno = ENOSPC;
        return {static_cast<int64_t>(put), Error::disk_full};
      }
      put += static_cast<size_t>(r);
    }
    return {static_cast<int64_t>(put), Error::none};
  }

  IoResult file_seek(NativeHandle h, int64_t offset) override {
    if (offset < 0) {
      last_errno = EINVAL;
      return {0, Error::io};
    }
    off_t r = ::lseek(static_cast<int>(h), static_cast<off_t>(offset), SEEK_SET);
    if (r < 0) return {0, fail()};
    return {static_cast<int64_t>(r), Error::none};
  }

  IoResult file_size(NativeHandle h) override {
    struct stat st;
    if (retry_on_eintr([&] { return ::fstat(static_cast<int>(h), &st); }) != 0) return {0, fail()};
    return {static_cast<int64_t>(st.st_size), Error::none};
  }

  Error file_set_times(NativeHandle h, const FileTimes& times) override {
    timespec ts[2] = {to_timespec(times.access), to_timespec(times.modification)};
    if (!times.access && !times.modification) return Error::none;
    if (retry_on_eintr([&] { return ::futimens(static_cast<int>(h), ts); }) != 0) return fail();
    return Error::none;
  }

  Error file_close(NativeHandle h) override {
    if (::close(static_cast<int>(h)) != 0 && errno != EINTR) return fail();
    return Error::none;
  }

  // ---- Status, attributes, times.

  Error status(const std::string& path, FileStatus& out) override {
    struct stat st;
    if (retry_on_eintr([&] { return ::lstat(path.c_str(), &st); }) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) {
        out = FileStatus{};
        return Error::none;
      }
      return fail();
    }
    out.kind = kind_of(st);
    out.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    out.modification = from_timespec(st.st_mtim);
    out.access = from_timespec(st.st_atim);
    out.creation = out.modification;
    out.attributes = attributes_of(st);
    return Error::none;
  }

  Error get_attributes(const std::string& path, uint32_t& out) override {
    struct stat st;
    if (retry_on_eintr([&] { return ::lstat(path.c_str(), &st); }) != 0) return fail();
    out = attributes_of(st);
    return Error::none;
  }

  Error set_attributes(const std::string& path, uint32_t attributes) override {
    struct stat st;
    if (retry_on_eintr([&] { return ::stat(path.c_str(), &st); }) != 0) return fail();
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = mode;
    if (attributes & FILE_ATTR_READONLY) {
      wanted &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      wanted |= S_IWUSR;
    }
    if (wanted == mode) return Error::none;
    if (retry_on_eintr([&] { return ::chmod(path.c_str(), wanted); }) != 0) return fail();
    return Error::none;
  }

  Error set_unix_mode(const std::string& path, uint32_t mode) override {
    mode_t m = static_cast<mode_t>(mode & 07777) & ~process_umask();
    if (retry_on_eintr([&] { return ::chmod(path.c_str(), m); }) != 0) return fail();
    return Error::none;
  }

  Error set_times(const std::string& path, const FileTimes& times) override {
    timespec ts[2] = {to_timespec(times.access), to_timespec(times.modification)};
    if (!times.access && !times.modification) return Error::none;
    if (retry_on_eintr([&] { return ::utimensat(AT_FDCWD, path.c_str(), ts, 0); }) != 0) return fail();
    return Error::none;
  }

  // ---- Creating, removing, renaming.

  Error delete_file(const std::string& path) override {
    // unlink removes a symbolic link itself; it never follows one.
    if (retry_on_eintr([&] { return ::unlink(path.c_str()); }) != 0) return fail();
    return Error::none;
  }

  Error remove_directory(const std::string& path) override {
    if (retry_on_eintr([&] { return ::rmdir(path.c_str()); }) != 0) {
      if (errno == EEXIST) errno = ENOTEMPTY;  // POSIX allows either
      return fail();
    }
    return Error::none;
  }

  Error create_directory(const std::string& path) override {
    if (retry_on_eintr([&] { return ::mkdir(path.c_str(), 0777); }) != 0) return fail();
    return Error::none;
  }

  Error rename(const std::string& from, const std::string& to) override {
    // MoveFile never replaces an existing target; renameat2 says so to the
    // kernel, and file systems that do not know the flag get a check first.
    if (retry_on_eintr([&] { return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE); }) == 0)
      return Error::none;
    if (errno != EINVAL && errno != ENOSYS) return fail();
    struct stat st;
    if (retry_on_eintr([&] { return ::lstat(to.c_str(), &st); }) == 0) {
      errno = EEXIST;
      return fail();
    }
    if (retry_on_eintr([&] { return ::rename(from.c_str(), to.c_str()); }) != 0) return fail();
    return Error::none;
  }

  Error list_directory(const std::string& path, std::vector<DirectoryEntry>& out) override {
    out.clear();
    DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
    if (!dir) return fail();
    struct stat self;
    DirectoryEntry dot;
    dot.name = ".";
    dot.attributes = FILE_ATTR_DIRECTORY;
    if (retry_on_eintr([&] { return ::fstat(::dirfd(dir), &self); }) == 0) dot.modification = from_timespec(self.st_mtim);
    DirectoryEntry dotdot = dot;
    dotdot.name = "..";
    out.push_back(dot);
    out.push_back(dotdot);
    for (;;) {
      errno = 0;
      struct dirent* d = ::readdir(dir);
      if (!d) break;
      if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
      DirectoryEntry e;
      e.name = d->d_name;
      struct stat st;
      if (retry_on_eintr([&] { return ::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW); }) == 0) {
        e.attributes = attributes_of(st);
        e.is_symlink = S_ISLNK(st.st_mode);
        e.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        e.modification = from_timespec(st.st_mtim);
      } else {
        // Gone since readdir saw it, or not accessible: keep the name with
        // what the directory entry itself says.
        e.attributes = d->d_type == DT_LNK   ? FILE_ATTR_REPARSE_POINT
                       : d->d_type == DT_DIR ? FILE_ATTR_DIRECTORY
                                             : FILE_ATTR_NORMAL;
        e.is_symlink = d->d_type == DT_LNK;
      }
      out.push_back(std::move(e));
    }
    Error result = errno != 0 ? fail() : Error::none;
    ::closedir(dir);
    if (result != Error::none) out.clear();
    return result;
  }

  // ---- UTF-16 forms: the path as UTF-8, the ANSI code page here.

  Error get_attributes_w(const std::u16string& path, uint32_t& out) override {
    return get_attributes(unicode::utf16_to_utf8(path), out);
  }
  Error set_attributes_w(const std::u16string& path, uint32_t attributes) override {
    return set_attributes(unicode::utf16_to_utf8(path), attributes);
  }
  Error delete_file_w(const std::u16string& path) override {
    return delete_file(unicode::utf16_to_utf8(path));
  }
  Error remove_directory_w(const std::u16string& path) override {
    return remove_directory(unicode::utf16_to_utf8(path));
  }
  Error list_directory_w(const std::u16string& path, std::vector<WideDirectoryEntry>& out) override {
    out.clear();
    std::vector<DirectoryEntry> narrow;
    Error e = list_directory(unicode::utf16_to_utf8(path), narrow);
    if (e != Error::none) return e;
    out.reserve(narrow.size());
    for (auto& n : narrow) {
      out.push_back(WideDirectoryEntry{unicode::utf8_to_utf16(n.name), n.attributes, n.is_symlink, n.size,
                                       n.modification});
    }
    return Error::none;
  }

  // ---- Paths.

  Error current_directory(std::string& out) override {
    std::string buf(256, '\0');
    for (;;) {
      if (::getcwd(buf.data(), buf.size())) {
        out.assign(buf.c_str());
        return Error::none;
      }
      if (errno != ERANGE) return fail();
      buf.resize(buf.size() * 2);
    }
  }

  Error set_current_directory(const std::string& path) override {
    if (retry_on_eintr([&] { return ::chdir(path.c_str()); }) != 0) return fail();
    return Error::none;
  }

  Error full_path(const std::string& path, std::string& out) override {
    if (path.empty()) {
      last_errno = ENOENT;
      return Error::not_found;
    }
    std::string whole = path;
    if (path[0] != '/') {
      std::string cwd;
      Error e = current_directory(cwd);
      if (e != Error::none) return e;
      whole = join(cwd, path);
    }
    // Textual normalisation, as GetFullPathNameA does it: no look at the
    // file system, so "a/../b" is "b" even when a is a symbolic link.
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < whole.size()) {
      size_t j = whole.find('/', i);
      if (j == std::string::npos) j = whole.size();
      std::string part = whole.substr(i, j - i);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(std::move(part));
      }
      i = j + 1;
    }
    std::string result;
    for (auto& p : parts) result += '/' + p;
    // A trailing separator stays (but "x/." and "x/.." name x itself).
    if (result.empty() || whole.back() == '/') result += '/';
    out = std::move(result);
    return Error::none;
  }

  Error program_path(std::string& out) override {
    std::string buf(256, '\0');
    for (;;) {
      ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
      if (n < 0) return fail();
      if (static_cast<size_t>(n) < buf.size()) {
        out.assign(buf.data(), static_cast<size_t>(n));
        return Error::none;
      }
      buf.resize(buf.size() * 2);
    }
  }

  Error short_path(const std::string& path, std::string& out) override {
    struct stat st;
    if (retry_on_eintr([&] { return ::lstat(path.c_str(), &st); }) != 0) return fail();
    out = path;
    return Error::none;
  }

  Error temp_directory(std::string& out) override {
    const char* t = std::getenv("TMPDIR");
    out = (t && *t) ? t : "/tmp";
    if (out.back() != '/') out += '/';
    return Error::none;
  }

  Error unique_temp_file(const std::string& directory, const std::string& prefix, std::string& out) override {
    // Like GetTempFileNameA: a 16-bit number in hex, starting at a value
    // that differs between processes and calls, counted up on each clash.
    static thread_local unsigned counter = 0;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned start = static_cast<unsigned>(now.tv_nsec / 1000) ^ (static_cast<unsigned>(::getpid()) << 4) ^
                     (counter++ * 0x9E37u);
    for (unsigned k = 0; k < 0x10000; ++k) {
      unsigned number = (start + k) & 0xFFFF;
      if (number == 0) continue;  // GetTempFileNameA never uses 0
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", number);
      std::string name = join(directory, prefix + hex + ".tmp");
      int fd = retry_on_eintr([&] { return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
      if (fd >= 0) {
        ::close(fd);
        out = std::move(name);
        return Error::none;
      }
      if (errno != EEXIST) return fail();
    }
    errno = EEXIST;
    return fail();
  }

  // ---- Volumes.

  Error free_space(const std::string& path, uint64_t& out) override {
    struct statvfs sv;
    if (retry_on_eintr([&] { return ::statvfs(path.c_str(), &sv); }) != 0) return fail();
    out = static_cast<uint64_t>(sv.f_bavail) * static_cast<uint64_t>(sv.f_frsize);
    return Error::none;
  }

  Error volume_info(const std::string& path, VolumeInfo& out) override {
    // Windows asks the volume's root, which exists even when the path does
    // not yet; here the nearest existing directory above stands for it.
    std::string probe = path.empty() ? "." : path;
    struct statfs sf;
    while (retry_on_eintr([&] { return ::statfs(probe.c_str(), &sf); }) != 0) {
      size_t slash = probe.find_last_of('/', probe.size() > 1 ? probe.size() - 2 : 0);
      if ((errno != ENOENT && errno != ENOTDIR) || probe == "/" || probe == ".") return fail();
      probe = slash == std::string::npos ? "." : slash == 0 ? "/" : probe.substr(0, slash);
    }
    out.max_component_length = static_cast<uint32_t>(sf.f_namelen);
    out.file_system_name = volume_type_name(static_cast<unsigned long>(sf.f_type) & 0xFFFFFFFFul);
    // The FAT family keeps the case of names but matches without regard to
    // it; the other file systems Linux mounts match exactly. Access control
    // lists in the Windows sense are never kept here.
    bool fat = out.file_system_name == "FAT" || out.file_system_name == "EXFAT";
    out.flags = VOL_CASE_PRESERVED_NAMES | (fat ? 0 : VOL_CASE_SENSITIVE_SEARCH);
    return Error::none;
  }

  Error volume_root(const std::string& path, std::string& out) override {
    std::string full;
    Error e = full_path(path, full);
    if (e != Error::none) return e;
    // Climb while the parent is on the same device; the last directory on
    // it is the mount point.
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    struct stat st;
    while (retry_on_eintr([&] { return ::stat(full.c_str(), &st); }) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) return fail();
      size_t slash = full.rfind('/');
      full = slash == 0 ? "/" : full.substr(0, slash);
    }
    while (full != "/") {
      size_t slash = full.rfind('/');
      std::string parent = slash == 0 ? "/" : full.substr(0, slash);
      struct stat pst;
      if (retry_on_eintr([&] { return ::stat(parent.c_str(), &pst); }) != 0) return fail();
      if (pst.st_dev != st.st_dev) break;
      full = std::move(parent);
    }
    if (full.back() != '/') full += '/';
    out = std::move(full);
    return Error::none;
  }

  char path_separator() const override { return '/'; }
  char path_list_separator() const override { return ':'; }
  int last_system_error() override { return last_errno; }

 private:
  // `regular_only`: anything but a regular file (a pipe, device or socket)
  // is closed again and reported as not_regular_file.
  Error open_with(const std::string& path, int flags, File& out, bool regular_only = false, mode_t mode = 0666) {
    out.close();
    int fd = retry_on_eintr([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
    if (fd < 0) return fail();
    // Windows cannot open a directory as a file; say so the same way here
    // instead of failing later on the first read. Opened for writing, a
    // directory has already been refused by the kernel (EISDIR), so only a
    // reading open needs the look (one call less for every file written).
    if (regular_only) {
      struct stat st;
      if (retry_on_eintr([&] { return ::fstat(fd, &st); }) != 0) {
        Error e = fail();
        ::close(fd);
        return e;
      }
      if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return fail();
      }
      if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        last_errno = ENXIO;
        return Error::not_regular_file;
      }
    }
    if (flags & O_NONBLOCK) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    out = File(*this, fd);
    return Error::none;
  }
};

}  // namespace

template <> FileSystem& native<FileSystem>() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace platform
