// Writes a ZIP archive into an open file, starting at a given position (the
// end of a stub, or 0). Every offset it stores counts from the start of the
// file, so the engine finds the archive inside the stub without measuring
// any preceding bytes. Sizes and CRCs go into the local headers (the file is
// seekable, so no data descriptors are needed). Zip64 records are written
// exactly where a plain field cannot hold a value: a size or offset of
// 4 GiB or more, more than 65,535 entries.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dos_time.h"
#include "zip_reader.h"

namespace sfxpack {

struct WriterOptions {
  int level = 6;           // Deflate level 1-9; 0 stores every entry
  bool unix_host = true;   // host 3 with permission bits, else host 0 (FAT)
  // Set for a release build: the times of copied entries are clamped to it.
  std::optional<std::time_t> source_date_epoch;
  // Told the bytes of each block taken in: file data read, or the raw data
  // of a copied entry.
  std::function<void(uint64_t bytes)> on_data;
};

class ZipWriter {
 public:
  // `out` is open for reading and writing, positioned nowhere in particular;
  // the archive starts at `start`.
  ZipWriter(std::fstream& out, uint64_t start, WriterOptions options);

  void add_directory(const std::string& name, uint32_t permissions, DosTime time);
  // Deflates the file (or stores it when Deflate does not make it smaller).
  void add_file(const std::string& name, const std::filesystem::path& source, uint32_t permissions,
                DosTime time);
  // Copies an entry of another archive as it is, compressed data included.
  void add_copied(ZipArchive& from, const ArchiveEntry& entry);
  // Writes the central directory and the end record; returns the position
  // just past the archive, where the file must end.
  uint64_t finish(const std::string& comment = "");

  size_t entry_count() const { return central_.size(); }
  uint64_t uncompressed_total() const { return uncompressed_total_; }

 private:
  std::fstream& out_;
  WriterOptions options_;
  uint64_t position_;
  std::vector<std::string> central_;
  uint64_t uncompressed_total_ = 0;

  struct Fields {
    uint16_t version_made_by = 0;
    uint16_t version_needed = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dos_date_time = 0;
    uint32_t crc = 0;
    uint64_t compressed_size = 0;
    uint64_t uncompressed_size = 0;
    uint16_t internal_attributes = 0;
    uint32_t external_attributes = 0;
    bool zip64_local = false;  // the local header carries both sizes in a zip64 block
  };

  void check_name(const std::string& name) const;
  Fields own_fields(const std::string& name, bool directory, uint32_t permissions, DosTime time) const;
  std::string local_header(const Fields& f, const std::string& name, const std::string& extra) const;
  void add_central(Fields f, const std::string& name, uint64_t offset, const std::string& extra,
                   const std::string& comment);
  void write_end_records(uint64_t cd_offset, uint64_t cd_size, const std::string& comment);
  void write(const std::string& bytes);
  void write(const char* data, size_t n);
  // Streams `source` to the file; returns the bytes read and sets the CRC and
  // the compressed size. Deflates when `deflate` is set, else stores. Tells
  // `on_data` about the bytes read when `report` is set.
  uint64_t write_data(const std::filesystem::path& source, bool deflate, bool report, uint32_t& crc,
                      uint64_t& written);
};

}  // namespace sfxpack
