// A record appended by the writer reads back field for field, both by the
// layout's own rules and through the uninstaller's reader, and leaves the
// program bytes before it untouched.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/code_page.h"
#include "record_writer.h"
#include "sample_record.h"
#include "uninstall_info.h"

namespace {

// The reading rules, independently: the last 17 bytes are a big-endian
// offset and the marker; the text runs from the offset to the trailer and
// splits like strtok(","), so runs of commas separate and leading ones
// vanish.
std::optional<std::vector<std::string>> ReadBack(const std::string& image, std::string& program) {
  if (image.size() < 17 || image.compare(image.size() - 13, 13, "qel-installer") != 0) return std::nullopt;
  size_t p = image.size() - 17;
  uint32_t o = 0;
  for (size_t i = 0; i < 4; ++i) o = (o << 8) | static_cast<unsigned char>(image[p + i]);
  if (o > p || p - o > 4095) return std::nullopt;
  program = image.substr(0, o);
  std::string text = image.substr(o, p - o);
  std::vector<std::string> fields;
  char* save = nullptr;
  for (char* t = strtok_r(text.data(), ",", &save); t; t = strtok_r(nullptr, ",", &save)) fields.emplace_back(t);
  if (fields.size() < 12) return std::nullopt;
  return fields;
}

std::string FakeProgram() {
  std::string p = "MZ\x90";
  for (int i = 0; i < 3000; ++i) p.push_back(static_cast<char>(i * 7));
  return p;
}

}  // namespace

TEST(RecordRoundTrip, FieldsReadBackByTheLayoutAndByTheUninstaller) {
  uninstall_record::Record r = SampleRecord();
  // Texts at their limits, and characters that are no separators.
  r[uninstall_record::InstallDir] = "D:\\" + std::string(252, 'd');
  r[uninstall_record::VersionUpdate] = "12345678901";
  r[uninstall_record::StartMenuFolder] = "Qel; \"quoted\" \xC3\xA9t\xC3\xA9 \\ end ";
  std::string image, error;
  ASSERT_TRUE(uninstall_record::AppendRecord(FakeProgram(), r, false, image, error)) << error;

  std::string program;
  auto fields = ReadBack(image, program);
  ASSERT_TRUE(fields);
  EXPECT_EQ(program, FakeProgram());
  // The record holds the ANSI form; the uninstaller reads UTF-8 back.
  for (size_t i = 0; i < 12; ++i)
    EXPECT_EQ((*fields)[i], platform::code_page().utf8_to_ansi(r[i])) << uninstall_record::FieldName(i);

  std::optional<UninstallInfo> info = ParseUninstallImage(image);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->ProductName, r[uninstall_record::ProductName]);
  EXPECT_EQ(info->InstallDir, r[uninstall_record::InstallDir]);
  EXPECT_EQ(info->PublicJreDir, r[uninstall_record::PublicJreDir]);
  EXPECT_EQ(info->VersionMajor, "1");
  EXPECT_EQ(info->VersionMinor, "4");
  EXPECT_EQ(info->VersionMicro, "2");
  EXPECT_EQ(info->VersionUpdate, "12345678901");
  EXPECT_EQ(info->FullVersion, "1.4.2_02");
  EXPECT_TRUE(info->IsJre);
  EXPECT_FALSE(info->Integrated);
  EXPECT_EQ(info->StartMenuFolder, r[uninstall_record::StartMenuFolder]);
  EXPECT_EQ(info->UninstallKey, r[uninstall_record::UninstallKey]);
}

TEST(RecordRoundTrip, ReplacingARecordDropsTheOldOne) {
  std::string first, second, error;
  ASSERT_TRUE(uninstall_record::AppendRecord(FakeProgram(), SampleRecord(), false, first, error));
  uninstall_record::Record r = SampleRecord();
  r[uninstall_record::ProductName] = "Second";
  EXPECT_FALSE(uninstall_record::AppendRecord(first, r, false, second, error));
  EXPECT_NE(error.find("already carries an uninstall record"), std::string::npos) << error;
  ASSERT_TRUE(uninstall_record::AppendRecord(first, r, true, second, error)) << error;
  std::string program;
  ASSERT_TRUE(ReadBack(second, program));
  EXPECT_EQ(program, FakeProgram());
  EXPECT_EQ(ParseUninstallImage(second)->ProductName, "Second");
  EXPECT_EQ(uninstall_record::RecordOffset(second), static_cast<int64_t>(FakeProgram().size()));
  EXPECT_EQ(uninstall_record::RecordOffset(FakeProgram()), -1);
}
