// Test helper: uninstall records in the appended layout (program bytes, the
// comma-separated text, its offset as 4 bytes big-endian, the marker), and
// copies of the built `uninstall` program carrying one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The twelve fields in record order, with a non-integrated JRE as default.
struct RecordFields {
  std::string product = "Qel Tarvik Test JRE 1.4.2_02";
  std::string install_dir;
  std::string public_jre = "/nonexistent/public-jre";
  std::string major = "1", minor = "4", micro = "2", update = "02";
  std::string full_version = "1.4.2_02";
  std::string is_jre = "1";
  std::string integrated = "0";
  std::string start_menu = "Qel Tarvik Test";
  std::string uninstall_key =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qel Tarvik Test";

  std::string Text() const {
    std::vector<std::string> f = {product, install_dir, public_jre, major,     minor,      micro,
                                  update,  full_version, is_jre,   integrated, start_menu, uninstall_key};
    std::string text;
    for (size_t i = 0; i < f.size(); ++i) text += (i ? "," : "") + f[i];
    return text;
  }
};

// `program` followed by `text` and the trailer; `offset` overrides O.
inline std::string AppendRecord(const std::string& program, const std::string& text,
                                int64_t offset = -1, const std::string& marker = "qel-installer") {
  uint32_t o = static_cast<uint32_t>(offset < 0 ? program.size() : offset);
  std::string image = program + text;
  for (int shift = 24; shift >= 0; shift -= 8) image += static_cast<char>((o >> shift) & 0xFF);
  return image + marker;
}

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes, bool executable = false) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  if (executable)
    std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
}

// The built program, as the build names it.
inline std::string BuiltUninstaller() {
#ifdef QEL_UNINSTALL_PROGRAM
  return QEL_UNINSTALL_PROGRAM;
#else
  return "uninstall";
#endif
}

// Writes a copy of the program carrying the record at `path`.
inline void WriteUninstaller(const std::string& path, const RecordFields& fields) {
  std::string program = ReadFileBytes(BuiltUninstaller());
  ASSERT_FALSE(program.empty()) << "no program at " << BuiltUninstaller();
  WriteFileBytes(path, AppendRecord(program, fields.Text()), true);
}
