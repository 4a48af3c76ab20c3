// The uninstall record: what one installed copy of the product is and where
// it lives. The product's installer appends it to its copy of `uninstall`;
// every stage of a removal reads its values from here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The twelve fields in record order. Texts are byte strings in the ANSI code
// page; `InstallDir` has no trailing separator.
struct UninstallInfo {
  std::string ProductName;      // shown in the confirmation, result and log texts
  std::string InstallDir;       // the tree removed; base of the jvm, bin and script paths
  std::string PublicJreDir;     // kept, unused by the removal
  std::string VersionMajor;     // "1"
  std::string VersionMinor;     // "4"; with the major number the version family "1.4"
  std::string VersionMicro;     // kept, unused by the removal
  std::string VersionUpdate;    // kept, unused by the removal
  std::string FullVersion;      // "1.4.2_02": version key name, helper library argument
  bool IsJre = false;           // field "1": a runtime only; else a kit with its runtime in jre
  bool Integrated = true;       // field "1": integrated through the helper library
  std::string StartMenuFolder;  // relative to the all-users programs folder
  std::string UninstallKey;     // "HKEY_LOCAL_MACHINE\SOFTWARE\...\Uninstall\<name>"
};

// The values in force before a record is read, and kept when none can be.
UninstallInfo DefaultUninstallInfo();

// Trailer that ends a program file carrying a record: the record's offset
// as 4 bytes big-endian, then this marker as the file's last bytes.
inline constexpr std::string_view kUninstallMarker = "qel-installer";
inline constexpr size_t kUninstallTrailerSize = kUninstallMarker.size() + 4;
// The longest record text the reader accepts.
inline constexpr size_t kUninstallTextLimit = 4095;
// Field limits: names and paths, and the short version and flag fields.
inline constexpr size_t kUninstallLongFieldLimit = 255;
inline constexpr size_t kUninstallShortFieldLimit = 11;

// Parses the record text (the bytes between the offset and the trailer).
// Fields are separated by runs of commas (leading commas are skipped, so no
// field is ever empty); tokens after the twelfth are ignored. Nothing when
// fewer than twelve fields are found or a field exceeds its limit.
std::optional<UninstallInfo> ParseUninstallText(std::string_view text);

// Parses a whole program file image: trailer, offset, text. Nothing when the
// trailer is missing or inconsistent, or the text cannot be parsed.
std::optional<UninstallInfo> ParseUninstallImage(std::string_view image);

// Reads the record appended to the program file at `path` into `info`.
// On failure `info` is left unchanged and the result is false; no message.
bool ReadUninstallInfoFrom(const std::string& path, UninstallInfo& info);
// The same for the running program's own file.
bool ReadUninstallInfo(UninstallInfo& info);
