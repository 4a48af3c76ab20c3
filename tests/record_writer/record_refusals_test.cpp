// The writer refuses every record the uninstaller could not read back
// exactly, and says which field is at fault.
#include <gtest/gtest.h>

#include <string>

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
