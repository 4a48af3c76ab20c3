// Fuzz target: a program file that may carry an uninstall record. The
// in-memory parser and the reader that seeks through the file must agree,
// field by field, and every field of an accepted record keeps its limit
// and holds no comma.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "uninstall_info.h"

namespace {

bool SameRecord(const UninstallInfo& a, const UninstallInfo& b) {
  return a.ProductName == b.ProductName && a.InstallDir == b.InstallDir && a.PublicJreDir == b.PublicJreDir &&
         a.VersionMajor == b.VersionMajor && a.VersionMinor == b.VersionMinor && a.VersionMicro == b.VersionMicro &&
         a.VersionUpdate == b.VersionUpdate && a.FullVersion == b.FullVersion && a.IsJre == b.IsJre &&
         a.Integrated == b.Integrated && a.StartMenuFolder == b.StartMenuFolder && a.UninstallKey == b.UninstallKey;
}

void CheckField(const std::string& field, size_t limit) {
  if (field.empty() || field.size() > limit || field.find(',') != std::string::npos) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/qel_fuzz_record_" + std::to_string(::getpid());
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  const std::optional<UninstallInfo> parsed = ParseUninstallImage(image);
  UninstallInfo read = DefaultUninstallInfo();
  const bool was_read = ReadUninstallInfoFrom(path, read);
  if (was_read != parsed.has_value()) __builtin_trap();
  if (!parsed) {
    if (!SameRecord(read, DefaultUninstallInfo())) __builtin_trap();  // left unchanged
    return 0;
  }
  if (!SameRecord(read, *parsed)) __builtin_trap();
  const UninstallInfo& r = *parsed;
  for (const std::string* field : {&r.ProductName, &r.InstallDir, &r.PublicJreDir, &r.StartMenuFolder, &r.UninstallKey})
    CheckField(*field, kUninstallLongFieldLimit);
  for (const std::string* field : {&r.VersionMajor, &r.VersionMinor, &r.VersionMicro, &r.VersionUpdate, &r.FullVersion})
    CheckField(*field, kUninstallShortFieldLimit);
  return 0;
}
