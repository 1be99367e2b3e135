#include "registry/Codecs.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "support/StoreFixture.h"

namespace brindel::registry {
namespace {

using namespace store;
using test::Bytes;

struct HexCase {
  const char* name;
  Bytes bytes;
  const char16_t* hex;
};

class BytesToHexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(BytesToHexTest, WritesUpperCasePairsPaddedToFourDigits) {
  EXPECT_EQ(GetParam().hex, BytesToHex(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BytesToHexTest,
    ::testing::Values(HexCase{"empty", {}, u""},
                      HexCase{"odd_count_padded", {0x0A, 0xFF, 0x00}, u"0AFF0000"},
                      HexCase{"single_byte", {0xAB}, u"AB00"},
                      HexCase{"even_count", {0x01, 0x23, 0x45, 0x67}, u"01234567"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HexToBytesTest, EveryTwoDigitsBecomeOneByte) {
  EXPECT_EQ((Bytes{0x0A, 0xFF}), HexToBytes(u"0aff"));
  EXPECT_EQ((Bytes{0x0A, 0xFF, 0x00, 0x00}), HexToBytes(BytesToHex({0x0A, 0xFF, 0x00})));
  EXPECT_TRUE(HexToBytes(u"").empty());
  EXPECT_THROW(HexToBytes(u"0g00"), platform::EConvertError);
}

struct TextCase {
  const char* name;
  const char16_t* hex;
  const char16_t* text;
};

class HexToTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(HexToTextTest, DecodesUtf16AndTrims) {
  EXPECT_EQ(GetParam().text, HexToText(GetParam().hex));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexToTextTest,
    ::testing::Values(TextCase{"terminating_nuls", u"4100620000000000", u"Ab"},
                      TextCase{"commas", u"41,00,62,00", u"Ab"},
                      TextCase{"blanks_around", u"200041006200200000", u"Ab"},
                      TextCase{"umlaut", u"FC00", u"ü"}, TextCase{"high_byte", u"AC20", u"€"},
                      TextCase{"blanks_outside_digits", u"  41006200\t", u"Ab"},
                      TextCase{"empty", u"", u""},
                      TextCase{"inner_blank_kept", u"410020006200", u"A b"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HexToTextTest, NonHexDigitRaisesConversionError) {
  EXPECT_THROW(HexToText(u"41zz"), platform::EConvertError);
}

TEST(HexToIntTest, ConvertsUpToEightDigits) {
  EXPECT_EQ(10, HexToInt(u"0000000A"));
  EXPECT_EQ(-1, HexToInt(u"ffffffff"));
  EXPECT_EQ(std::int32_t{-2147483647 - 1}, HexToInt(u"80000000"));
  EXPECT_EQ(1, HexToInt(u"0000000000001")) << "leading zeros are not significant";
}

TEST(HexToIntTest, BadTextRaisesTheConversionErrorWithTheDollarText) {
  for (auto text : {u"", u"1G", u"123456789", u"-1", u" 1"}) {
    try {
      HexToInt(text);
      ADD_FAILURE() << "no error for " << platform::ToUtf8(text);
    } catch (const platform::EConvertError& e) {
      EXPECT_EQ(u"'$" + std::u16string(text) + u"' ist kein gültiger Integerwert", e.Message());
    }
  }
}

TEST(BoolToTextTest, LowerCaseWords) {
  EXPECT_EQ(u"true", BoolToText(true));
  EXPECT_EQ(u"false", BoolToText(false));
}

}  // namespace
}  // namespace brindel::registry
