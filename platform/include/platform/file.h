// Portable. No OS headers.
//
// An open file: an RAII handle that closes itself, movable, not copyable.
// Files are opened through the FileSystem service (file_system.h), and every
// operation on an open file goes back through the FileSystem that opened it,
// so a test's fake file system can fail reads, writes and closes as well as
// opens. The operations are thin: one OS call per block on the hot path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/error.h"
#include "platform/file_time.h"

namespace platform {

class FileSystem;

// Result of a read, write, seek or size query. `value` is a byte count or a
// position; it is meaningful when `error` is none, and for a failed write it
// still says how many bytes reached the file before the failure.
struct IoResult {
  int64_t value = 0;
  Error error = Error::none;
  bool ok() const { return error == Error::none; }
};

// An OS handle as an integer: a file descriptor on POSIX, a HANDLE on Win32.
// -1 is "no handle" on both (INVALID_HANDLE_VALUE is -1 too).
using NativeHandle = intptr_t;
inline constexpr NativeHandle INVALID_NATIVE_HANDLE = -1;

class File {
 public:
  File() = default;
  // Adopts `handle`, which `owner` opened; used by backends and fakes.
  File(FileSystem& owner, NativeHandle handle) : owner_(&owner), handle_(handle) {}
  // Closes an open file, ignoring errors: call close() to learn of them.
  ~File();
  File(File&& other) noexcept : owner_(other.owner_), handle_(other.handle_) {
    other.owner_ = nullptr;
    other.handle_ = INVALID_NATIVE_HANDLE;
  }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool is_open() const { return handle_ != INVALID_NATIVE_HANDLE; }

  // Reads up to n bytes at the current position. value: the bytes read,
  // fewer than n only at the end of the file, 0 at the end.
  IoResult read(void* buffer, size_t n);
  // Reads up to n bytes at an absolute offset. The current position is not
  // used (nor moved on POSIX; Windows moves it), so several threads may read
  // one file this way at once. value: the bytes read, fewer than n only at
  // the end of the file.
  IoResult read_at(int64_t offset, void* buffer, size_t n);
  // Writes n bytes at the current position. value: the bytes written; when
  // fewer than n reached the file the error is set (disk_full when the OS
  // accepted only part of the block).
  IoResult write(const void* buffer, size_t n);
  // Moves to an absolute offset from the start. value: the new position.
  IoResult seek(int64_t offset);
  // value: the file's size in bytes.
  IoResult size();
  // Sets the present times on the open file (absent ones stay). Creation
  // time does nothing on POSIX.
  Error set_times(const FileTimes& times);
  // Closes the file and reports the failure of a delayed write (which is a
  // write error: the data may not be on disk). The handle is gone afterwards
  // whatever the result. Closing a file that is not open is no error.
  Error close();

  // The OS handle, still owned by this File.
  NativeHandle native_handle() const { return handle_; }
  // Gives up ownership: the caller must close the handle through owner().
  NativeHandle release() {
    NativeHandle h = handle_;
    handle_ = INVALID_NATIVE_HANDLE;
    return h;
  }
  // The service that opened the file (nullptr when not open).
  FileSystem* owner() const { return owner_; }

 private:
  FileSystem* owner_ = nullptr;
  NativeHandle handle_ = INVALID_NATIVE_HANDLE;
};

}  // namespace platform
