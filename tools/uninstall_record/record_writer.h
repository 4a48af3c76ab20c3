// The writer of the uninstall record: what an installer appends to its copy
// of `uninstall` so that the uninstaller knows what to remove. The layout is
// the one the uninstaller reads back: the program as shipped, the twelve
// fields joined by ",", the 4-byte big-endian offset of that text and the
// marker "qel-installer" as the file's last bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace uninstall_record {

inline constexpr size_t kFieldCount = 12;
inline constexpr std::string_view kMarker = "qel-installer";
inline constexpr size_t kTrailerSize = kMarker.size() + 4;
inline constexpr size_t kTextLimit = 4095;

// The fields in record order, named as the uninstaller names them.
enum Field : size_t {
  ProductName,
  InstallDir,
  PublicJreDir,
  VersionMajor,
  VersionMinor,
  VersionMicro,
  VersionUpdate,
  FullVersion,
  IsJre,       // "1" for a runtime only, anything else for a kit
  Integrated,  // "1" when installed with the helper library's integration
  StartMenuFolder,
  UninstallKey,  // "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<name>"
};

using Record = std::array<std::string, kFieldCount>;

// "ProductName", ...
const char* FieldName(size_t field);
// The longest text the reader takes in a field: 255 bytes for names and
// paths, 11 for version parts and flags.
size_t FieldLimit(size_t field);

// Why the uninstaller could not read `record` back exactly, or would refuse
// it, or an empty text when neither: an empty field, a comma, a zero byte
// or another control character in a field (the reader splits at commas and
// drops empty fields), a field over its limit, a text over kTextLimit bytes;
// an InstallDir that is not a plain absolute path (POSIX or Windows form)
// without a trailing separator and without empty, "." or ".." steps; a
// StartMenuFolder that is not a plain relative name; IsJre or Integrated
// other than "0" or "1"; an UninstallKey not of the form HKEY_<ROOT>\<path>.
std::string CheckRecord(const Record& record);

// The record text, the fields joined by "," and in the ANSI code page.
std::string RecordText(const Record& record);

// The offset of the record text when `image` (a whole program file) ends
// with a trailer, or -1 when it carries none.
int64_t RecordOffset(std::string_view image);

// The program file `image` with `record` appended. False with `error` set
// when the record cannot be read back, the image already carries a record
// (unless `replace`, which drops the old one first), or the image is too
// large for the 32-bit offset.
bool AppendRecord(std::string_view image, const Record& record, bool replace, std::string& out,
                  std::string& error);

// A path text (UTF-8, as all the project's texts; bytes on POSIX) as a
// path for the C++ file functions, and back. The record itself is written
// in the ANSI code page (RecordText), which the uninstaller reads.
std::filesystem::path PathOf(const std::string& text);
std::string PathText(const std::filesystem::path& path);

// Reads `program`, appends the record and writes the result to `output`
// (which may be `program` itself) through a temporary file in the same
// directory that replaces it whole, keeping the program's permissions. On
// any failure nothing is changed and `error` says why.
bool AppendRecordToFile(const std::string& program, const std::string& output, const Record& record,
                        bool replace, std::string& error);

}  // namespace uninstall_record
