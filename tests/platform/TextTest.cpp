#include "platform/Text.h"
#include "platform/Wine.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/AnsiCodePage.h"

namespace brindel::platform {
namespace {

TEST(TextTest, Utf8RoundTripsEveryPlane) {
  const std::u16string text = u"Büro € 😀 ẞ";
  EXPECT_EQ(text, FromUtf8(ToUtf8(text)));
  EXPECT_EQ("B\xC3\xBCro", ToUtf8(u"Büro"));
}

TEST(TextTest, BrokenInputBecomesReplacementCharacters) {
  EXPECT_EQ(
      u"a\xFFFD"
      u"b",
      FromUtf8("a\xC3"
               "b"));
  EXPECT_EQ(u"\xFFFD", FromUtf8("\xC0\xAF").substr(0, 1)) << "overlong forms are refused";
  EXPECT_EQ("\xEF\xBF\xBD", ToUtf8(std::u16string(1, char16_t{0xD800})));
}

TEST(TextTest, UpperUnitCoversTheLettersOfRegistryNames) {
  EXPECT_EQ(u"ÄÖÜ", UpperCase(u"äöü"));
  EXPECT_EQ(u'Ÿ', UpperUnit(u'ÿ'));
  EXPECT_EQ(u"ŁŃŹ", UpperCase(u"łńź"));
  EXPECT_EQ(u"ΑΣΣ", UpperCase(u"ασς"));
  EXPECT_EQ(u"ПРИВЕТЁ", UpperCase(u"приветё"));
  EXPECT_EQ(u'ß', UpperUnit(u'ß')) << "no single-unit upper case";
  EXPECT_EQ(u'÷', UpperUnit(u'÷'));
}

TEST(TextTest, CompareIgnoresCaseThenComparesCodeUnits) {
  EXPECT_EQ(0, CompareTextIgnoreCase(u"Ärger", u"äRGER"));
  EXPECT_LT(CompareTextIgnoreCase(u"Z", u"_"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"a", u"ab"), 0);
  EXPECT_GT(CompareTextIgnoreCase(u"é", u"z"), 0);
}

TEST(TextTest, FormatInsertsArgumentsInOrder) {
  EXPECT_EQ(u"3 von 27", Format(u"%d von %d", {u"3", u"27"}));
  EXPECT_EQ(u"100% 'x'", Format(u"100%% '%s'", {u"x"}));
  EXPECT_EQ(u"a", Format(u"a%s", {}));
}

TEST(TextTest, DecimalWritesWholeNumbersWithTheirSign) {
  EXPECT_EQ(u"0", Decimal(0));
  EXPECT_EQ(u"-1", Decimal(-1));
  EXPECT_EQ(u"4294967295", Decimal(std::uint32_t{0xFFFFFFFF})) << "an unsigned code stays positive";
  EXPECT_EQ(u"-9223372036854775808", Decimal(INT64_MIN));
}

struct TrimCase {
  const char* name;
  std::u16string_view text;
  std::u16string_view trimmed;
};

class TrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, RemovesEverythingUpToU0020AtBothEnds) {
  EXPECT_EQ(GetParam().trimmed, Trim(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimTest,
    ::testing::Values(TrimCase{"empty", u"", u""}, TrimCase{"only_blanks", u" \t\r\n ", u""},
                      TrimCase{"nul_and_controls", std::u16string_view(u"\0\037a\001\0", 5), u"a"},
                      TrimCase{"inner_blanks_kept", u" a b\tc ", u"a b\tc"},
                      TrimCase{"no_break_space_and_delete_kept", u"\u00A0a\177", u"\u00A0a\177"},
                      TrimCase{"nothing_to_trim", u"ab", u"ab"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AnsiCodePageTest, Windows1252BothWays) {
  EXPECT_EQ("\x80\xFC?", ToAnsi(u"€ü\x4E2D"));
  // Known Wine difference: Wine writes one "?" for each half of a surrogate pair.
  EXPECT_EQ(RunningOnWine() ? "??" : "?", ToAnsi(u"😀")) << "one character, one question mark";
  EXPECT_EQ(u"€üŸ\x81", FromAnsi("\x80\xFC\x9F\x81"));
  std::string all;
  for (int b = 0; b < 256; ++b)
    all += static_cast<char>(b);
  EXPECT_EQ(all, ToAnsi(FromAnsi(all)));
}

}  // namespace
}  // namespace brindel::platform
