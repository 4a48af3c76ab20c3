// Reads an existing ZIP archive (possibly preceded by other data): its
// central directory, the raw data of an entry, and an entry's contents for
// the stored and deflated methods. Used to repack a ready-made ZIP behind a
// stub and to look into its AUTORUN.INF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace sfxpack {

struct ArchiveEntry {
  std::string name;
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dos_date_time = 0;
  uint32_t crc = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  std::string central_extra;
  std::string comment;
  uint64_t local_header = 0;  // position in the file, preceding data included
  bool is_directory() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
 public:
  // Reads the end record and the central directory; throws PackError for
  // anything that is not a plain, single-disk, non-zip64 archive (the
  // engine reads zip64, but copying from it is not done here).
  explicit ZipArchive(const std::filesystem::path& path);

  const std::vector<ArchiveEntry>& entries() const { return entries_; }
  const std::string& comment() const { return comment_; }

  // The local header's extra field and the position of the entry's data.
  struct LocalPart {
    std::string extra;
    uint64_t data = 0;
  };
  LocalPart local_part(const ArchiveEntry& entry);

  // Copies the entry's raw (compressed) bytes to `out`.
  void copy_raw(const ArchiveEntry& entry, std::ostream& out);

  // The entry's uncompressed contents (stored or deflated), CRC checked.
  std::string contents(const ArchiveEntry& entry);

 private:
  std::filesystem::path path_;
  std::ifstream in_;
  uint64_t file_size_ = 0;
  std::vector<ArchiveEntry> entries_;
  std::string comment_;

  std::string read_at(uint64_t position, size_t n);
};

}  // namespace sfxpack
