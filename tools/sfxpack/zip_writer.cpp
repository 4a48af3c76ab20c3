// Writing a ZIP archive behind a stub.
#include "zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <system_error>

#include "pack_error.h"
#include "reproducible_pack.h"
#include "zip_layout.h"

namespace fs = std::filesystem;

namespace sfxpack {
namespace {

constexpr size_t BLOCK = 1 << 18;

// "Made by" version 3.0 on Unix (its external attributes carry st_mode),
// 2.0 on FAT; "needed" 2.0 for Deflate and directories, 1.0 for stored files.
constexpr uint16_t MADE_BY_SPEC_UNIX = 30;
constexpr uint16_t MADE_BY_SPEC_FAT = 20;
constexpr uint16_t NEEDED_DEFLATE = 20;
constexpr uint16_t NEEDED_STORED = 10;

bool is_ascii(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Bits 1-2 of the flags tell how hard Deflate tried (informational only).
uint16_t deflate_level_flags(int level) {
  if (level >= 8) return 0x0002;
  if (level <= 2) return 0x0004;
  return 0;
}

struct ZStream {
  z_stream z{};
  bool open = false;
  ~ZStream() {
    if (open) deflateEnd(&z);
  }
};

}  // namespace

ZipWriter::ZipWriter(std::fstream& out, uint64_t start, WriterOptions options)
    : out_(out), options_(options), position_(start) {
  out_.seekp(static_cast<std::streamoff>(start));
}

void ZipWriter::check_name(const std::string& name) const {
  if (name.size() > MAX_NAME_BYTES) {
    throw PackError("the name " + name + " is longer than " + std::to_string(MAX_NAME_BYTES) +
                    " bytes, which the launcher cannot extract");
  }
  // On FAT hosts the engine reads names in the OEM code page; only ASCII
  // means the same in both, so anything else is refused rather than garbled.
  if (!options_.unix_host && !is_ascii(name)) {
    throw PackError("the name " + name + " holds non-ASCII characters, which this build cannot store");
  }
}

ZipWriter::Fields ZipWriter::own_fields(const std::string& name, bool directory, uint32_t permissions,
                                        DosTime time) const {
  Fields f;
  if (options_.unix_host) {
    f.version_made_by = static_cast<uint16_t>(HOST_UNIX << 8 | MADE_BY_SPEC_UNIX);
    const uint32_t mode = (directory ? UNIX_DIRECTORY : UNIX_REGULAR) | (permissions & 07777);
    f.external_attributes = mode << 16;
  } else {
    f.version_made_by = static_cast<uint16_t>(HOST_FAT << 8 | MADE_BY_SPEC_FAT);
  }
  f.external_attributes |= directory ? DOS_DIRECTORY : DOS_ARCHIVE;
  if ((permissions & 0222) == 0) f.external_attributes |= DOS_READONLY;
  // Python and 7-Zip read names without this flag as code page 437.
  if (options_.unix_host && !is_ascii(name)) f.flags |= FLAG_UTF8_NAME;
  f.dos_date_time = time.packed();
  f.version_needed = directory ? NEEDED_STORED : NEEDED_DEFLATE;
  f.method = METHOD_STORED;
  return f;
}

namespace {

// A plain 32-bit field: the value, or the mark that it is in the zip64 block.
uint32_t plain32(uint64_t v) { return v >= MAX_32 ? static_cast<uint32_t>(MAX_32) : static_cast<uint32_t>(v); }

// The zip64 block in front of an entry's own extra field; the whole must
// still fit the 16-bit length.
std::string with_zip64_block(const std::string& values, const std::string& extra, const std::string& name) {
  if (values.empty()) return extra;
  std::string block;
  put16(block, ZIP64_EXTRA_ID);
  put16(block, static_cast<uint16_t>(values.size()));
  block += values;
  block += extra;
  if (block.size() > 0xFFFF) throw PackError("the extra field of " + name + " has no room for its zip64 sizes");
  return block;
}

}  // namespace

std::string ZipWriter::local_header(const Fields& f, const std::string& name, const std::string& extra) const {
  // A local zip64 block holds both sizes.
  std::string values;
  if (f.zip64_local) {
    put64(values, f.uncompressed_size);
    put64(values, f.compressed_size);
  }
  const std::string full_extra = with_zip64_block(values, extra, name);
  std::string h;
  h.reserve(LOCAL_HEADER_SIZE + name.size() + full_extra.size());
  put32(h, LOCAL_HEADER_SIGNATURE);
  put16(h, f.zip64_local ? std::max(f.version_needed, NEEDED_ZIP64) : f.version_needed);
  put16(h, f.flags);
  put16(h, f.method);
  put32(h, f.dos_date_time);
  put32(h, f.crc);
  put32(h, f.zip64_local ? static_cast<uint32_t>(MAX_32) : plain32(f.compressed_size));
  put32(h, f.zip64_local ? static_cast<uint32_t>(MAX_32) : plain32(f.uncompressed_size));
  put16(h, static_cast<uint16_t>(name.size()));
  put16(h, static_cast<uint16_t>(full_extra.size()));
  h += name;
  h += full_extra;
  return h;
}

void ZipWriter::add_central(Fields f, const std::string& name, uint64_t offset, const std::string& extra,
                            const std::string& comment) {
  // The central zip64 block holds just the values that do not fit, in this order.
  std::string values;
  if (f.uncompressed_size >= MAX_32) put64(values, f.uncompressed_size);
  if (f.compressed_size >= MAX_32) put64(values, f.compressed_size);
  if (offset >= MAX_32) put64(values, offset);
  const std::string full_extra = with_zip64_block(values, extra, name);
  if (!values.empty() || f.zip64_local) f.version_needed = std::max(f.version_needed, NEEDED_ZIP64);
  std::string c;
  c.reserve(CENTRAL_ENTRY_SIZE + name.size() + full_extra.size() + comment.size());
  put32(c, CENTRAL_ENTRY_SIGNATURE);
  put16(c, f.version_made_by);
  put16(c, f.version_needed);
  put16(c, f.flags);
  put16(c, f.method);
  put32(c, f.dos_date_time);
  put32(c, f.crc);
  put32(c, plain32(f.compressed_size));
  put32(c, plain32(f.uncompressed_size));
  put16(c, static_cast<uint16_t>(name.size()));
  put16(c, static_cast<uint16_t>(full_extra.size()));
  put16(c, static_cast<uint16_t>(comment.size()));
  put16(c, 0);  // disk number
  put16(c, f.internal_attributes);
  put32(c, f.external_attributes);
  put32(c, plain32(offset));
  c += name;
  c += full_extra;
  c += comment;
  central_.push_back(std::move(c));
  uncompressed_total_ += f.uncompressed_size;
}

void ZipWriter::write(const char* data, size_t n) {
  out_.write(data, static_cast<std::streamsize>(n));
  if (!out_) throw PackError("cannot write the output file (is the disk full?)");
  position_ += n;
}

void ZipWriter::write(const std::string& bytes) { write(bytes.data(), bytes.size()); }

void ZipWriter::add_directory(const std::string& name, uint32_t permissions, DosTime time) {
  check_name(name);
  const Fields f = own_fields(name, true, permissions, time);
  const uint64_t offset = position_;
  write(local_header(f, name, ""));
  add_central(f, name, offset, "", "");
}

uint64_t ZipWriter::write_data(const fs::path& source, bool deflate, bool report, uint32_t& crc,
                               uint64_t& written) {
  std::ifstream in(source, std::ios::binary);
  if (!in) throw PackError("cannot open " + source.string());
  std::unique_ptr<char[]> input(new char[BLOCK]);
  std::unique_ptr<char[]> output(new char[BLOCK]);
  ZStream z;
  if (deflate) {
    if (deflateInit2(&z.z, options_.level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw PackError("out of memory");
    }
    z.open = true;
  }
  uLong running = crc32(0, nullptr, 0);
  uint64_t read_total = 0;
  written = 0;
  for (bool last = false; !last;) {
    in.read(input.get(), BLOCK);
    const size_t n = static_cast<size_t>(in.gcount());
    if (in.bad()) throw PackError("cannot read " + source.string());
    last = in.eof();
    read_total += n;
    running = crc32(running, reinterpret_cast<const Bytef*>(input.get()), static_cast<uInt>(n));
    if (report && options_.on_data) options_.on_data(n);
    if (!deflate) {
      write(input.get(), n);
      written += n;
      continue;
    }
    z.z.next_in = reinterpret_cast<Bytef*>(input.get());
    z.z.avail_in = static_cast<uInt>(n);
    int rc;
    do {
      z.z.next_out = reinterpret_cast<Bytef*>(output.get());
      z.z.avail_out = static_cast<uInt>(BLOCK);
      rc = ::deflate(&z.z, last ? Z_FINISH : Z_NO_FLUSH);
      if (rc == Z_STREAM_ERROR) throw PackError("compression failed for " + source.string());
      const size_t produced = BLOCK - z.z.avail_out;
      write(output.get(), produced);
      written += produced;
    } while (z.z.avail_out == 0 || (last && rc != Z_STREAM_END));
  }
  crc = static_cast<uint32_t>(running);
  return read_total;
}

void ZipWriter::add_file(const std::string& name, const fs::path& source, uint32_t permissions, DosTime time) {
  check_name(name);
  Fields f = own_fields(name, false, permissions, time);
  const uint64_t offset = position_;
  const bool deflate = options_.level > 0;
  // The local header is written before the data, so its room for zip64
  // sizes is decided by the file's size now. Deflated data that would not
  // be smaller is stored instead, so no size exceeds the file's.
  std::error_code size_error;
  const uintmax_t expected = fs::file_size(source, size_error);
  f.zip64_local = !size_error && expected >= MAX_32;
  f.method = deflate ? METHOD_DEFLATED : METHOD_STORED;
  if (deflate) f.flags |= deflate_level_flags(options_.level);
  // Sizes and CRC are filled in once the data has been written.
  write(local_header(f, name, ""));
  const uint64_t data_start = position_;

  uint32_t crc = 0;
  uint64_t compressed = 0;
  uint64_t size = write_data(source, deflate, true, crc, compressed);
  if (deflate && compressed >= size) {
    // Deflate did not help: store the file instead, over the deflated bytes.
    // The file ends at the archive's real end, so leftovers are cut off later.
    out_.seekp(static_cast<std::streamoff>(data_start));
    position_ = data_start;
    const uint32_t first_crc = crc;
    const uint64_t first_size = size;
    size = write_data(source, false, false, crc, compressed);
    if (size != first_size || crc != first_crc) throw PackError(source.string() + " changed while it was packed");
    f.method = METHOD_STORED;
    f.flags &= static_cast<uint16_t>(~0x0006);
  }
  if (size >= MAX_32 && !f.zip64_local) throw PackError(source.string() + " changed while it was packed");
  f.version_needed = f.method == METHOD_DEFLATED ? NEEDED_DEFLATE : NEEDED_STORED;
  f.crc = crc;
  f.compressed_size = compressed;
  f.uncompressed_size = size;

  const std::string header = local_header(f, name, "");
  out_.seekp(static_cast<std::streamoff>(offset));
  out_.write(header.data(), static_cast<std::streamsize>(header.size()));
  out_.seekp(static_cast<std::streamoff>(position_));
  if (!out_) throw PackError("cannot write the output file");
  add_central(f, name, offset, "", "");
}

void ZipWriter::add_copied(ZipArchive& from, const ArchiveEntry& e) {
  check_name(e.name);
  Fields f;
  f.version_made_by = e.version_made_by;
  f.version_needed = e.version_needed;
  // Sizes and CRC are known from the central directory, so a data
  // descriptor is dropped and the local header carries them itself.
  f.flags = static_cast<uint16_t>(e.flags & ~FLAG_DATA_DESCRIPTOR);
  f.method = e.method;
  f.dos_date_time = e.dos_date_time;
  f.crc = e.crc;
  f.compressed_size = e.compressed_size;
  f.uncompressed_size = e.uncompressed_size;
  f.internal_attributes = e.internal_attributes;
  f.external_attributes = e.external_attributes;
  std::string local_extra = from.local_part(e).extra;
  std::string central_extra = e.central_extra;
  if (options_.source_date_epoch) {
    f.dos_date_time = clamp_dos_time(f.dos_date_time, *options_.source_date_epoch);
    clamp_extra_field_times(local_extra, *options_.source_date_epoch);
    clamp_extra_field_times(central_extra, *options_.source_date_epoch);
  }
  const uint64_t offset = position_;
  write(local_header(f, e.name, local_extra));
  from.copy_raw(e, out_);
  if (!out_) throw PackError("cannot write the output file (is the disk full?)");
  position_ += e.compressed_size;
  if (options_.on_data) options_.on_data(e.compressed_size);
  add_central(f, e.name, offset, central_extra, e.comment);
}

void ZipWriter::write_end_records(uint64_t cd_offset, uint64_t cd_size, const std::string& comment) {
  const uint64_t count = central_.size();
  const bool zip64 = count > MAX_ENTRIES || cd_size >= MAX_32 || cd_offset >= MAX_32;
  std::string end;
  if (zip64) {
    // The zip64 end record and its locator, whose offset counts from the
    // start of the file like every other offset written here.
    const uint64_t record_offset = position_;
    put32(end, ZIP64_END_RECORD_SIGNATURE);
    put64(end, ZIP64_END_RECORD_SIZE - 12);  // the record after this field
    put16(end, static_cast<uint16_t>((options_.unix_host ? HOST_UNIX : HOST_FAT) << 8 | NEEDED_ZIP64));
    put16(end, NEEDED_ZIP64);
    put32(end, 0);  // this disk
    put32(end, 0);  // disk with the central directory
    put64(end, count);
    put64(end, count);
    put64(end, cd_size);
    put64(end, cd_offset);
    put32(end, ZIP64_LOCATOR_SIGNATURE);
    put32(end, 0);  // disk with the zip64 end record
    put64(end, record_offset);
    put32(end, 1);  // disks in all
  }
  const uint16_t plain_count = count > MAX_ENTRIES ? MAX_16 : static_cast<uint16_t>(count);
  put32(end, END_RECORD_SIGNATURE);
  put16(end, 0);  // this disk
  put16(end, 0);  // disk with the central directory
  put16(end, plain_count);
  put16(end, plain_count);
  put32(end, plain32(cd_size));
  put32(end, plain32(cd_offset));
  put16(end, static_cast<uint16_t>(comment.size()));
  end += comment;
  write(end);
}

uint64_t ZipWriter::finish(const std::string& comment) {
  const uint64_t cd_offset = position_;
  uint64_t cd_size = 0;
  for (const std::string& c : central_) {
    write(c);
    cd_size += c.size();
  }
  write_end_records(cd_offset, cd_size, comment);
  out_.flush();
  if (!out_) throw PackError("cannot write the output file (is the disk full?)");
  return position_;
}

}  // namespace sfxpack
