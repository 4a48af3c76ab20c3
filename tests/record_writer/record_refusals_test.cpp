// The writer refuses every record the uninstaller could not read back
// exactly or would refuse to act on, and says which field is at fault.
#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"
#include "record_writer.h"
#include "sample_record.h"

namespace {

std::string Refusal(size_t field, const std::string& text) {
  uninstall_record::Record r = SampleRecord();
  r[field] = text;
  std::string out, error;
  EXPECT_FALSE(uninstall_record::AppendRecord("program", r, false, out, error)) << text;
  EXPECT_TRUE(out.empty());
  return error;
}

}  // namespace

TEST(RecordRefusals, UnreadableFieldsAreNamed) {
  EXPECT_EQ(Refusal(uninstall_record::InstallDir, "C:\\a,b"),
            "InstallDir contains a comma (\"C:\\a,b\"); commas separate the fields of the record");
  EXPECT_EQ(Refusal(uninstall_record::PublicJreDir, ""),
            "PublicJreDir is empty; the uninstaller drops empty fields and would read the record wrongly");
  EXPECT_EQ(Refusal(uninstall_record::ProductName, std::string(256, 'p')),
            "ProductName is 256 bytes long; at most 255 are allowed");
  EXPECT_EQ(Refusal(uninstall_record::FullVersion, "1.4.2_02-beta"),
            "FullVersion is 13 bytes long; at most 11 are allowed");
  EXPECT_EQ(Refusal(uninstall_record::UninstallKey, std::string("a\0b", 3)), "UninstallKey contains a zero byte");
  // Leading and trailing commas would vanish too.
  EXPECT_NE(Refusal(uninstall_record::UninstallKey, "HKLM\\x,").find("comma"), std::string::npos);

  std::string out, error;
  EXPECT_TRUE(uninstall_record::AppendRecord("program", SampleRecord(), false, out, error)) << error;
  EXPECT_EQ(uninstall_record::CheckRecord(SampleRecord()), "");
}

TEST(RecordRefusals, WhatTheUninstallerWouldRefuseIsRefusedHere) {
  using uninstall_record::InstallDir;
  for (const char* dir : {"relinst", "opt\\x", "C:relative", "\\rooted-on-the-current-drive"})
    EXPECT_NE(Refusal(InstallDir, dir).find("must be an absolute path"), std::string::npos) << dir;
  for (const char* dir : {"/opt/x/", "C:\\x\\", "C:\\x/", "/"})
    EXPECT_NE(Refusal(InstallDir, dir).find("ends with a separator"), std::string::npos) << dir;
  for (const char* dir : {"/opt/./x", "/opt//x", "/opt/x/..", "C:\\a\\..\\b", "\\\\server"})
    EXPECT_NE(Refusal(InstallDir, dir).find("step"), std::string::npos) << dir;
  EXPECT_EQ(Refusal(InstallDir, "/opt/x\ny"),
            "InstallDir contains a control character (byte 10); no path or name holds one");
  EXPECT_NE(Refusal(uninstall_record::ProductName, "Tab\there").find("control character (byte 9)"), std::string::npos);

  for (const char* folder : {"/abs", "\\abs", "C:x", "a/", "a//b", "..", "a\\..\\b", "."})
    EXPECT_NE(Refusal(uninstall_record::StartMenuFolder, folder).find("relative name"), std::string::npos) << folder;

  EXPECT_EQ(Refusal(uninstall_record::IsJre, "yes"), "IsJre must be 0 or 1, not \"yes\"");
  EXPECT_EQ(Refusal(uninstall_record::Integrated, "01"), "Integrated must be 0 or 1, not \"01\"");

  for (const char* key : {"SOFTWARE\\Qel", "HKLM\\SOFTWARE\\Qel", "HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\",
                          "HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Qel", "HKEY_local\\SOFTWARE", "HKEY_\\SOFTWARE"})
    EXPECT_NE(Refusal(uninstall_record::UninstallKey, key).find("UninstallKey must be"), std::string::npos) << key;

  // The forms an installer writes pass.
  uninstall_record::Record r = SampleRecord();
  for (const char* dir : {"/opt/tarvik-1.4.2_02", "C:\\Program Files\\Tarvik", "\\\\server\\share\\tarvik",
                          "C:/Program Files/Tarvik", "/opt/caf\xc3\xa9 %PATH%"}) {
    r[InstallDir] = dir;
    EXPECT_EQ(uninstall_record::CheckRecord(r), "") << dir;
  }
  // The record is in the ANSI code page: a name it cannot write would come
  // back with '?' in it, naming another directory (POSIX: ANSI is UTF-8).
  const std::string russian = "C:\\\xD0\xAE\xD1\x80\xD0\xB8\xD0\xB9";
  r[InstallDir] = russian;
  if (platform::code_page().fits_ansi(russian))
    EXPECT_EQ(uninstall_record::CheckRecord(r), "");
  else
    EXPECT_NE(uninstall_record::CheckRecord(r).find("InstallDir holds a character the ANSI code page cannot write"),
              std::string::npos);
  r[InstallDir] = "C:\\Program Files\\Tarvik";
  r[uninstall_record::StartMenuFolder] = "Qel\\Tarvik 1.4";
  r[uninstall_record::IsJre] = "0";
  EXPECT_EQ(uninstall_record::CheckRecord(r), "");
}
