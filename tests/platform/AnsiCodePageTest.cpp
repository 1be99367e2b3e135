#include "platform/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Wine.h"
#include "support/WineDifferences.h"

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

// Writers convert long texts piece by piece: wherever a piece ends, outside a
// surrogate pair, the bytes are those of the whole text.
TEST(AnsiEncoderTest, PiecesGiveTheBytesOfTheWholeText) {
  const std::u16string text =
      u"REGEDIT4 M\u00FCller \u20AC\u201E a\U0001F600b \u4E2D\u0100 \xD800"
      u" c\u0081\u00FF";
  const std::string whole =
      "REGEDIT4 M\xFCller \x80\x84 a" + test::QuestionMarksForSurrogatePair() + "b ?? ? c\x81\xFF";
  const TAnsiEncoder& encoder = TAnsiEncoder::System();
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    if (cut > 0 && text[cut - 1] == 0xD83D && text[cut] == 0xDE00)
      continue;  // inside the pair
    std::string out(text.size() * TAnsiEncoder::kMaxBytesPerUnit, '\0');
    char* end = encoder.Encode(std::u16string_view(text).substr(0, cut), out.data());
    ASSERT_NE(nullptr, end);
    end = encoder.Encode(std::u16string_view(text).substr(cut), end);
    ASSERT_NE(nullptr, end);
    EXPECT_EQ(whole, std::string(out.data(), end)) << "cut after " << cut << " code units";
  }
}

}  // namespace
}  // namespace brindel::platform
