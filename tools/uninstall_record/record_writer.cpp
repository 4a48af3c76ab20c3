// The writer of the uninstall record (record_writer.h).
#include "record_writer.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace uninstall_record {
namespace {

// The offset field has 32 bits.
constexpr uint64_t kMaxOffset = 0xFFFFFFFFu;

constexpr const char* kFieldNames[kFieldCount] = {
    "ProductName",  "InstallDir",  "PublicJreDir", "VersionMajor", "VersionMinor",    "VersionMicro",
    "VersionUpdate", "FullVersion", "IsJre",        "Integrated",   "StartMenuFolder", "UninstallKey",
};

bool ReadFile(const std::string& path, std::string& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

}  // namespace

const char* FieldName(size_t field) { return field < kFieldCount ? kFieldNames[field] : "?"; }

size_t FieldLimit(size_t field) {
  return (field <= PublicJreDir || field >= StartMenuFolder) ? 255 : 11;
}

std::string CheckRecord(const Record& record) {
  for (size_t i = 0; i < kFieldCount; ++i) {
    const std::string& f = record[i];
    const std::string name = FieldName(i);
    if (f.empty()) return name + " is empty; the uninstaller drops empty fields and would read the record wrongly";
    if (f.find(',') != std::string::npos)
      return name + " contains a comma (\"" + f + "\"); commas separate the fields of the record";
    if (f.find('\0') != std::string::npos) return name + " contains a zero byte";
    if (f.size() > FieldLimit(i))
      return name + " is " + std::to_string(f.size()) + " bytes long; at most " + std::to_string(FieldLimit(i)) +
             " are allowed";
  }
  std::string text = RecordText(record);
  if (text.size() > kTextLimit)
    return "the record is " + std::to_string(text.size()) + " bytes long; at most " + std::to_string(kTextLimit) +
           " are allowed";
  return "";
}

std::string RecordText(const Record& record) {
  std::string text;
  for (size_t i = 0; i < kFieldCount; ++i) {
    if (i) text.push_back(',');
    text += record[i];
  }
  return text;
}

int64_t RecordOffset(std::string_view image) {
  if (image.size() < kTrailerSize || image.substr(image.size() - kMarker.size()) != kMarker) return -1;
  size_t p = image.size() - kTrailerSize;
  uint64_t o = 0;
  for (size_t i = 0; i < 4; ++i) o = (o << 8) | static_cast<unsigned char>(image[p + i]);
  if (o > p) return -1;
  return static_cast<int64_t>(o);
}

bool AppendRecord(std::string_view image, const Record& record, bool replace, std::string& out,
                  std::string& error) {
  error = CheckRecord(record);
  if (!error.empty()) return false;
  int64_t old = RecordOffset(image);
  if (old >= 0) {
    if (!replace) {
      error = "the program already carries an uninstall record (replace it with --replace)";
      return false;
    }
    image = image.substr(0, static_cast<size_t>(old));
  }
  const uint64_t size = image.size();
  if (size > kMaxOffset) {
    error = "the program is larger than 4 GiB; the record's offset has 32 bits";
    return false;
  }
  const uint32_t offset = static_cast<uint32_t>(image.size());
  out.assign(image);
  out += RecordText(record);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((offset >> shift) & 0xFF));
  out += kMarker;
  return true;
}

bool AppendRecordToFile(const std::string& program, const std::string& output, const Record& record,
                        bool replace, std::string& error) {
  std::string image;
  if (!ReadFile(program, image, error)) return false;
  std::string result;
  if (!AppendRecord(image, record, replace, result, error)) return false;

  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target(output);
  fs::path temp = target;
  temp += ".record-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(result.data(), static_cast<std::streamsize>(result.size()));
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      error = "cannot write " + temp.string();
      return false;
    }
  }
  // The copy must stay runnable: it gets the program's permissions.
  fs::permissions(temp, fs::status(program, ec).permissions(), ec);
  if (ec) {
    fs::remove(temp, ec);
    error = "cannot set the permissions of " + temp.string();
    return false;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    error = "cannot replace " + output + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace uninstall_record
