// Portable. No OS headers.
//
// platform::File forwards every operation to the FileSystem that opened it,
// so that a decorating fake sees (and can fail) each one.
#include "platform/file.h"

#include "platform/file_system.h"

namespace platform {

File::~File() {
  if (is_open()) owner_->file_close(handle_);
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) owner_->file_close(handle_);
    owner_ = other.owner_;
    handle_ = other.handle_;
    other.owner_ = nullptr;
    other.handle_ = INVALID_NATIVE_HANDLE;
  }
  return *this;
}

IoResult File::read(void* buffer, size_t n) {
  if (!is_open()) return {0, Error::io};
  return owner_->file_read(handle_, buffer, n);
}

IoResult File::read_at(int64_t offset, void* buffer, size_t n) {
  if (!is_open()) return {0, Error::io};
  return owner_->file_read_at(handle_, offset, buffer, n);
}

IoResult File::write(const void* buffer, size_t n) {
  if (!is_open()) return {0, Error::io};
  return owner_->file_write(handle_, buffer, n);
}

IoResult File::seek(int64_t offset) {
  if (!is_open()) return {0, Error::io};
  return owner_->file_seek(handle_, offset);
}

IoResult File::size() {
  if (!is_open()) return {0, Error::io};
  return owner_->file_size(handle_);
}

Error File::set_times(const FileTimes& times) {
  if (!is_open()) return Error::io;
  return owner_->file_set_times(handle_, times);
}

Error File::close() {
  if (!is_open()) return Error::none;
  NativeHandle h = handle_;
  FileSystem* fs = owner_;
  handle_ = INVALID_NATIVE_HANDLE;
  owner_ = nullptr;
  return fs->file_close(h);
}

}  // namespace platform
