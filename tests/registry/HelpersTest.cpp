#include "registry/Helpers.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "platform/Wow64.h"
#include "support/StoreFixture.h"

namespace brindel::registry {
namespace {

using namespace store;
using test::Bytes;
using test::DwordBytes;
using test::Utf16Bytes;

class HelpersTest : public test::StoreFixture {
 protected:
  static constexpr std::u16string_view kPath = u"Software\\Brindel\\Test";

  void SetUp() override {
    Put(kPath, u"sz", REG_SZ, Utf16Bytes(u"Text"));
    Put(kPath, u"bin", REG_BINARY, {1, 2, 3});
    Put(kPath, u"dword", REG_DWORD, DwordBytes(7));
    Put(kPath, u"multi", REG_MULTI_SZ, Utf16Bytes(u"a\0b\0", true));
    MakeKey(u"Software\\Brindel\\Test\\Child\\Grandchild");
  }
};

// Selectors other than 1, 2 and 3 name no root: every helper gives its failure result.
class HelpersNoRootTest : public HelpersTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(HelpersNoRootTest, EveryHelperFailsQuietly) {
  const unsigned selector = GetParam();
  EXPECT_EQ(HKEY{0}, RegRootFromSelector(selector));
  EXPECT_FALSE(RegValueExistsAt(selector, kPath, u"sz"));
  EXPECT_EQ(TRegValueKind::vkUnknown, RegValueKindAt(selector, kPath, u"bin"));
  EXPECT_EQ(u"", RegReadStringAt(selector, kPath, u"sz"));
  EXPECT_TRUE(RegReadBinaryAt(selector, kPath, u"bin").empty());
  EXPECT_FALSE(RegWriteBinaryAt(selector, u"Software\\New", u"v", {1}));
  EXPECT_FALSE(RegDeleteKeyAt(selector, kPath, u"Child"));
  EXPECT_FALSE(KeyExists(u"Software\\New"));
  EXPECT_TRUE(KeyExists(u"Software\\Brindel\\Test\\Child"));
}

INSTANTIATE_TEST_SUITE_P(Selectors, HelpersNoRootTest, ::testing::Values(0u, 4u, 99u));

TEST_F(HelpersTest, SelectorsChooseTheirRoots) {
  EXPECT_EQ(HKEY_CURRENT_USER, RegRootFromSelector(1));
  EXPECT_EQ(HKEY_LOCAL_MACHINE, RegRootFromSelector(2));
  EXPECT_EQ(HKEY_CLASSES_ROOT, RegRootFromSelector(3));
  Put(u"Software\\Machine", u"v", REG_SZ, Utf16Bytes(u"lm"), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(u"lm", RegReadStringAt(2, u"Software\\Machine", u"v"));
  EXPECT_EQ(u"", RegReadStringAt(1, u"Software\\Machine", u"v"));
}

TEST_F(HelpersTest, ValueKindsMapRegistryTypes) {
  EXPECT_EQ(TRegValueKind::vkString, RegValueKindAt(1, kPath, u"sz"));
  EXPECT_EQ(TRegValueKind::vkBinary, RegValueKindAt(1, kPath, u"bin"));
  EXPECT_EQ(TRegValueKind::vkInteger, RegValueKindAt(1, kPath, u"dword"));
  EXPECT_EQ(TRegValueKind::vkUnknown, RegValueKindAt(1, kPath, u"multi"));
  EXPECT_EQ(TRegValueKind::vkUnknown, RegValueKindAt(1, kPath, u"missing"));
  EXPECT_EQ(4, static_cast<int>(TRegValueKind::vkBinary));
  EXPECT_EQ(3, static_cast<int>(TRegValueKind::vkInteger));
}

TEST_F(HelpersTest, ReadStringGivesEmptyTextForOtherKindsWithoutError) {
  EXPECT_EQ(u"Text", RegReadStringAt(1, kPath, u"sz"));
  for (auto name : {u"dword", u"bin", u"multi", u"missing"}) {
    EXPECT_EQ(u"", RegReadStringAt(1, kPath, name)) << platform::ToUtf8(name);
  }
  EXPECT_EQ(u"", RegReadStringAt(1, u"Software\\Missing", u"sz"));
}

TEST_F(HelpersTest, ReadStringEndsAtFirstNulAndDoesNotExpand) {
  Bytes twoParts = Utf16Bytes(u"ab", true);
  Bytes tail = Utf16Bytes(u"cd", true);
  twoParts.insert(twoParts.end(), tail.begin(), tail.end());
  Put(kPath, u"nul", REG_SZ, twoParts);
  Put(kPath, u"expand", REG_EXPAND_SZ, Utf16Bytes(u"%TEMP%\\x"));
  EXPECT_EQ(u"ab", RegReadStringAt(1, kPath, u"nul"));
  EXPECT_EQ(u"%TEMP%\\x", RegReadStringAt(1, kPath, u"expand"));
}

TEST_F(HelpersTest, ReadStringSwallowsAFailedDataRead) {
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, kPath, MemoryStore::Operation::QueryValueData,
                                 ERROR_INVALID_DATA));
  EXPECT_EQ(u"", RegReadStringAt(1, kPath, u"sz"));
}

TEST_F(HelpersTest, DefaultValueHasTheEmptyName) {
  Put(kPath, u"", REG_SZ, Utf16Bytes(u"default"));
  EXPECT_TRUE(RegValueExistsAt(1, kPath, u""));
  EXPECT_EQ(u"default", RegReadStringAt(1, kPath, u""));
}

TEST_F(HelpersTest, ReadBinaryReadsBinaryAndUnknownKinds) {
  EXPECT_EQ((Bytes{1, 2, 3}), RegReadBinaryAt(1, kPath, u"bin"));
  EXPECT_EQ(Utf16Bytes(u"a\0b\0", true), RegReadBinaryAt(1, kPath, u"multi"));
  Put(kPath, u"empty", REG_BINARY, {});
  EXPECT_TRUE(RegReadBinaryAt(1, kPath, u"empty").empty());
  EXPECT_TRUE(RegReadBinaryAt(1, kPath, u"missing").empty());
}

TEST_F(HelpersTest, ReadBinaryOfStringOrIntegerRaisesTheDataTypeError) {
  for (auto name : {u"sz", u"dword"}) {
    try {
      RegReadBinaryAt(1, kPath, name);
      ADD_FAILURE() << "no error for " << platform::ToUtf8(name);
    } catch (const platform::ERegistryException& e) {
      EXPECT_EQ(u"Ungültiger Datentyp für '" + std::u16string(name) + u"'", e.Message());
    }
  }
}

TEST_F(HelpersTest, ReadBinaryRaisesTheReadErrorWhenTheDataQueryFails) {
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, kPath, MemoryStore::Operation::QueryValueData,
                                 ERROR_INVALID_DATA));
  try {
    RegReadBinaryAt(1, kPath, u"bin");
    ADD_FAILURE() << "no error";
  } catch (const platform::ERegistryException& e) {
    EXPECT_EQ(u"Fehler beim Holen der Daten für 'bin'", e.Message());
  }
  EXPECT_EQ(0u, store_.OpenHandleCount()) << "the key is closed on the way out";
}

TEST_F(HelpersTest, WriteBinaryCreatesTheWholePath) {
  EXPECT_TRUE(RegWriteBinaryAt(1, u"Software\\A\\B\\C", u"v", {9, 8}));
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_BINARY, {9, 8}}), Get(u"Software\\A\\B\\C", u"v"));
  EXPECT_TRUE(RegWriteBinaryAt(1, u"Software\\A", u"empty", {}));
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_BINARY, {}}), Get(u"Software\\A", u"empty"));
}

TEST_F(HelpersTest, WriteBinaryFailures) {
  // A key that can be neither opened nor created: false, nothing raised.
  MakeKey(u"Software\\Locked");
  ASSERT_TRUE(store_.SetProtection(HKEY_CURRENT_USER, u"Software\\Locked",
                                   MemoryStore::Protection::ReadOnly));
  EXPECT_FALSE(RegWriteBinaryAt(1, u"Software\\Locked", u"v", {1}));
  EXPECT_FALSE(RegWriteBinaryAt(1, u"Software\\Locked\\Below", u"v", {1}));
  // The write itself failing raises the write error.
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, kPath, MemoryStore::Operation::SetValue,
                                 ERROR_CANTWRITE));
  try {
    RegWriteBinaryAt(1, kPath, u"bin", {1});
    ADD_FAILURE() << "no error";
  } catch (const platform::ERegistryException& e) {
    EXPECT_EQ(u"Fehler beim Setzen der Daten für 'bin'", e.Message());
  }
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

TEST_F(HelpersTest, DeleteKeyDeletesOnlyKeysWithoutSubKeys) {
  // The helper's KEY_WRITE handle cannot enumerate, so a key with sub keys survives whole.
  EXPECT_FALSE(RegDeleteKeyAt(1, kPath, u"Child"));
  EXPECT_TRUE(KeyExists(u"Software\\Brindel\\Test\\Child\\Grandchild"));
  EXPECT_FALSE(RegDeleteKeyAt(1, kPath, u"Missing"));
  EXPECT_TRUE(RegDeleteKeyAt(1, u"Software\\Brindel\\Test\\Child", u"Grandchild"));
  EXPECT_FALSE(KeyExists(u"Software\\Brindel\\Test\\Child\\Grandchild"));
  EXPECT_TRUE(RegDeleteKeyAt(1, kPath, u"child"));
  EXPECT_FALSE(KeyExists(u"Software\\Brindel\\Test\\Child"));
}

TEST_F(HelpersTest, LookupIgnoresLetterCase) {
  Put(u"Profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676", u"Account Name", REG_BINARY, {1});
  EXPECT_TRUE(
      RegValueExistsAt(1, u"PROFILES\\outlook\\9375cff0413111d3b88a00104b2a6676", u"account name"));
}

struct ViewCase {
  const char* name;
  bool wow64;
  const char16_t* path;
  REGSAM expected;
};

class RegViewAccessTest : public ::testing::TestWithParam<ViewCase> {};

TEST_P(RegViewAccessTest, AddsTheViewFlagOnlyUnderWow64) {
  platform::ScopedWow64Override wow64(GetParam().wow64);
  EXPECT_EQ(GetParam().expected, RegViewAccess(GetParam().path, KEY_READ));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RegViewAccessTest,
    ::testing::Values(
        ViewCase{"native_process", false, u"Software\\Wow6432Node\\Microsoft", KEY_READ},
        ViewCase{"redirected_branch", true, u"Software\\Wow6432Node\\Microsoft",
                 KEY_READ | KEY_WOW64_32KEY},
        ViewCase{"redirected_any_case", true, u"software\\wOW6432nODE", KEY_READ | KEY_WOW64_32KEY},
        ViewCase{"other_path", true, u"Software\\Microsoft\\Office", KEY_READ | KEY_WOW64_64KEY},
        ViewCase{"empty_path", true, u"", KEY_READ | KEY_WOW64_64KEY}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(HelpersTest, ReadsWorkUnderWow64ViewFlags) {
  platform::ScopedWow64Override wow64(true);
  EXPECT_EQ(u"Text", RegReadStringAt(1, kPath, u"sz"));
  EXPECT_EQ((Bytes{1, 2, 3}), RegReadBinaryAt(1, kPath, u"bin"));
}

}  // namespace
}  // namespace brindel::registry
