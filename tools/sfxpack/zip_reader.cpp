// Reading an existing ZIP archive.
#include "zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "pack_error.h"
#include "zip_layout.h"

namespace fs = std::filesystem;

namespace sfxpack {
namespace {

const unsigned char* bytes(const std::string& s, size_t at = 0) {
  return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

}  // namespace

std::string ZipArchive::read_at(uint64_t position, size_t n) {
  if (position > file_size_ || n > file_size_ - position) {
    throw PackError(path_.string() + " is truncated or corrupt (a record reaches past its end)");
  }
  std::string buffer(n, '\0');
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(position));
  in_.read(buffer.data(), static_cast<std::streamsize>(n));
  if (!in_ || static_cast<size_t>(in_.gcount()) != n) throw PackError("cannot read " + path_.string());
  return buffer;
}

ZipArchive::ZipArchive(const fs::path& path) : path_(path), in_(path, std::ios::binary) {
  const std::string name = path.string();
  if (!in_) throw PackError("cannot open " + name);
  std::error_code ec;
  file_size_ = fs::file_size(path, ec);
  if (ec) throw PackError("cannot read the size of " + name + ": " + ec.message());
  if (file_size_ < END_RECORD_SIZE) throw PackError(name + " is not a ZIP archive (too short)");

  // The end record is the last thing in the file, followed only by its
  // comment of at most 65,535 bytes.
  const uint64_t window = std::min<uint64_t>(file_size_, END_RECORD_SIZE + 0xFFFF);
  const std::string tail = read_at(file_size_ - window, static_cast<size_t>(window));
  size_t found = std::string::npos;
  for (size_t p = tail.size() - END_RECORD_SIZE + 1; p-- > 0;) {
    if (get32(bytes(tail, p)) == END_RECORD_SIGNATURE) {
      found = p;
      break;
    }
  }
  if (found == std::string::npos) throw PackError(name + " is not a ZIP archive (no end-of-central-directory record)");
  const unsigned char* end = bytes(tail, found);
  const uint64_t end_position = file_size_ - window + found;
  const uint16_t this_disk = get16(end + 4), cd_disk = get16(end + 6);
  const uint16_t disk_entries = get16(end + 8), total_entries = get16(end + 10);
  const uint32_t cd_size = get32(end + 12), cd_offset = get32(end + 16);
  const uint16_t comment_length = get16(end + 20);
  if (this_disk != 0 || cd_disk != 0 || disk_entries != total_entries) {
    throw PackError(name + " is part of a multi-disk archive, which the launcher cannot read");
  }
  if (total_entries == 0xFFFF || cd_size == MAX_32 || cd_offset == MAX_32) {
    throw PackError(name + " is a zip64 archive, which sfxpack cannot copy entries from (pack its files from a directory)");
  }
  if (cd_offset + static_cast<uint64_t>(cd_size) > end_position) {
    throw PackError(name + " is corrupt (its central directory overlaps the end record)");
  }
  comment_ = tail.substr(found + END_RECORD_SIZE, comment_length);

  // Data in front of the archive (a stub) shifts every stored offset.
  const uint64_t preceding = end_position - cd_offset - cd_size;
  const std::string directory = read_at(cd_offset + preceding, cd_size);
  size_t at = 0;
  for (uint32_t i = 0; i < total_entries; ++i) {
    if (directory.size() - at < CENTRAL_ENTRY_SIZE || get32(bytes(directory, at)) != CENTRAL_ENTRY_SIGNATURE) {
      throw PackError(name + " is corrupt (central directory entry " + std::to_string(i + 1) + " is damaged)");
    }
    const unsigned char* c = bytes(directory, at);
    ArchiveEntry e;
    e.version_made_by = get16(c + 4);
    e.version_needed = get16(c + 6);
    e.flags = get16(c + 8);
    e.method = get16(c + 10);
    e.dos_date_time = get32(c + 12);
    e.crc = get32(c + 16);
    e.compressed_size = get32(c + 20);
    e.uncompressed_size = get32(c + 24);
    const size_t name_length = get16(c + 28), extra_length = get16(c + 30), comment_len = get16(c + 32);
    e.internal_attributes = get16(c + 36);
    e.external_attributes = get32(c + 38);
    const uint32_t local = get32(c + 42);
    if (directory.size() - at - CENTRAL_ENTRY_SIZE < name_length + extra_length + comment_len) {
      throw PackError(name + " is corrupt (central directory entry " + std::to_string(i + 1) + " is truncated)");
    }
    e.name = directory.substr(at + CENTRAL_ENTRY_SIZE, name_length);
    e.central_extra = directory.substr(at + CENTRAL_ENTRY_SIZE + name_length, extra_length);
    e.comment = directory.substr(at + CENTRAL_ENTRY_SIZE + name_length + extra_length, comment_len);
    if (e.compressed_size == MAX_32 || e.uncompressed_size == MAX_32 || local == MAX_32) {
      throw PackError(name + " holds the zip64 entry " + e.name +
                      ", which sfxpack cannot copy (pack the files from a directory)");
    }
    e.local_header = local + preceding;
    entries_.push_back(std::move(e));
    at += CENTRAL_ENTRY_SIZE + name_length + extra_length + comment_len;
  }
}

ZipArchive::LocalPart ZipArchive::local_part(const ArchiveEntry& entry) {
  const std::string header = read_at(entry.local_header, LOCAL_HEADER_SIZE);
  if (get32(bytes(header)) != LOCAL_HEADER_SIGNATURE) {
    throw PackError(path_.string() + " is corrupt (the local header of " + entry.name + " is missing)");
  }
  const size_t name_length = get16(bytes(header, 26)), extra_length = get16(bytes(header, 28));
  LocalPart part;
  part.extra = read_at(entry.local_header + LOCAL_HEADER_SIZE + name_length, extra_length);
  part.data = entry.local_header + LOCAL_HEADER_SIZE + name_length + extra_length;
  if (part.data > file_size_ || entry.compressed_size > file_size_ - part.data) {
    throw PackError(path_.string() + " is truncated (the data of " + entry.name + " reaches past its end)");
  }
  return part;
}

void ZipArchive::copy_raw(const ArchiveEntry& entry, std::ostream& out) {
  const LocalPart part = local_part(entry);
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(part.data));
  std::vector<char> buffer(1 << 18);
  uint64_t left = entry.compressed_size;
  while (left > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    in_.read(buffer.data(), static_cast<std::streamsize>(n));
    if (static_cast<size_t>(in_.gcount()) != n) throw PackError("cannot read " + path_.string());
    out.write(buffer.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
}

std::string ZipArchive::contents(const ArchiveEntry& entry) {
  if (entry.flags & FLAG_ENCRYPTED) throw PackError(entry.name + " in " + path_.string() + " is encrypted");
  const LocalPart part = local_part(entry);
  const std::string raw = read_at(part.data, entry.compressed_size);
  std::string out;
  if (entry.method == METHOD_STORED) {
    out = raw;
  } else if (entry.method == METHOD_DEFLATED) {
    out.resize(entry.uncompressed_size);
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw PackError("out of memory");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool complete = rc == Z_STREAM_END && z.total_out == entry.uncompressed_size;
    inflateEnd(&z);
    if (!complete) throw PackError(entry.name + " in " + path_.string() + " has damaged compressed data");
  } else {
    throw PackError(entry.name + " in " + path_.string() + " uses compression method " +
                    std::to_string(entry.method) + ", which sfxpack cannot read");
  }
  const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.data()),
                                                   static_cast<uInt>(out.size())));
  if (out.size() != entry.uncompressed_size || crc != entry.crc) {
    throw PackError(entry.name + " in " + path_.string() + " fails its CRC check");
  }
  return out;
}

}  // namespace sfxpack
