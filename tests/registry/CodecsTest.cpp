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

class ListReaderTest : public test::StoreFixture {
 protected:
  static constexpr std::u16string_view kTree = u"Profiles\\Outlook";
  std::u16string Section(std::u16string_view id) {
    return std::u16string(kTree) + u"\\" + std::u16string(id);
  }
};

TEST_F(ListReaderTest, SectionIdsAreCutInto32LowerCaseDigitsAndRemainderIgnored) {
  Bytes value;
  for (int i = 0; i < 16; ++i)
    value.push_back(static_cast<std::uint8_t>(0xA0 + i));
  for (int i = 0; i < 16; ++i)
    value.push_back(static_cast<std::uint8_t>(i));
  for (int i = 0; i < 8; ++i)
    value.push_back(0xEE);  // 40 bytes: the last 8 are no id
  Put(Section(kProviderSection), u"01023d00", REG_BINARY, value);
  TStringList list;
  list.Add(u"kept");
  ReadSectionIdList(kTree, u"01023d00", list);
  EXPECT_EQ((std::vector<std::u16string>{u"kept", u"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf",
                                         u"000102030405060708090a0b0c0d0e0f"}),
            list.Items());
  ReadSectionIdList(kTree, u"missing", list);
  EXPECT_EQ(3, list.Count());
}

TEST_F(ListReaderTest, SectionIdsFollowTheListsAddRule) {
  Bytes id(16, 0x11);
  Bytes value = id;
  value.insert(value.end(), id.begin(), id.end());
  Put(Section(kProviderSection), u"01023d0e", REG_BINARY, value);
  TStringList ignoring(true, TStringList::Duplicates::Ignore);
  ReadSectionIdList(kTree, u"01023d0e", ignoring);
  EXPECT_EQ(1, ignoring.Count());
  TStringList accepting(true, TStringList::Duplicates::Accept);
  ReadSectionIdList(kTree, u"01023d0e", accepting);
  EXPECT_EQ(2, accepting.Count());
}

TEST_F(ListReaderTest, AccountNumbersAreLittleEndian) {
  Put(Section(kAccountSection), u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}", REG_BINARY,
      {0x01, 0, 0, 0, 0x0A, 0, 0, 0, 0x01, 0x02, 0x03, 0xAB, 0xFF});
  TStringList list;
  ReadAccountNumberList(kTree, u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}", list);
  EXPECT_EQ((std::vector<std::u16string>{u"00000001", u"0000000a", u"ab030201"}), list.Items());
}

TEST_F(ListReaderTest, ListValueOfStringKindRaisesDataTypeError) {
  Put(Section(kProviderSection), u"01023d00", REG_SZ, test::Utf16Bytes(u"not a list"));
  TStringList list;
  EXPECT_THROW(ReadSectionIdList(kTree, u"01023d00", list), platform::ERegistryException);
  EXPECT_EQ(0, list.Count());
}

}  // namespace
}  // namespace brindel::registry
