// Test helper: a platform::FileSystem that passes every call to another
// one, for fakes that change only a few operations (such as a volume that
// takes only 8.3 names) and leave real files to the real backend.
#pragma once

#include "platform/file_system.h"

namespace extraction_test {

class ForwardingFileSystem : public platform::FileSystem {
 public:
  using Error = platform::Error;
  using File = platform::File;
  using IoResult = platform::IoResult;
  using NativeHandle = platform::NativeHandle;
  using FileStatus = platform::FileStatus;
  using FileTimes = platform::FileTimes;
  using DirectoryEntry = platform::DirectoryEntry;
  using WideDirectoryEntry = platform::WideDirectoryEntry;
  using VolumeInfo = platform::VolumeInfo;

  explicit ForwardingFileSystem(platform::FileSystem& inner = platform::native<platform::FileSystem>())
      : inner_(inner) {}

  Error open_read(const std::string& path, File& out) override { return inner_.open_read(path, out); }
  Error open_read_write(const std::string& path, File& out) override { return inner_.open_read_write(path, out); }
  Error open_write_existing(const std::string& path, File& out) override { return inner_.open_write_existing(path, out); }
  Error create(const std::string& path, File& out) override { return inner_.create(path, out); }
  Error create_exclusive(const std::string& path, File& out) override { return inner_.create_exclusive(path, out); }
  Error create_exclusive_with_mode(const std::string& path, uint32_t mode, File& out) override {
    return inner_.create_exclusive_with_mode(path, mode, out);
  }
  IoResult file_read(NativeHandle h, void* buffer, size_t n) override { return inner_.file_read(h, buffer, n); }
  IoResult file_read_at(NativeHandle h, int64_t offset, void* buffer, size_t n) override {
    return inner_.file_read_at(h, offset, buffer, n);
  }
  IoResult file_write(NativeHandle h, const void* buffer, size_t n) override { return inner_.file_write(h, buffer, n); }
  IoResult file_seek(NativeHandle h, int64_t offset) override { return inner_.file_seek(h, offset); }
  IoResult file_size(NativeHandle h) override { return inner_.file_size(h); }
  Error file_set_times(NativeHandle h, const FileTimes& times) override { return inner_.file_set_times(h, times); }
  Error file_close(NativeHandle h) override { return inner_.file_close(h); }
  Error status(const std::string& path, FileStatus& out) override { return inner_.status(path, out); }
  Error get_attributes(const std::string& path, uint32_t& out) override { return inner_.get_attributes(path, out); }
  Error set_attributes(const std::string& path, uint32_t attributes) override { return inner_.set_attributes(path, attributes); }
  Error set_unix_mode(const std::string& path, uint32_t mode) override { return inner_.set_unix_mode(path, mode); }
  Error set_times(const std::string& path, const FileTimes& times) override { return inner_.set_times(path, times); }
  Error delete_file(const std::string& path) override { return inner_.delete_file(path); }
  Error remove_directory(const std::string& path) override { return inner_.remove_directory(path); }
  Error create_directory(const std::string& path) override { return inner_.create_directory(path); }
  Error rename(const std::string& from, const std::string& to) override { return inner_.rename(from, to); }
  Error list_directory(const std::string& path, std::vector<DirectoryEntry>& out) override { return inner_.list_directory(path, out); }
  Error get_attributes_w(const std::u16string& path, uint32_t& out) override { return inner_.get_attributes_w(path, out); }
  Error set_attributes_w(const std::u16string& path, uint32_t attributes) override { return inner_.set_attributes_w(path, attributes); }
  Error delete_file_w(const std::u16string& path) override { return inner_.delete_file_w(path); }
  Error remove_directory_w(const std::u16string& path) override { return inner_.remove_directory_w(path); }
  Error list_directory_w(const std::u16string& path, std::vector<WideDirectoryEntry>& out) override { return inner_.list_directory_w(path, out); }
  Error current_directory(std::string& out) override { return inner_.current_directory(out); }
  Error set_current_directory(const std::string& path) override { return inner_.set_current_directory(path); }
  Error full_path(const std::string& path, std::string& out) override { return inner_.full_path(path, out); }
  Error program_path(std::string& out) override { return inner_.program_path(out); }
  Error short_path(const std::string& path, std::string& out) override { return inner_.short_path(path, out); }
  Error temp_directory(std::string& out) override { return inner_.temp_directory(out); }
  Error unique_temp_file(const std::string& directory, const std::string& prefix, std::string& out) override { return inner_.unique_temp_file(directory, prefix, out); }
  Error free_space(const std::string& path, uint64_t& out) override { return inner_.free_space(path, out); }
  Error volume_info(const std::string& path, VolumeInfo& out) override { return inner_.volume_info(path, out); }
  Error volume_root(const std::string& path, std::string& out) override { return inner_.volume_root(path, out); }
  char path_separator() const override { return inner_.path_separator(); }
  char path_list_separator() const override { return inner_.path_list_separator(); }
  int last_system_error() override { return inner_.last_system_error(); }

 protected:
  platform::FileSystem& inner_;
};

// A volume of a chosen kind under every path: the longest name component
// and the file-system name are as given; everything else is real.
class FakeVolume final : public ForwardingFileSystem {
 public:
  FakeVolume(uint32_t max_component_length, std::string file_system_name)
      : max_(max_component_length), name_(std::move(file_system_name)) {}
  Error volume_info(const std::string& path, VolumeInfo& out) override {
    ++volume_queries;
    Error e = inner_.volume_info(path, out);
    if (e != Error::none) return e;
    out.max_component_length = max_;
    out.file_system_name = name_;
    return Error::none;
  }
  int volume_queries = 0;

 private:
  uint32_t max_;
  std::string name_;
};

}  // namespace extraction_test
