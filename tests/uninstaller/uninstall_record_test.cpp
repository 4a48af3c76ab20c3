// The record reader accepts exactly the appended layout and the tokeniser's
// rule, and turns anything else into "no record" without touching the values.
#include <gtest/gtest.h>

#include "record_image.h"
#include "uninstall_info.h"

namespace {

constexpr char kProgramBytes[] = "MZ\x90\0program bytes, with, commas";
const std::string kProgram(kProgramBytes, sizeof kProgramBytes - 1);

RecordFields Sample() {
  RecordFields f;
  f.install_dir = "C:\\Program Files\\Tarvik\\j2re1.4.2_02";
  return f;
}

}  // namespace

TEST(UninstallRecord, ReadsAllTwelveFields) {
  RecordFields f = Sample();
  f.is_jre = "1";
  f.integrated = "1";
  auto info = ParseUninstallImage(AppendRecord(kProgram, f.Text()));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->ProductName, f.product);
  EXPECT_EQ(info->InstallDir, f.install_dir);
  EXPECT_EQ(info->PublicJreDir, f.public_jre);
  EXPECT_EQ(info->VersionMajor, "1");
  EXPECT_EQ(info->VersionMinor, "4");
  EXPECT_EQ(info->VersionMicro, "2");
  EXPECT_EQ(info->VersionUpdate, "02");
  EXPECT_EQ(info->FullVersion, "1.4.2_02");
  EXPECT_TRUE(info->IsJre);
  EXPECT_TRUE(info->Integrated);
  EXPECT_EQ(info->StartMenuFolder, f.start_menu);
  EXPECT_EQ(info->UninstallKey, f.uninstall_key);
}

TEST(UninstallRecord, RejectsMissingOrDamagedTrailer) {
  std::string good = AppendRecord(kProgram, Sample().Text());
  EXPECT_FALSE(ParseUninstallImage(kProgram));
  EXPECT_FALSE(ParseUninstallImage(""));
  EXPECT_FALSE(ParseUninstallImage(AppendRecord(kProgram, Sample().Text(), -1, "qel-installes")));
  EXPECT_FALSE(ParseUninstallImage(AppendRecord(kProgram, Sample().Text(), -1, "Qel-installer")));
  EXPECT_FALSE(ParseUninstallImage(good + "\n"));
  EXPECT_FALSE(ParseUninstallImage(good + std::string(1, '\0')));
  EXPECT_TRUE(ParseUninstallImage(good));
}

TEST(UninstallRecord, RejectsOffsetsThatCannotHoldTheText) {
  std::string text = Sample().Text();
  // Past the trailer.
  EXPECT_FALSE(ParseUninstallImage(AppendRecord(kProgram, text, kProgram.size() + text.size() + 1)));
  EXPECT_FALSE(ParseUninstallImage(AppendRecord(kProgram, text, 0xFFFFFFFF)));
  // A text over 4095 bytes, even with valid fields.
  std::string padding(4096, ',');
  EXPECT_FALSE(ParseUninstallImage(AppendRecord(kProgram, padding + text)));
  EXPECT_TRUE(ParseUninstallImage(AppendRecord(kProgram, std::string(4095 - text.size(), ',') + text)));
}

TEST(UninstallRecord, FieldsBeyondTheirLimitsAreNoRecord) {
  RecordFields f = Sample();
  f.product = std::string(255, 'p');
  f.full_version = std::string(11, '9');
  EXPECT_TRUE(ParseUninstallText(f.Text()));
  f.product = std::string(256, 'p');
  EXPECT_FALSE(ParseUninstallText(f.Text()));
  f = Sample();
  f.full_version = std::string(12, '9');
  EXPECT_FALSE(ParseUninstallText(f.Text()));
}

TEST(UninstallRecord, TokenizerMergesCommasAndDropsEmptyFields) {
  RecordFields f = Sample();
  // Leading commas vanish; a double comma makes no empty field.
  auto info = ParseUninstallText(",,," + f.Text());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->ProductName, f.product);

  // An empty field shifts the rest left; losing the twelfth rejects it.
  f.public_jre = "";
  f.start_menu = "Tarvik";  // short enough to shift into a flag field
  EXPECT_FALSE(ParseUninstallText(f.Text()));
  // With a thirteenth token the shift is visible instead.
  auto shifted = ParseUninstallText(f.Text() + ",extra");
  ASSERT_TRUE(shifted);
  EXPECT_EQ(shifted->PublicJreDir, "1");
  EXPECT_EQ(shifted->StartMenuFolder, f.uninstall_key);
  EXPECT_EQ(shifted->UninstallKey, "extra");

  // Tokens after the twelfth are ignored; a trailing line break stays.
  auto more = ParseUninstallText(Sample().Text() + "\r\n,thirteen,fourteen");
  ASSERT_TRUE(more);
  EXPECT_EQ(more->UninstallKey, Sample().uninstall_key + "\r\n");
}

TEST(UninstallRecord, ElevenFieldsAreNoRecord) {
  std::string text = Sample().Text();
  text = text.substr(0, text.rfind(','));
  EXPECT_FALSE(ParseUninstallText(text));
}

TEST(UninstallRecord, FlagsAreExactlyOne) {
  for (const char* value : {"true", "01", "1 ", " 1", "", "2"}) {
    RecordFields f = Sample();
    f.is_jre = value[0] ? value : "x";
    f.integrated = value[0] ? value : "x";
    auto info = ParseUninstallText(f.Text());
    ASSERT_TRUE(info) << value;
    EXPECT_FALSE(info->IsJre) << value;
    EXPECT_FALSE(info->Integrated) << value;
  }
}

TEST(UninstallRecord, DefaultsStayWhenTheFileHasNoRecord) {
  UninstallInfo info = DefaultUninstallInfo();
  EXPECT_EQ(info.ProductName, "Qel Lumenar Tarvik 1.4.2_02 SDK");
  EXPECT_EQ(info.InstallDir, "c:\\tarvik-r2azu1.4.2_02");
  EXPECT_FALSE(info.IsJre);
  EXPECT_TRUE(info.Integrated);
  // The test program itself carries no record.
  EXPECT_FALSE(ReadUninstallInfo(info));
  EXPECT_EQ(info.ProductName, "Qel Lumenar Tarvik 1.4.2_02 SDK");
  EXPECT_FALSE(ReadUninstallInfoFrom("/nonexistent/uninstall", info));
}
