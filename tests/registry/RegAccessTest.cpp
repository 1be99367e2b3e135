#include "registry/RegAccess.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "support/StoreFixture.h"

namespace brindel::registry {
namespace {

using namespace store;
using test::Bytes;
using test::Utf16Bytes;

class RegAccessTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    Put(u"Software\\Brindel", u"Name", REG_SZ, Utf16Bytes(u"Brindel"));
    MakeKey(u"Software\\Brindel\\b");
    MakeKey(u"Software\\Brindel\\A");
    MakeKey(u"Software\\Brindel\\Ä");
    MakeKey(u"Software\\Brindel\\_x");
    MakeKey(u"Software\\Brindel\\1");
  }
};

TEST_F(RegAccessTest, NewObjectDefaults) {
  TRegAccess reg;
  EXPECT_EQ(HKEY_CURRENT_USER, reg.RootKey());
  EXPECT_EQ(KEY_ALL_ACCESS, reg.Access());
  EXPECT_EQ(HKEY{0}, reg.CurrentKey());
  EXPECT_EQ(u"", reg.CurrentPath());
}

TEST_F(RegAccessTest, OpenTracksAbsoluteAndRelativePaths) {
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software", false));
  EXPECT_EQ(u"Software", reg.CurrentPath());
  ASSERT_TRUE(reg.Open(u"Brindel", false));
  EXPECT_EQ(u"Software\\Brindel", reg.CurrentPath());
  ASSERT_TRUE(reg.Open(u"\\Software", false));
  EXPECT_EQ(u"Software", reg.CurrentPath());
  EXPECT_EQ(1u, store_.OpenHandleCount()) << "the previous key is closed";
}

TEST_F(RegAccessTest, FailedOpenKeepsTheOpenKey) {
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software\\Brindel", false));
  const HKEY before = reg.CurrentKey();
  EXPECT_FALSE(reg.Open(u"Missing", false));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.LastError());
  EXPECT_EQ(before, reg.CurrentKey());
  EXPECT_EQ(u"Software\\Brindel", reg.CurrentPath());
  EXPECT_EQ(u"Brindel", reg.ReadString(u"Name"));
}

TEST_F(RegAccessTest, OpenWithCreateMakesParents) {
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software\\New\\Deep", true));
  EXPECT_TRUE(KeyExists(u"Software\\New\\Deep"));
}

TEST_F(RegAccessTest, ReleasingClosesTheKey) {
  {
    TRegAccess reg;
    ASSERT_TRUE(reg.Open(u"Software", false));
    EXPECT_EQ(1u, store_.OpenHandleCount());
  }
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

TEST_F(RegAccessTest, UseRootClosesTheKeyOnlyForAnotherRoot) {
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software", false));
  reg.UseRoot(HKEY_CURRENT_USER);
  EXPECT_EQ(u"Software", reg.CurrentPath());
  reg.UseRoot(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(HKEY{0}, reg.CurrentKey());
  EXPECT_EQ(u"", reg.CurrentPath());
}

TEST_F(RegAccessTest, SubKeysEnumerateInRegistryOrder) {
  TRegAccess reg(KEY_READ);
  ASSERT_TRUE(reg.Open(u"Software\\Brindel", false));
  TStringList names;
  names.Add(u"stale");
  reg.GetSubKeyNames(names);
  // Upper-cased code units: "1" < "A" < "B" < "_" (0x5F) < "Ä" (0xC4).
  EXPECT_EQ((std::vector<std::u16string>{u"1", u"A", u"b", u"_x", u"Ä"}), names.Items());
}

TEST_F(RegAccessTest, WriteOnlyHandleCannotReadKeyInformation) {
  TRegAccess reg(KEY_WRITE);
  ASSERT_TRUE(reg.Open(u"Software\\Brindel", false));
  TRegKeyInfo info;
  info.NumSubKeys = 77;
  EXPECT_FALSE(reg.GetKeyInfo(info));
  EXPECT_EQ(0u, info.NumSubKeys);
  EXPECT_EQ(0u, info.NumValues);
  TStringList names;
  reg.GetSubKeyNames(names);
  EXPECT_EQ(0, names.Count());
  EXPECT_FALSE(reg.ValueExists(u"Name"));
  EXPECT_EQ(-1, reg.GetValueSize(u"Name"));
}

TEST_F(RegAccessTest, DeleteKeyWithFullAccessDeletesTheTree) {
  MakeKey(u"Software\\Brindel\\A\\B\\C");
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software\\Brindel", false));
  EXPECT_TRUE(reg.DeleteKey(u"A"));
  EXPECT_FALSE(KeyExists(u"Software\\Brindel\\A"));
  EXPECT_TRUE(KeyExists(u"Software\\Brindel\\b"));
}

TEST_F(RegAccessTest, WritesUseTheirRegistryTypes) {
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software\\Brindel", false));
  reg.WriteString(u"s", u"ab");
  reg.WriteInteger(u"i", -2);
  reg.WriteBinary(u"b", Bytes{5});
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_SZ, {'a', 0, 'b', 0, 0, 0}}),
            Get(u"Software\\Brindel", u"s"));
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}),
            Get(u"Software\\Brindel", u"i"));
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_BINARY, {5}}), Get(u"Software\\Brindel", u"b"));
}

TEST_F(RegAccessTest, ReadBinaryRefusesDataLargerThanTheBuffer) {
  Put(u"Software\\Brindel", u"big", REG_BINARY, Bytes(10, 1));
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software\\Brindel", false));
  std::vector<std::uint8_t> buffer(4);
  EXPECT_THROW(reg.ReadBinary(u"big", buffer), platform::ERegistryException);
  EXPECT_EQ(0, reg.ReadBinary(u"missing", buffer));
}

TEST_F(RegAccessTest, ReadStringOfIntegerRaisesDataTypeError) {
  Put(u"Software\\Brindel", u"n", REG_DWORD, test::DwordBytes(1));
  TRegAccess reg;
  ASSERT_TRUE(reg.Open(u"Software\\Brindel", false));
  EXPECT_THROW(reg.ReadString(u"n"), platform::ERegistryException);
  EXPECT_EQ(u"", reg.ReadString(u"missing"));
}

TEST_F(RegAccessTest, OpenReadOnlyTakesTheMaskThatWorked) {
  ASSERT_TRUE(store_.SetProtection(HKEY_CURRENT_USER, u"Software\\Brindel",
                                   MemoryStore::Protection::ReadOnly));
  TRegAccess reg;
  EXPECT_FALSE(reg.Open(u"Software\\Brindel", false)) << "full access is refused";
  ASSERT_TRUE(reg.OpenReadOnly(u"Software\\Brindel"));
  EXPECT_EQ(KEY_READ, reg.Access());
  EXPECT_EQ(u"Brindel", reg.ReadString(u"Name"));
}

TEST_F(RegAccessTest, UnreadableKeyDoesNotOpenAtAll) {
  ASSERT_TRUE(store_.SetProtection(HKEY_CURRENT_USER, u"Software\\Brindel",
                                   MemoryStore::Protection::Unreadable));
  TRegAccess reg;
  EXPECT_FALSE(reg.OpenReadOnly(u"Software\\Brindel"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg.LastError());
}

TEST_F(RegAccessTest, ConnectFailsWithoutANetwork) {
  TRegAccess reg;
  EXPECT_FALSE(reg.Connect(u"\\\\server"));
  EXPECT_EQ(HKEY_CURRENT_USER, reg.RootKey());
}

}  // namespace
}  // namespace brindel::registry
