// Copying and moving keys and values between two objects; value types; multi-string
// values. Copies into a hive file: HiveCopyKeyTest.cpp.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "regfile/ExRegistry.h"
#include "support/StoreFixture.h"
#include "support/TreeDump.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;
using test::Bytes;
using test::DwordBytes;
using test::Utf16Bytes;

class CopyKeyTest : public test::StoreFixture {
 protected:
  // Src with two values and a subkey (with one value and a subkey of its own).
  void MakeSource() {
    Put(u"Src\\Tree", u"name", REG_SZ, Utf16Bytes(u"Profil"));
    Put(u"Src\\Tree", u"", REG_BINARY, {1, 2, 3});
    Put(u"Src\\Tree\\Sub", u"count", REG_DWORD, DwordBytes(3));
    Put(u"Src\\Tree\\Sub\\Deep", u"q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    MakeKey(u"Src\\Tree\\Sub\\Empty");
    MakeKey(u"Dst");
  }

  static constexpr const char* kTree =
      "name=1:50,00,72,00,6f,00,66,00,69,00,6c,00,00,00\n@=3:01,02,03\n"
      "[Sub]\ncount=4:03,00,00,00\n[Sub\\Deep]\nq=11:01,00,00,00,00,00,00,00\n[Sub\\Empty]\n";

  std::string TreeAt(std::u16string_view path) {
    HKEY key = 0;
    if (store_.OpenKey(HKEY_CURRENT_USER, path, KEY_READ, key) != ERROR_SUCCESS)
      return "<missing>";
    std::string out;
    test::DumpKey(store_, key, "", out);
    store_.CloseKey(key);
    return out.substr(3);  // without the "[]\n" of the key itself
  }
};

TEST_F(CopyKeyTest, CopiesTheWholeTreeAndLeavesTheSource) {
  MakeSource();
  TExRegistry source;
  TExRegistry target;
  ASSERT_TRUE(source.Open(u"Src", false));
  ASSERT_TRUE(target.Open(u"Dst", false));
  target.CopyKeyFromReg(u"Tree", source, false);
  EXPECT_EQ(kTree, TreeAt(u"Dst\\Tree"));
  EXPECT_EQ(kTree, TreeAt(u"Src\\Tree"));
  EXPECT_EQ(2u, store_.OpenHandleCount()) << "only the two objects' keys stay open";
}

TEST_F(CopyKeyTest, MoveDeletesTheSource) {
  MakeSource();
  TExRegistry source;
  TExRegistry target;
  ASSERT_TRUE(source.Open(u"Src", false));
  ASSERT_TRUE(target.Open(u"Dst", false));
  target.CopyKeyFromReg(u"Tree", source, true);
  EXPECT_EQ(kTree, TreeAt(u"Dst\\Tree"));
  EXPECT_FALSE(KeyExists(u"Src\\Tree"));
  EXPECT_TRUE(KeyExists(u"Src"));
}

TEST_F(CopyKeyTest, MissingSourceGivesAnEmptyKeyAndAFailedMove) {
  MakeKey(u"Src");
  TExRegistry source;
  TExRegistry target;
  ASSERT_TRUE(source.Open(u"Src", false));
  target.CopyKeyFromReg(u"Nothing", source, false);
  EXPECT_EQ("", TreeAt(u"Nothing"));
  try {
    target.CopyKeyFromReg(u"Other", source, true);
    ADD_FAILURE() << "no error";
  } catch (const platform::ERegistryException& error) {
    EXPECT_EQ(u"Unable to delete moved key", error.Message());
  }
  EXPECT_EQ("", TreeAt(u"Other"));
}

TEST_F(CopyKeyTest, ReadOnlySourceCopiesButDoesNotMove) {
  MakeSource();
  for (std::u16string_view key : {u"Src", u"Src\\Tree", u"Src\\Tree\\Sub", u"Src\\Tree\\Sub\\Deep",
                                  u"Src\\Tree\\Sub\\Empty"}) {
    ASSERT_TRUE(store_.SetProtection(HKEY_CURRENT_USER, key, MemoryStore::Protection::ReadOnly));
  }
  TExRegistry source(KEY_READ);
  TExRegistry target;
  ASSERT_TRUE(source.Open(u"Src", false));
  ASSERT_TRUE(target.Open(u"Dst", false));
  target.CopyKeyFromReg(u"Tree", source, false);
  EXPECT_EQ(kTree, TreeAt(u"Dst\\Tree"));

  // Moving opens the source for changes, which a read-only key refuses: nothing
  // comes over and the source stays.
  EXPECT_THROW(target.CopyKeyFromReg(u"Tree", source, true), platform::ERegistryException);
  EXPECT_EQ(kTree, TreeAt(u"Src\\Tree"));
}

TEST_F(CopyKeyTest, UnwritableDestinationIsReported) {
  MakeSource();
  store_.SetProtection(HKEY_CURRENT_USER, u"Dst", MemoryStore::Protection::ReadOnly);
  TExRegistry source;
  TExRegistry target(KEY_READ);
  ASSERT_TRUE(source.Open(u"Src", false));
  ASSERT_TRUE(target.Open(u"Dst", false));
  try {
    target.CopyKeyFromReg(u"Tree", source, false);
    ADD_FAILURE() << "no error";
  } catch (const platform::ERegistryException& error) {
    EXPECT_EQ(u"Unable to open destination", error.Message());
  }
}

TEST_F(CopyKeyTest, CopyValueReplacesValueAndType) {
  Put(u"Src", u"v", REG_BINARY, {9, 8, 7});
  Put(u"Src", u"empty", REG_MULTI_SZ, {});
  Put(u"Dst", u"v", REG_SZ, Utf16Bytes(u"old"));
  TExRegistry source;
  TExRegistry target;
  ASSERT_TRUE(source.Open(u"Src", false));
  ASSERT_TRUE(target.Open(u"Dst", false));
  target.CopyValueFromReg(u"v", source, false);
  target.CopyValueFromReg(u"empty", source, true);
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_BINARY, {9, 8, 7}}), Get(u"Dst", u"v"));
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_MULTI_SZ, {}}), Get(u"Dst", u"empty"));
  EXPECT_EQ(REG_BINARY, Get(u"Src", u"v").first) << "copied, not moved";
  EXPECT_EQ(-1, Get(u"Src", u"empty").first) << "moved";
}

TEST_F(CopyKeyTest, FailingCallGivesItsCode) {
  Put(u"Src", u"v", REG_BINARY, {1});
  MakeKey(u"Dst");
  store_.InjectFault(HKEY_CURRENT_USER, u"Dst", MemoryStore::Operation::SetValue, ERROR_CANTWRITE);
  TExRegistry source;
  TExRegistry target;
  ASSERT_TRUE(source.Open(u"Src", false));
  ASSERT_TRUE(target.Open(u"Dst", false));
  try {
    target.CopyValueFromReg(u"v", source, true);
    ADD_FAILURE() << "no error";
  } catch (const EExRegistryException& error) {
    EXPECT_EQ(ERROR_CANTWRITE, error.Code());
    EXPECT_TRUE(error.Message().ends_with(u":Unable to copy value")) << error.what();
  }
  EXPECT_EQ(REG_BINARY, Get(u"Src", u"v").first) << "a failed move keeps its source";
  try {
    target.CopyValueFromReg(u"missing", source, false);
    ADD_FAILURE() << "no error";
  } catch (const EExRegistryException& error) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.Code());
  }
}

// --- Value types and multi-string values ---------------------------------------------------

TEST_F(CopyKeyTest, GetValueType) {
  Put(u"T", u"q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
  Put(u"T", u"", REG_EXPAND_SZ, Utf16Bytes(u"%A%"));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"T", false));
  EXPECT_EQ(REG_QWORD, reg.GetValueType(u"q"));
  EXPECT_EQ(REG_EXPAND_SZ, reg.GetValueType(u""));
  try {
    reg.GetValueType(u"missing");
    ADD_FAILURE() << "no error";
  } catch (const EExRegistryException& error) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.Code());
    EXPECT_TRUE(error.Message().ends_with(u":Unable to get value type")) << error.what();
  }
}

struct ReadStringsRow {
  const char* name;
  std::uint32_t type;
  Bytes data;
  std::vector<std::u16string> strings;
};

class ReadStringsTest : public test::StoreFixture,
                        public ::testing::WithParamInterface<ReadStringsRow> {};

TEST_P(ReadStringsTest, ReadsUpToTheFirstEmptyString) {
  const ReadStringsRow& row = GetParam();
  Put(u"T", u"m", row.type, row.data);
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"T", false));
  registry::TStringList strings;
  strings.Add(u"stale");
  reg.ReadStrings(u"m", strings);
  EXPECT_EQ(row.strings, strings.Items());
}

const ReadStringsRow kReadStrings[] = {
    {"Two", REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0b\0", 4)), {u"a", u"b"}},
    {"EmptyStringEndsList", REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0\0c\0", 5)), {u"a"}},
    {"NoTerminatingNul", REG_MULTI_SZ, {0x61, 0, 0x62, 0}, {u"ab"}},
    {"OddByteDropped", REG_MULTI_SZ, {0x61, 0, 0x62}, {u"a"}},
    {"NoData", REG_MULTI_SZ, {}, {}},
    {"OnlyNul", REG_MULTI_SZ, {0, 0}, {}},
};

INSTANTIATE_TEST_SUITE_P(Values, ReadStringsTest, ::testing::ValuesIn(kReadStrings),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CopyKeyTest, ReadStringsRefusesOtherValues) {
  Put(u"T", u"s", REG_SZ, Utf16Bytes(u"a"));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"T", false));
  registry::TStringList strings;
  try {
    reg.ReadStrings(u"s", strings);
    ADD_FAILURE() << "no error";
  } catch (const platform::ERegistryException& error) {
    EXPECT_EQ(u"String list expected", error.Message());
  }
  try {
    reg.ReadStrings(u"missing", strings);
    ADD_FAILURE() << "no error";
  } catch (const EExRegistryException& error) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.Code());
    EXPECT_TRUE(error.Message().ends_with(u":Unable read MULTI_SZ value")) << error.what();
  }
}

TEST_F(CopyKeyTest, WriteStringsLaysOutTheList) {
  MakeKey(u"T");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"T", false));
  registry::TStringList strings;
  reg.WriteStrings(u"none", strings);
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_MULTI_SZ, {0, 0}}), Get(u"T", u"none"));

  strings.Add(u"a");
  strings.Add(u"b");
  reg.WriteStrings(u"ab", strings);
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_MULTI_SZ, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}}),
            Get(u"T", u"ab"));

  strings.Add(std::u16string(u"cut\0off", 7));
  strings.Add(u"Grüße €");
  reg.WriteStrings(u"back", strings);
  registry::TStringList read;
  reg.ReadStrings(u"back", read);
  EXPECT_EQ((std::vector<std::u16string>{u"a", u"b", u"cut", u"Grüße €"}), read.Items());

  store_.InjectFault(HKEY_CURRENT_USER, u"T", MemoryStore::Operation::SetValue,
                     ERROR_ACCESS_DENIED);
  try {
    reg.WriteStrings(u"x", strings);
    ADD_FAILURE() << "no error";
  } catch (const EExRegistryException& error) {
    EXPECT_EQ(ERROR_ACCESS_DENIED, error.Code());
    EXPECT_TRUE(error.Message().ends_with(u":Unable to write MULTI_SZ value")) << error.what();
  }
}

}  // namespace
}  // namespace brindel::regfile
