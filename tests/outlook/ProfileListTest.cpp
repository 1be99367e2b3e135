#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "outlook/ProfileList.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "support/StoreFixture.h"

namespace brindel::outlook {
namespace {

using registry::store::REG_DWORD;
using registry::store::REG_EXPAND_SZ;
using registry::store::REG_SZ;
using test::Utf16Bytes;

constexpr std::u16string_view kMessagingTree =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr std::u16string_view kOfficeTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kOfficeOutlook = u"Software\\Microsoft\\Office\\16.0\\Outlook";

// --- DecodeProfileKeyName ---------------------------------------------------------

struct TDecodeCase {
  const char* name;
  std::u16string_view keyName;
  std::u16string_view display;
};

// Rows show by name in test listings.
void PrintTo(const TDecodeCase& row, std::ostream* out) {
  *out << row.name;
}

class DecodeProfileKeyNameTest : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(DecodeProfileKeyNameTest, GivesTheDisplayName) {
  EXPECT_EQ(GetParam().display, DecodeProfileKeyName(GetParam().keyName));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DecodeProfileKeyNameTest,
    ::testing::Values(TDecodeCase{"Backslash", u"Test[|u1", u"Test\\1"},
                      TDecodeCase{"Space", u"A[pr", u"A "},
                      TDecodeCase{"OrdinaryLettersStay", u"Büro [alt]", u"Büro [alt]"},
                      TDecodeCase{"BracketAtTheEnd", u"Ende[", u"Ende["},
                      TDecodeCase{"BracketWithOneCharacterLeft", u"Ende[p", u"Ende[p"},
                      TDecodeCase{"TwoEscapes", u"a[|u[~rb", u"a\\.b"},
                      TDecodeCase{"Plain", u"Outlook", u"Outlook"}),
    [](const ::testing::TestParamInfo<TDecodeCase>& row) { return std::string(row.param.name); });

// --- GetProfilesRegTree -----------------------------------------------------------

struct TTreeCase {
  const char* name;
  std::u16string_view version;
  std::u16string_view tree;
};

// Rows show by name in test listings.
void PrintTo(const TTreeCase& row, std::ostream* out) {
  *out << row.name;
}

class ProfilesRegTreeTest : public ::testing::TestWithParam<TTreeCase> {};

TEST_P(ProfilesRegTreeTest, FollowsTheVersion) {
  EXPECT_EQ(GetParam().tree, GetProfilesRegTree(GetParam().version));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ProfilesRegTreeTest,
    ::testing::Values(TTreeCase{"NoneChosen", u"", kMessagingTree},
                      TTreeCase{"Outlook2010", u"14", kMessagingTree},
                      TTreeCase{"Outlook2013", u"15",
                                u"Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles"},
                      TTreeCase{"Outlook2016", u"16", kOfficeTree}),
    [](const ::testing::TestParamInfo<TTreeCase>& row) { return std::string(row.param.name); });

// --- GetProfileList ---------------------------------------------------------------

class ProfileListTest : public test::StoreFixture {};

TEST_F(ProfileListTest, ListsOpenableProfilesInEnumerationOrder) {
  for (const auto* name : {u"Zweit", u"outlook", u"Büro[|u1", u"Gesperrt"}) {
    MakeKey(std::u16string(kOfficeTree) + u"\\" + name);
  }
  store_.SetProtection(registry::store::HKEY_CURRENT_USER,
                       std::u16string(kOfficeTree) + u"\\Gesperrt",
                       MemoryStore::Protection::Unreadable);
  const TProfileList list = GetProfileList(kOfficeTree);
  ASSERT_EQ(3, list.Count());
  EXPECT_EQ(u"Büro[|u1", list[0].ProfilName);
  EXPECT_EQ(u"outlook", list[1].ProfilName);
  EXPECT_EQ(u"Zweit", list[2].ProfilName);
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

TEST_F(ProfileListTest, EmptyMissingOrNoTreeGivesNoProfiles) {
  MakeKey(kOfficeTree);
  EXPECT_EQ(0, GetProfileList(kOfficeTree).Count());
  EXPECT_EQ(0, GetProfileList(kMessagingTree).Count());
  EXPECT_EQ(0, GetProfileList(u"").Count());
}

// --- GetDefaultProfile ------------------------------------------------------------

class DefaultProfileTest : public test::StoreFixture {};

TEST_F(DefaultProfileTest, ReadFromTheProfileTree) {
  Put(kOfficeTree, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Outlook"));
  Put(kOfficeOutlook, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Anders"));
  EXPECT_EQ(u"Outlook", GetDefaultProfile(kOfficeTree));
}

TEST_F(DefaultProfileTest, ReadFromTheKeyAboveWhenTheTreeHasNone) {
  MakeKey(kOfficeTree);
  Put(kOfficeOutlook, u"DefaultProfile", REG_EXPAND_SZ, Utf16Bytes(u"%Profil%"));
  EXPECT_EQ(u"%Profil%", GetDefaultProfile(kOfficeTree));
}

TEST_F(DefaultProfileTest, EmptyValueInTheTreeIsTheAnswer) {
  Put(kOfficeTree, u"DefaultProfile", REG_SZ, Utf16Bytes(u""));
  Put(kOfficeOutlook, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Anders"));
  EXPECT_EQ(u"", GetDefaultProfile(kOfficeTree));
}

TEST_F(DefaultProfileTest, NoValueAnywhereGivesEmptyText) {
  MakeKey(kOfficeTree);
  EXPECT_EQ(u"", GetDefaultProfile(kOfficeTree));
}

TEST_F(DefaultProfileTest, ValueOfAnotherKindRaisesTheDataTypeError) {
  Put(kOfficeOutlook, u"DefaultProfile", REG_DWORD, test::DwordBytes(1));
  try {
    GetDefaultProfile(kOfficeTree);
    FAIL() << "no error";
  } catch (const platform::ERegistryException& error) {
    EXPECT_EQ(u"Ungültiger Datentyp für 'DefaultProfile'", error.Message());
  }
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

// A profile tree named instead of derived from the version: its default counts, and
// the version's tree is never read, not even when its value has the wrong type.
TEST_F(DefaultProfileTest, TheTreeInUseDecidesNotTheVersionsTree) {
  const std::u16string named = u"Software\\Brindel\\Profiles";
  Put(named, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Eigen"));
  Put(kOfficeTree, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Outlook"));
  EXPECT_EQ(u"Eigen", GetDefaultProfile(named));
  Put(kOfficeTree, u"DefaultProfile", REG_DWORD, test::DwordBytes(1));
  EXPECT_EQ(u"Eigen", GetDefaultProfile(named));
  MakeKey(u"Software\\Leer\\Profiles");
  EXPECT_EQ(u"", GetDefaultProfile(u"Software\\Leer\\Profiles"))
      << "neither the named tree nor its parent holds one";
}

}  // namespace
}  // namespace brindel::outlook
