// The record's paths tidied as the platform reads them: separators merged,
// "." steps and trailing separators dropped, ".." and relative paths
// refused. On POSIX a backslash is part of a name; on Windows it separates,
// and so does '/'.
#include <gtest/gtest.h>

#include "path_text.h"
#include "platform/file_system.h"

namespace {

bool OnWindows() { return platform::file_system().path_separator() == '\\'; }

std::string Absolute(const std::string& text) {
  std::string out;
  PathText t = TidyAbsolutePath(text, out);
  return t == PathText::ok ? out : "<" + std::to_string(static_cast<int>(t)) + ">";
}

std::string Relative(const std::string& text) {
  std::string out;
  PathText t = TidyRelativeName(text, out);
  return t == PathText::ok ? out : "<" + std::to_string(static_cast<int>(t)) + ">";
}

const std::string kEmpty = "<1>", kRelative = "<2>", kAbsolute = "<3>", kParent = "<4>";

}  // namespace

TEST(PathText, AbsolutePathsAreTidiedOrRefused) {
  EXPECT_EQ(Absolute(""), kEmpty);
  EXPECT_EQ(Absolute("relinst"), kRelative);
  EXPECT_EQ(Absolute("./x"), kRelative);
  if (!OnWindows()) {
    EXPECT_EQ(Absolute("/x/link/"), "/x/link");
    EXPECT_EQ(Absolute("/x/link/."), "/x/link");
    EXPECT_EQ(Absolute("//x///./y//"), "/x/y");
    EXPECT_EQ(Absolute("/"), "/");
    EXPECT_EQ(Absolute("/x/../y"), kParent);
    EXPECT_EQ(Absolute("/x\\..\\y"), "/x\\..\\y");
    EXPECT_EQ(Absolute("C:\\x"), kRelative);
  } else {
    EXPECT_EQ(Absolute("C:\\x\\link\\"), "C:\\x\\link");
    EXPECT_EQ(Absolute("C:/x//./link/."), "C:\\x\\link");
    EXPECT_EQ(Absolute("C:\\"), "C:\\");
    EXPECT_EQ(Absolute("\\\\srv\\share\\x\\"), "\\\\srv\\share\\x");
    EXPECT_EQ(Absolute("\\\\srv"), kEmpty);
    EXPECT_EQ(Absolute("C:x"), kRelative);
    EXPECT_EQ(Absolute("\\x"), kRelative);
    EXPECT_EQ(Absolute("C:\\x\\..\\y"), kParent);
  }
}

TEST(PathText, RelativeNamesAreTidiedOrRefused) {
  EXPECT_EQ(Relative("Qel Tarvik 1.4/"), "Qel Tarvik 1.4");
  EXPECT_EQ(Relative("./Qel//Docs/."), OnWindows() ? "Qel\\Docs" : "Qel/Docs");
  EXPECT_EQ(Relative("."), kEmpty);
  EXPECT_EQ(Relative(""), kEmpty);
  EXPECT_EQ(Relative("Docs/.."), kParent);
  EXPECT_EQ(Relative("/etc"), kAbsolute);
  if (OnWindows()) {
    EXPECT_EQ(Relative("C:x"), kAbsolute);
    EXPECT_EQ(Relative("\\x"), kAbsolute);
  }
}
