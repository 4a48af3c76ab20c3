// Entry and archive-name patterns match as documented: '*' crosses '/',
// sets with ranges, negation and escapes, and case folding of ASCII and
// Latin-1 capitals.
#include <gtest/gtest.h>

#include "name_match.h"

namespace {

bool m(const char* pattern, const char* name, bool fold = false) { return name_matches(name, pattern, fold); }

TEST(NameMatch, StarCrossesSlashesAndMatchesEverything) {
  EXPECT_TRUE(m("*", "a"));
  EXPECT_TRUE(m("*", "dir/sub/file.txt"));
  EXPECT_TRUE(m("*", ""));
  EXPECT_TRUE(m("*/", "dir/"));
  EXPECT_TRUE(m("*/", "a/b/"));
  EXPECT_FALSE(m("*/", "dir/file"));
  EXPECT_TRUE(m("dir/*.txt", "dir/sub/x.txt"));
  EXPECT_TRUE(m("a*b*c", "aXXbYYc"));
  EXPECT_FALSE(m("a*b*c", "aXXbYY"));
}

TEST(NameMatch, StarNeedsACharacterBeforeTheRestIsTried) {
  // The rest of the pattern is never tried against the empty end of the name.
  EXPECT_FALSE(m("**", ""));
  EXPECT_TRUE(m("**", "x"));
  EXPECT_FALSE(m("a**", "a"));
  EXPECT_TRUE(m("a**", "ab"));
  EXPECT_EQ(match_pattern("*x", "abc", false), 2);
  EXPECT_EQ(match_pattern("ab", "abc", false), 0);
}

TEST(NameMatch, QuestionMarkTakesExactlyOneCharacter) {
  EXPECT_TRUE(m("?", "/"));
  EXPECT_TRUE(m("a?c", "abc"));
  EXPECT_FALSE(m("a?c", "ac"));
  EXPECT_FALSE(m("?", ""));
}

TEST(NameMatch, SetsRangesAndNegation) {
  EXPECT_TRUE(m("[!a-c]x", "dx"));
  EXPECT_FALSE(m("[!a-c]x", "bx"));
  EXPECT_TRUE(m("[^a-c]x", "dx"));
  EXPECT_TRUE(m("[a-c]x", "bx"));
  EXPECT_TRUE(m("[-a]", "-"));
  EXPECT_TRUE(m("[-a]", "a"));
  // In "[a-]" the 'a' opens a range that never closes: the set holds nothing.
  EXPECT_FALSE(m("[a-]", "a"));
  EXPECT_FALSE(m("[a-]", "-"));
  // "[\]]" is a set holding ']'.
  EXPECT_TRUE(m("[\\]]", "]"));
  EXPECT_FALSE(m("[\\]]", "\\"));
  // Without a closing ']' nothing matches.
  EXPECT_FALSE(m("[abc", "a"));
  EXPECT_FALSE(m("[abc", "[abc"));
  EXPECT_TRUE(m("x[0-9][0-9]", "x42"));
  EXPECT_FALSE(m("x[0-9]", "x"));
}

TEST(NameMatch, BackslashMakesTheNextCharacterLiteral) {
  EXPECT_TRUE(m("\\*", "*"));
  EXPECT_FALSE(m("\\*", "a"));
  EXPECT_TRUE(m("a\\?", "a?"));
  EXPECT_FALSE(m("a\\", "a\\"));
  EXPECT_FALSE(m("a\\", "a"));
}

TEST(NameMatch, CaseFoldingCoversAsciiAndLatin1Capitals) {
  EXPECT_TRUE(m("README.*", "readme.txt", true));
  EXPECT_FALSE(m("README.*", "readme.txt", false));
  EXPECT_TRUE(m("\xC4pfel", "\xE4pfel", true));   // A with diaeresis
  EXPECT_FALSE(m("\xC4pfel", "\xE4pfel", false));
  // The multiplication sign 0xD7 is no letter: it does not fold to 0xF7.
  EXPECT_FALSE(m("\xD7", "\xF7", true));
  EXPECT_TRUE(m("[A-C]", "b", true));
  EXPECT_TRUE(m("[a-c]", "B", true));
  EXPECT_FALSE(m("[a-c]", "B", false));
}

TEST(HasWildcards, FindsUnescapedWildcardsOnly) {
  EXPECT_TRUE(has_wildcards("C:/dl/*.zip"));
  EXPECT_TRUE(has_wildcards("a?b"));
  EXPECT_TRUE(has_wildcards("x[12]"));
  EXPECT_FALSE(has_wildcards("plain/name.zip"));
  EXPECT_FALSE(has_wildcards("a\\*b"));
  EXPECT_FALSE(has_wildcards(""));
}

}  // namespace
