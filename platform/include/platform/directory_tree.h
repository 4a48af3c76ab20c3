// Portable. No OS headers.
//
// Directories held open for a walk that must not be led astray: every
// directory of the walk is opened through its parent's held handle (or
// below it), never through a link, and its entries are listed and removed
// through that held directory. A link swapped in while the walk runs is
// therefore never followed, and nothing on another volume is entered.
//
// POSIX: descriptors from openat(O_DIRECTORY | O_NOFOLLOW); entries from
// readdir with statx(AT_SYMLINK_NOFOLLOW) on the held descriptor; removal
// with unlinkat. Names are the bytes the system returned, never converted.
// Win32: handles opened with FILE_FLAG_BACKUP_SEMANTICS |
// FILE_FLAG_OPEN_REPARSE_POINT and without delete sharing, so nobody can
// rename or remove a directory of the walk while it is held; entries from
// FindFirstFileW below the held directory's final path (reparse points are
// seen in the listing and never entered); volume serial numbers and file
// indexes from GetFileInformationByHandle. Names are the UTF-16 names the
// system returned, carried as WTF-8 so that none is altered on the way.
//
// The walk itself (retries, progress, the report of what stayed) is
// portable: tree_removal.h. This service is its only way to the OS, so a
// test can fail any of its calls (tests/fakes/fake_directory_tree.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/service.h"

namespace platform {

class DirectoryTree;

enum class TreeEntryKind {
  file,         // a file; also a device, pipe or socket, removed like a file
  directory,    // a directory on the same volume
  link,         // symbolic link or junction: removed itself, never entered
  mount_point,  // another volume (file system) is mounted here: left alone
};

// What a file is, independent of the name it is reached by.
struct FileIdentity {
  uint64_t volume = 0;  // POSIX st_dev; Win32 the volume serial number
  uint64_t file = 0;    // POSIX st_ino; Win32 the file index
  uint64_t size = 0;    // for a cheap comparison before an identity is asked for
  bool known = false;
  bool same_file(const FileIdentity& other) const {
    return known && other.known && volume == other.volume && file == other.file;
  }
};

struct TreeEntry {
  // POSIX: the bytes of the name as the system returned them; Win32: the
  // UTF-16 name as WTF-8. Never "." or "..".
  std::string name;
  TreeEntryKind kind = TreeEntryKind::file;
  uint32_t attributes = 0;  // FILE_ATTR_* bits (file_system.h)
  uint64_t size = 0;
  FileIdentity identity;  // known when the listing gives it for free (POSIX)
};

// A directory held open by the service. Closes itself; movable only.
class DirectoryHandle {
 public:
  DirectoryHandle() = default;
  // Adopts `handle`; used by backends and fakes.
  DirectoryHandle(DirectoryTree& owner, NativeHandle handle, std::string path, uint64_t mount,
                  uint32_t attributes)
      : owner_(&owner), handle_(handle), path_(std::move(path)), mount_(mount), attributes_(attributes) {}
  ~DirectoryHandle() { close(); }
  DirectoryHandle(DirectoryHandle&& other) noexcept { *this = std::move(other); }
  DirectoryHandle& operator=(DirectoryHandle&& other) noexcept;
  DirectoryHandle(const DirectoryHandle&) = delete;
  DirectoryHandle& operator=(const DirectoryHandle&) = delete;

  bool is_open() const { return handle_ != INVALID_NATIVE_HANDLE; }
  NativeHandle native_handle() const { return handle_; }
  // The directory's full path in the service's own text (POSIX: bytes, with
  // the links above it resolved; Win32: the final path as WTF-8, possibly
  // with the \\?\ prefix). For messages use DirectoryTree::message_path.
  const std::string& path() const { return path_; }
  // The mount (POSIX: the mount id, which tells bind mounts apart, else the
  // device) or volume (Win32: the serial number) the directory lies on.
  uint64_t mount() const { return mount_; }
  uint32_t attributes() const { return attributes_; }
  void close();

 private:
  DirectoryTree* owner_ = nullptr;
  NativeHandle handle_ = INVALID_NATIVE_HANDLE;
  std::string path_;
  uint64_t mount_ = 0;
  uint32_t attributes_ = 0;
};

class DirectoryTree {
 public:
  virtual ~DirectoryTree() = default;

  // Opens the directory holding the last name of `path` (a UTF-8 path like
  // every path of the platform layer; relative ones against the current
  // directory), following links in that parent part as the system does,
  // and describes the last name in `entry` without following it. Doubled
  // separators, "." steps and trailing separators are dropped first.
  // invalid_name when no name is left (empty, a root) or a step is "..";
  // not_found with `parent` open when the last name does not exist.
  virtual Error open_parent(const std::string& path, DirectoryHandle& parent, TreeEntry& entry) = 0;
  // Opens the directory `entry` of `parent` without following a link:
  // is_link when the entry is (by now) a link or reparse point,
  // not_directory when it is no directory.
  virtual Error open_directory(const DirectoryHandle& parent, const TreeEntry& entry, DirectoryHandle& out) = 0;
  // The entries of a held directory, without "." and "..", in the order
  // the system gives them.
  virtual Error list(const DirectoryHandle& directory, std::vector<TreeEntry>& out) = 0;
  // The identity of an entry whose listing did not carry it.
  virtual Error identify(const DirectoryHandle& directory, const TreeEntry& entry, FileIdentity& out) = 0;
  // The identity of the file at a path (a final link not followed).
  virtual Error identify_path(const std::string& path, FileIdentity& out) = 0;
  // Clears the read-only attribute of an entry before its removal (Win32).
  // POSIX removes a file whatever its own permissions say: nothing to do.
  virtual Error clear_read_only(const DirectoryHandle& directory, const TreeEntry& entry) = 0;
  // Lets the entries of a held directory be removed: Win32 clears its
  // read-only attribute, POSIX gives its owner write permission.
  virtual Error make_writable(const DirectoryHandle& directory) = 0;
  // Removes a file or a link itself, or an empty directory, from `directory`.
  // A mount point is never removed (unsupported).
  virtual Error remove(const DirectoryHandle& directory, const TreeEntry& entry) = 0;

  // A path of this service's text (a DirectoryHandle's path, or one with
  // names joined by path_separator()) in the form messages and the other
  // services take: POSIX the bytes unchanged; Win32 UTF-8, without \\?\.
  virtual std::string message_path(const std::string& path) const = 0;
  // Closes a handle of a DirectoryHandle; use DirectoryHandle::close.
  virtual void close_handle(NativeHandle handle) = 0;
};

inline DirectoryTree& directory_tree() { return current<DirectoryTree>(); }

}  // namespace platform
