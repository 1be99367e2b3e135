#include "platform/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Wine.h"

namespace brindel::platform {
namespace {

struct AnsiRow {
  const char* name;
  std::u16string text;
  std::string bytes;
  // Where Wine's WideCharToMultiByte differs from Windows': a known Wine difference,
  // checked as such under Wine only.
  std::optional<std::string> wine = std::nullopt;
};

class AnsiCodePageTest : public ::testing::TestWithParam<AnsiRow> {};

TEST_P(AnsiCodePageTest, ConvertsToWindows1252) {
  if (RunningOnWine() && GetParam().wine) {
    EXPECT_EQ(*GetParam().wine, ToAnsi(GetParam().text)) << "Wine, not Windows";
    return;
  }
  EXPECT_EQ(GetParam().bytes, ToAnsi(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Characters, AnsiCodePageTest,
    ::testing::Values(AnsiRow{"Ascii", u"REGEDIT4\r\n", "REGEDIT4\r\n"},
                      AnsiRow{"Latin1", u"M\u00FCller \u00DF \u00E9", "M\xFCller \xDF \xE9"},
                      AnsiRow{"EuroAndQuotes", u"\u20AC \u201E\u201C \u2026", "\x80 \x84\x93 \x85"},
                      AnsiRow{"UndefinedBytesAreC1Controls", u"\u0081\u008D\u008F\u0090\u009D",
                              "\x81\x8D\x8F\x90\x9D"},
                      AnsiRow{"MissingCharacterBecomesQuestionMark", u"a\u4E2Db\u0100", "a?b?"},
                      // Wine writes one "?" for each half of the pair.
                      AnsiRow{"SurrogatePairIsOneCharacter", u"a\U0001F600b", "a?b", "a??b"},
                      AnsiRow{"LoneSurrogate",
                              u"a\xD800"
                              u"b",
                              "a?b"},
                      AnsiRow{"NulKept", std::u16string(u"a\0b", 3), std::string("a\0b", 3)}),
    [](const ::testing::TestParamInfo<AnsiRow>& row) { return row.param.name; });

TEST(AnsiCodePageRoundTripTest, EveryByteComesBack) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte)
    all += static_cast<char>(byte);
  const std::u16string text = FromAnsi(all);
  ASSERT_EQ(256u, text.size());
  EXPECT_EQ(u'\u20AC', text[0x80]);
  EXPECT_EQ(u'\u0178', text[0x9F]);
  EXPECT_EQ(u'\u00FF', text[0xFF]);
  EXPECT_EQ(all, ToAnsi(text));
}

}  // namespace
}  // namespace brindel::platform
