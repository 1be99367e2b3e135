#include "profile/ListValues.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "profile/ProfileNames.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

using namespace registry::store;
using test::Bytes;

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
}  // namespace brindel::profile
