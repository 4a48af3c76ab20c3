// Reading the uninstall record back from the program file it was appended to.
#include "uninstall_info.h"

#include <array>
#include <cstdint>
#include <vector>

#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace {

// Fields that hold names and paths; the others are short version and flag texts.
bool IsLongField(size_t index) { return index <= 2 || index >= 10; }

}  // namespace

UninstallInfo DefaultUninstallInfo() {
  UninstallInfo info;
  info.ProductName = "Qel Lumenar Tarvik 1.4.2_02 SDK";
  info.InstallDir = "c:\\tarvik-r2azu1.4.2_02";
  info.IsJre = false;
  info.Integrated = true;
  return info;
}

std::optional<UninstallInfo> ParseUninstallText(std::string_view text) {
  // strtok(",") semantics: runs of commas separate, leading commas vanish.
  std::array<std::string_view, 12> fields;
  size_t count = 0;
  size_t pos = 0;
  while (count < fields.size()) {
    pos = text.find_first_not_of(',', pos);
    if (pos == std::string_view::npos) break;
    size_t end = text.find(',', pos);
    if (end == std::string_view::npos) end = text.size();
    fields[count++] = text.substr(pos, end - pos);
    pos = end;
  }
  if (count < fields.size()) return std::nullopt;
  for (size_t i = 0; i < fields.size(); ++i) {
    size_t limit = IsLongField(i) ? kUninstallLongFieldLimit : kUninstallShortFieldLimit;
    if (fields[i].size() > limit) return std::nullopt;
  }
  // The record is in the ANSI code page; its names go on in UTF-8 (the
  // limits above count the record's own bytes).
  platform::CodePage& cp = platform::code_page();
  UninstallInfo info;
  info.ProductName = cp.ansi_to_utf8(fields[0]);
  info.InstallDir = cp.ansi_to_utf8(fields[1]);
  info.PublicJreDir = cp.ansi_to_utf8(fields[2]);
  info.VersionMajor = fields[3];
  info.VersionMinor = fields[4];
  info.VersionMicro = fields[5];
  info.VersionUpdate = fields[6];
  info.FullVersion = fields[7];
  info.IsJre = fields[8] == "1";
  info.Integrated = fields[9] == "1";
  info.StartMenuFolder = cp.ansi_to_utf8(fields[10]);
  info.UninstallKey = cp.ansi_to_utf8(fields[11]);
  return info;
}

namespace {

// Offset O from the trailer at P; nothing when the trailer is not ours or O
// cannot start a record that fits before it.
std::optional<uint64_t> RecordOffset(std::string_view trailer, uint64_t p) {
  if (trailer.size() != kUninstallTrailerSize) return std::nullopt;
  if (trailer.substr(4) != kUninstallMarker) return std::nullopt;
  uint64_t o = 0;
  for (size_t i = 0; i < 4; ++i) o = (o << 8) | static_cast<unsigned char>(trailer[i]);
  if (o > p || p - o > kUninstallTextLimit) return std::nullopt;
  return o;
}

}  // namespace

std::optional<UninstallInfo> ParseUninstallImage(std::string_view image) {
  if (image.size() < kUninstallTrailerSize) return std::nullopt;
  uint64_t p = image.size() - kUninstallTrailerSize;
  std::optional<uint64_t> o = RecordOffset(image.substr(p), p);
  if (!o) return std::nullopt;
  return ParseUninstallText(image.substr(*o, p - *o));
}

bool ReadUninstallInfoFrom(const std::string& path, UninstallInfo& info) {
  platform::FileSystem& fs = platform::file_system();
  platform::File file;
  if (fs.open_read(path, file) != platform::Error::none) return false;
  platform::IoResult size = file.size();
  if (!size.ok() || size.value < static_cast<int64_t>(kUninstallTrailerSize)) return false;
  uint64_t p = static_cast<uint64_t>(size.value) - kUninstallTrailerSize;

  auto read_at = [&](uint64_t offset, size_t n, std::string& out) {
    out.assign(n, '\0');
    if (!file.seek(static_cast<int64_t>(offset)).ok()) return false;
    size_t got = 0;
    while (got < n) {
      platform::IoResult r = file.read(out.data() + got, n - got);
      if (!r.ok() || r.value == 0) return false;
      got += static_cast<size_t>(r.value);
    }
    return true;
  };

  std::string trailer;
  if (!read_at(p, kUninstallTrailerSize, trailer)) return false;
  std::optional<uint64_t> o = RecordOffset(trailer, p);
  if (!o) return false;
  std::string text;
  if (!read_at(*o, static_cast<size_t>(p - *o), text)) return false;
  std::optional<UninstallInfo> parsed = ParseUninstallText(text);
  if (!parsed) return false;
  info = std::move(*parsed);
  return true;
}

bool ReadUninstallInfo(UninstallInfo& info) {
  std::string self;
  if (platform::file_system().program_path(self) != platform::Error::none) return false;
  return ReadUninstallInfoFrom(self, info);
}
