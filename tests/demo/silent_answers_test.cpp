// Guards the reading of the silent-installation answer file: the path in
// <installdir> with entities decoded and blanks trimmed, and a clear reason
// for every file that names no directory.
#include <gtest/gtest.h>

#include "silent_xml.h"

namespace {

TEST(SilentAnswers, InstallDirIsDecodedAndTrimmed) {
  const auto a = qelinst::parse_silent_xml(
      "<?xml version=\"1.0\"?>\n<installation>\n  <installdir>\n   /opt/Q&amp;A &#x263A; &#65;&lt;&gt;  </installdir>\n"
      "  <installdir>/second</installdir>\n</installation>\n");
  ASSERT_TRUE(a.install_dir) << *a.error;
  EXPECT_EQ(*a.install_dir, "/opt/Q&A \xe2\x98\xba A<>");
}

TEST(SilentAnswers, EveryUnusableFileHasItsReason) {
  const struct {
    const char* document;
    const char* reason;
  } cases[] = {
      {"<installation/>", "it has no <installdir> element"},
      {"<installdir>/opt/x", "its <installdir> element is not closed"},
      {"<installdir>  </installdir>", "its <installdir> element is empty"},
      {"<installdir>/opt/&nbsp;</installdir>", "unknown or malformed entity"},
      {"<installdir>/opt/&#0;</installdir>", "unknown or malformed entity"},
      {"<installdir>/opt/&amp</installdir>", "unknown or malformed entity"},
      {"<installdir><path>/opt</path></installdir>", "holds markup instead of a path"},
  };
  for (const auto& c : cases) {
    const auto a = qelinst::parse_silent_xml(c.document);
    EXPECT_FALSE(a.install_dir) << c.document;
    ASSERT_TRUE(a.error) << c.document;
    EXPECT_NE(a.error->find(c.reason), std::string::npos) << c.document << ": " << *a.error;
  }
}

}  // namespace
