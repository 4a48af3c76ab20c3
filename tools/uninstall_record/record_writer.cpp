// The writer of the uninstall record (record_writer.h).
#include "record_writer.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <type_traits>

#include "platform/code_page.h"

namespace uninstall_record {
namespace {

// The offset field has 32 bits.
constexpr uint64_t kMaxOffset = 0xFFFFFFFFu;

constexpr const char* kFieldNames[kFieldCount] = {
    "ProductName",  "InstallDir",  "PublicJreDir", "VersionMajor", "VersionMinor",    "VersionMicro",
    "VersionUpdate", "FullVersion", "IsJre",        "Integrated",   "StartMenuFolder", "UninstallKey",
};

bool ReadFile(const std::string& path, std::string& out, std::string& error) {
  std::ifstream in(PathOf(path), std::ios::binary);
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

std::string Quoted(const std::string& text) { return "(\"" + text + "\")"; }

// Steps of `path` from `from` on, split at any of `separators`: false when
// one is empty, "." or "..", which the uninstaller would tidy away or
// refuse, so that the record would not say plainly what it removes.
bool PlainSteps(const std::string& path, size_t from, const char* separators) {
  if (from >= path.size()) return false;
  size_t start = from;
  while (start <= path.size()) {
    size_t end = path.find_first_of(separators, start);
    if (end == std::string::npos) end = path.size();
    std::string step = path.substr(start, end - start);
    if (step.empty() || step == "." || step == "..") return false;
    start = end + 1;
  }
  return true;
}

// Why `dir` is not a plain absolute directory path (POSIX "/opt/x", Windows
// "C:\x" or "\\server\share\x"), or "".
std::string InstallDirProblem(const std::string& dir) {
  const std::string name = "InstallDir";
  bool posix = !dir.empty() && dir[0] == '/' && (dir.size() < 2 || dir[1] != '/');
  bool drive = dir.size() >= 3 && std::isalpha(static_cast<unsigned char>(dir[0])) && dir[1] == ':' &&
               (dir[2] == '\\' || dir[2] == '/');
  bool share = dir.size() >= 2 && (dir[0] == '\\' || dir[0] == '/') && (dir[1] == '\\' || dir[1] == '/');
  if (!posix && !drive && !share)
    return name + " must be an absolute path " + Quoted(dir) + "; a relative one would depend on where the uninstaller runs";
  const char* separators = posix ? "/" : "\\/";
  if (std::string(separators).find(dir.back()) != std::string::npos)
    return name + " ends with a separator " + Quoted(dir) + "; write it without one";
  size_t from = posix ? 1 : drive ? 3 : 2;
  if (!PlainSteps(dir, from, separators) || (share && dir.find_first_of(separators, 2) == std::string::npos))
    return name + " has an empty, \".\" or \"..\" step " + Quoted(dir);
  return "";
}

std::string StartMenuProblem(const std::string& folder) {
  bool rooted = folder[0] == '/' || folder[0] == '\\' || (folder.size() >= 2 && folder[1] == ':');
  if (rooted || !PlainSteps(folder, 0, "\\/"))
    return "StartMenuFolder must be a relative name below the programs folder, without empty, \".\" or \"..\" steps " +
           Quoted(folder);
  return "";
}

std::string UninstallKeyProblem(const std::string& key) {
  size_t slash = key.find('\\');
  bool root_ok = key.rfind("HKEY_", 0) == 0 && slash != std::string::npos && slash > 5;
  for (size_t i = 5; root_ok && i < slash; ++i)
    if (!(std::isupper(static_cast<unsigned char>(key[i])) || key[i] == '_')) root_ok = false;
  if (!root_ok || !PlainSteps(key, slash + 1, "\\"))
    return "UninstallKey must be the root key's name and the key's path, HKEY_LOCAL_MACHINE\\SOFTWARE\\... " + Quoted(key);
  return "";
}

}  // namespace

std::filesystem::path PathOf(const std::string& text) {
  // The narrow std::filesystem::path constructor takes the ANSI code page
  // on Windows; our texts are UTF-8.
  if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
  } else {
    return std::filesystem::path(text);
  }
}

std::string PathText(const std::filesystem::path& path) {
  if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  } else {
    return path.string();
  }
}

const char* FieldName(size_t field) { return field < kFieldCount ? kFieldNames[field] : "?"; }

size_t FieldLimit(size_t field) {
  return (field <= PublicJreDir || field >= StartMenuFolder) ? 255 : 11;
}

std::string CheckRecord(const Record& record) {
  platform::CodePage& cp = platform::code_page();
  for (size_t i = 0; i < kFieldCount; ++i) {
    const std::string& f = record[i];
    const std::string name = FieldName(i);
    if (f.empty()) return name + " is empty; the uninstaller drops empty fields and would read the record wrongly";
    if (f.find(',') != std::string::npos)
      return name + " contains a comma (\"" + f + "\"); commas separate the fields of the record";
    if (f.find('\0') != std::string::npos) return name + " contains a zero byte";
    for (char c : f) {
      unsigned char b = static_cast<unsigned char>(c);
      if (b < 32 || b == 127)
        return name + " contains a control character (byte " + std::to_string(b) + "); no path or name holds one";
    }
    // The record is in the ANSI code page, as the uninstaller reads it; a
    // '?' in place of a character would name another path.
    if (!cp.fits_ansi(f))
      return name + " holds a character the ANSI code page cannot write " + Quoted(f) +
             "; the uninstaller reads the record in that code page";
    const size_t size = cp.utf8_to_ansi(f).size();
    if (size > FieldLimit(i))
      return name + " is " + std::to_string(size) + " bytes long; at most " + std::to_string(FieldLimit(i)) +
             " are allowed";
  }
  for (size_t flag : {IsJre, Integrated})
    if (record[flag] != "0" && record[flag] != "1")
      return std::string(FieldName(flag)) + " must be 0 or 1, not \"" + record[flag] + "\"";
  for (const std::string& problem :
       {InstallDirProblem(record[InstallDir]), StartMenuProblem(record[StartMenuFolder]),
        UninstallKeyProblem(record[UninstallKey])})
    if (!problem.empty()) return problem;
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
    text += platform::code_page().utf8_to_ansi(record[i]);
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
  const fs::path target = PathOf(output);
  const std::string temp_text = output + ".record-tmp";
  const fs::path temp = PathOf(temp_text);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(result.data(), static_cast<std::streamsize>(result.size()));
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      error = "cannot write " + temp_text;
      return false;
    }
  }
  // The copy must stay runnable: it gets the program's permissions.
  fs::permissions(temp, fs::status(PathOf(program), ec).permissions(), ec);
  if (ec) {
    fs::remove(temp, ec);
    error = "cannot set the permissions of " + temp_text;
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
