// T-SQL's LIKE patterns, as SQL Server's documentation describes them.
#include "platform/sqlserver/translation/like_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Like(std::u16string_view value, std::u16string_view pattern, bool case_sensitive = false,
          std::optional<char16_t> escape = std::nullopt) {
  return sqlsrv::LikeMatches(value, pattern, case_sensitive, escape);
}

TEST(LikePattern, PercentAndUnderscoreMatchRunsAndSingleCharacters) {
  EXPECT_TRUE(Like(u"", u"%"));
  EXPECT_TRUE(Like(u"abc", u"a%"));
  EXPECT_TRUE(Like(u"abc", u"%c"));
  EXPECT_TRUE(Like(u"abc", u"a_c"));
  EXPECT_FALSE(Like(u"ac", u"a_c"));
  EXPECT_TRUE(Like(u"abcbc", u"%b%c"));
  EXPECT_FALSE(Like(u"abcb", u"%b%c"));
  EXPECT_TRUE(Like(u"aXbXc", u"a%b%c"));
  EXPECT_FALSE(Like(u"abc ", u"abc"));  // trailing blanks of the value count
  EXPECT_TRUE(Like(u"东方商行", u"东_商%"));
}

TEST(LikePattern, SetsRangesAndNegatedSets) {
  EXPECT_TRUE(Like(u"Carsen", u"[CK]ars[eo]n"));
  EXPECT_TRUE(Like(u"Karson", u"[CK]ars[eo]n"));
  EXPECT_FALSE(Like(u"Larsen", u"[CK]ars[eo]n"));
  EXPECT_TRUE(Like(u"M7", u"M[0-9]"));
  EXPECT_FALSE(Like(u"MX", u"M[0-9]"));
  EXPECT_TRUE(Like(u"MX", u"M[^0-9]"));
  EXPECT_FALSE(Like(u"Mc", u"M[^a-f]"));
  EXPECT_TRUE(Like(u"50%", u"50[%]"));   // a wildcard in a set is itself
  EXPECT_FALSE(Like(u"500", u"50[%]"));
  EXPECT_TRUE(Like(u"a_b", u"a[_]b"));
  EXPECT_FALSE(Like(u"axb", u"a[_]b"));
  EXPECT_TRUE(Like(u"a]", u"a[]]"));      // a ']' first in a set is one of its characters
  EXPECT_TRUE(Like(u"a[b", u"a[b"));      // a '[' that nothing closes is itself
}

TEST(LikePattern, CaseIsFoldedForAsciiLettersUnlessCaseSensitive) {
  EXPECT_TRUE(Like(u"ABC", u"a%"));
  EXPECT_TRUE(Like(u"B", u"[a-c]"));
  EXPECT_FALSE(Like(u"ABC", u"a%", true));
  EXPECT_FALSE(Like(u"B", u"[a-c]", true));
  EXPECT_TRUE(Like(u"b", u"[a-c]", true));
}

TEST(LikePattern, TheEscapeCharacterMakesTheNextStandForItself) {
  EXPECT_TRUE(Like(u"10%", u"10!%", false, u'!'));
  EXPECT_FALSE(Like(u"100", u"10!%", false, u'!'));
  EXPECT_TRUE(Like(u"a_b", u"a!_b", false, u'!'));
  EXPECT_TRUE(Like(u"a!b", u"a!!b", false, u'!'));
  EXPECT_TRUE(Like(u"x[y", u"x![y", false, u'!'));
}

TEST(LikePattern, ALongValueAgainstManyRunsStaysQuick) {
  const std::u16string value(20000, u'a');
  EXPECT_FALSE(Like(value, u"%a%a%a%a%a%a%a%a%a%b"));
  EXPECT_TRUE(Like(value + u"b", u"%a%a%a%a%a%a%a%a%a%b"));
}

}  // namespace
