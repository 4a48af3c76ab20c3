// Portable. No OS headers.
//
// Files, directories and volumes. Paths are UTF-8 byte strings (POSIX: the
// bytes the system takes, never converted; Windows: WTF-8, the W calls, and
// the \\?\ form for long ones, code_page.h says why); on POSIX the
// separator is '/', on Windows both '\' and '/' are accepted by the OS. All
// operations report a platform::Error; out-values are valid only when the
// result is Error::none unless a comment says otherwise.
//
// The operations on open files (file_read ... file_close) exist so that a
// decorator can fail them; code calls them through platform::File.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_time.h"
#include "platform/service.h"

namespace platform {

// Attributes in Windows bit terms. On POSIX: directory from the file type;
// read-only means nobody may write; hidden, system and archive read as clear
// and setting them succeeds without effect.
inline constexpr uint32_t FILE_ATTR_READONLY = 0x01;
inline constexpr uint32_t FILE_ATTR_HIDDEN = 0x02;
inline constexpr uint32_t FILE_ATTR_SYSTEM = 0x04;
inline constexpr uint32_t FILE_ATTR_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTR_ARCHIVE = 0x20;
// What Windows reports for a file with no other attribute.
inline constexpr uint32_t FILE_ATTR_NORMAL = 0x80;
// A symbolic link (or other reparse point). On POSIX a link has this bit
// alone, never DIRECTORY, so a tree walk does not descend through it.
inline constexpr uint32_t FILE_ATTR_REPARSE_POINT = 0x400;

// Volume flags in Windows bit terms (GetVolumeInformation).
inline constexpr uint32_t VOL_CASE_SENSITIVE_SEARCH = 0x01;
inline constexpr uint32_t VOL_CASE_PRESERVED_NAMES = 0x02;
inline constexpr uint32_t VOL_PERSISTENT_ACLS = 0x08;

enum class FileKind { missing, file, directory, symlink, other };

struct FileStatus {
  FileKind kind = FileKind::missing;
  uint64_t size = 0;  // bytes; 0 for directories
  FileTime modification;
  FileTime access;
  FileTime creation;  // POSIX: the modification time
  uint32_t attributes = 0;  // FILE_ATTR_* bits
};

struct DirectoryEntry {
  std::string name;  // the bare name, no directory part
  uint32_t attributes = 0;  // FILE_ATTR_* bits (FILE_ATTR_DIRECTORY for "." and "..")
  bool is_symlink = false;  // the entry itself is a symbolic link (or reparse point)
  uint64_t size = 0;
  FileTime modification;
};

// A listing entry named in UTF-16 (the *_w operations below).
struct WideDirectoryEntry {
  std::u16string name;
  uint32_t attributes = 0;
  bool is_symlink = false;
  uint64_t size = 0;
  FileTime modification;
};

struct VolumeInfo {
  uint32_t max_component_length = 0;  // longest file name the volume takes
  std::string file_system_name;       // "FAT", "FAT32", "NTFS", "EXT4", "TMPFS", ...
  uint32_t flags = 0;                 // VOL_* bits
  bool persistent_acls() const { return (flags & VOL_PERSISTENT_ACLS) != 0; }
  bool case_sensitive() const { return (flags & VOL_CASE_SENSITIVE_SEARCH) != 0; }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // ---- Opening files. On success `out` holds the open file (any file it
  // held before is closed first); on failure `out` is left closed.

  // Opens an existing regular file for reading (others may read and write
  // it), following links. A directory gives is_directory; a pipe, device or
  // socket gives not_regular_file, decided on what was opened and without
  // waiting for a writer or a device.
  virtual Error open_read(const std::string& path, File& out) = 0;
  // Opens an existing file for reading and writing without truncating it
  // (C "r+"; fails when the file is missing or cannot be written).
  virtual Error open_read_write(const std::string& path, File& out) = 0;
  // Opens an existing file for writing, keeping its contents and position 0
  // (used to set times after the data is written).
  virtual Error open_write_existing(const std::string& path, File& out) = 0;
  // Creates or truncates a file for writing, binary ("wb").
  virtual Error create(const std::string& path, File& out) = 0;
  // Creates a new file for writing; already_exists when the path exists
  // (O_EXCL / CREATE_NEW), including a dangling symbolic link.
  virtual Error create_exclusive(const std::string& path, File& out) = 0;
  // The same, the new file getting the permission bits of `unix_mode` (its
  // low 9 bits, less the umask) as it is made, so that no later call is
  // needed for them. Win32: the mode is ignored.
  virtual Error create_exclusive_with_mode(const std::string& path, uint32_t unix_mode, File& out) = 0;

  // ---- Operations on open files; use platform::File instead.
  virtual IoResult file_read(NativeHandle h, void* buffer, size_t n) = 0;
  virtual IoResult file_read_at(NativeHandle h, int64_t offset, void* buffer, size_t n) = 0;
  virtual IoResult file_write(NativeHandle h, const void* buffer, size_t n) = 0;
  virtual IoResult file_seek(NativeHandle h, int64_t offset) = 0;
  virtual IoResult file_size(NativeHandle h) = 0;
  virtual Error file_set_times(NativeHandle h, const FileTimes& times) = 0;
  virtual Error file_close(NativeHandle h) = 0;

  // ---- Status, attributes, times.

  // Status of a path without following a final symbolic link. A missing
  // path is not an error: it gives kind == missing with Error::none. Other
  // failures (access denied on a parent, ...) are reported.
  virtual Error status(const std::string& path, FileStatus& out) = 0;
  // FILE_ATTR_* bits of a path (GetFileAttributes). not_found when missing.
  virtual Error get_attributes(const std::string& path, uint32_t& out) = 0;
  // Sets FILE_ATTR_* bits (READONLY, HIDDEN, SYSTEM, ARCHIVE; the directory
  // bit is ignored). POSIX: read-only removes all write bits, clearing it
  // gives the owner write permission back.
  virtual Error set_attributes(const std::string& path, uint32_t attributes) = 0;
  // Gives an entry made on a Unix host its permission bits (the low 12 bits
  // of `mode`, less the umask). Win32: does nothing and succeeds.
  virtual Error set_unix_mode(const std::string& path, uint32_t mode) = 0;
  // Sets the present times of a path (absent ones stay), following a
  // symbolic link. Times are read through status().
  virtual Error set_times(const std::string& path, const FileTimes& times) = 0;

  // ---- Creating, removing, renaming.

  // Removes a file, or a symbolic link itself (never its target). Does not
  // clear a read-only attribute first (Windows then fails: access_denied).
  virtual Error delete_file(const std::string& path) = 0;
  // Removes an empty directory (not_empty otherwise).
  virtual Error remove_directory(const std::string& path) = 0;
  // Creates one directory (the parent must exist); already_exists if present.
  virtual Error create_directory(const std::string& path) = 0;
  // Renames a file or directory; fails (already_exists) when `to` exists.
  virtual Error rename(const std::string& from, const std::string& to) = 0;
  // Lists a directory, "." and ".." included as on Windows (first on POSIX),
  // the rest in the order the OS gives. not_directory when the path is a
  // file, not_found when missing; `out` is empty after a failure.
  virtual Error list_directory(const std::string& path, std::vector<DirectoryEntry>& out) = 0;

  // ---- The same for UTF-16 paths (Win32: the W calls; POSIX: the path as
  // UTF-8, which is the ANSI code page there).
  virtual Error get_attributes_w(const std::u16string& path, uint32_t& out) = 0;
  virtual Error set_attributes_w(const std::u16string& path, uint32_t attributes) = 0;
  virtual Error delete_file_w(const std::u16string& path) = 0;
  virtual Error remove_directory_w(const std::u16string& path) = 0;
  virtual Error list_directory_w(const std::u16string& path, std::vector<WideDirectoryEntry>& out) = 0;

  // ---- Paths.

  // The process's current directory, without a trailing separator (except
  // at a root).
  virtual Error current_directory(std::string& out) = 0;
  // Makes `path` the current directory (not_found when it does not exist).
  virtual Error set_current_directory(const std::string& path) = 0;
  // Absolute form of a path (GetFullPathNameW): resolved against the current
  // directory, "." and ".." removed textually, repeated separators merged;
  // the path need not exist. A trailing separator is kept.
  virtual Error full_path(const std::string& path, std::string& out) = 0;
  // The running program's own file (GetModuleFileNameW, /proc/self/exe).
  virtual Error program_path(std::string& out) = 0;
  // The short (8.3) form of an existing path; POSIX: the path itself.
  virtual Error short_path(const std::string& path, std::string& out) = 0;
  // The directory for temporary files, ending with the separator.
  virtual Error temp_directory(std::string& out) = 0;
  // Creates a new empty file with a unique name in `directory` whose name
  // starts with `prefix` (GetTempFileNameW; POSIX "<dir>/<prefix><hex>.tmp"
  // made with O_EXCL, retried on a clash). `out`: the full name of the file.
  virtual Error unique_temp_file(const std::string& directory, const std::string& prefix,
                                 std::string& out) = 0;
  // Bytes available to the caller on the volume holding `path`.
  virtual Error free_space(const std::string& path, uint64_t& out) = 0;
  // Information about the volume holding `path`. The path need not exist
  // yet (Win32 asks the volume's root; POSIX its nearest existing parent).
  virtual Error volume_info(const std::string& path, VolumeInfo& out) = 0;
  // The root directory of the volume holding `path`, ending with the
  // separator ("C:\", "\\server\share\"; POSIX: the mount point, "/" ...).
  virtual Error volume_root(const std::string& path, std::string& out) = 0;

  // '\' on Windows, '/' on POSIX.
  virtual char path_separator() const = 0;
  // ';' on Windows, ':' on POSIX (between directories of PATH).
  virtual char path_list_separator() const = 0;

  // The raw OS code (GetLastError / errno) of the most recent failing call of
  // this service on this thread, for messages that show it. 0 when none.
  virtual int last_system_error() = 0;
};

inline FileSystem& file_system() { return current<FileSystem>(); }

}  // namespace platform
