#include "regfile/ExRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ExportSupport.h"
#include "platform/LastError.h"
#include "platform/Text.h"
#include "support/StoreFixture.h"
#include "support/WineDifferences.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;
using test::DwordBytes;
using test::RegLines;
using test::SameRegText;
using test::Utf16Bytes;

// --- Root names -------------------------------------------------------------------------

TEST(RootKeyNameTest, SevenRootsHaveNamesBothWays) {
  const std::vector<std::pair<HKEY, std::u16string_view>> roots = {
      {HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT"},
      {HKEY_CURRENT_USER, u"HKEY_CURRENT_USER"},
      {HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE"},
      {HKEY_USERS, u"HKEY_USERS"},
      {HKEY_PERFORMANCE_DATA, u"HKEY_PERFORMANCE_DATA"},
      {HKEY_CURRENT_CONFIG, u"HKEY_CURRENT_CONFIG"},
      {HKEY_DYN_DATA, u"HKEY_DYN_DATA"}};
  for (const auto& [root, name] : roots) {
    EXPECT_EQ(name, RootKeyName(root));
    EXPECT_EQ(std::optional<HKEY>(root), RootKeyFromName(name));
  }
  EXPECT_EQ(u"", RootKeyName(0));
  EXPECT_EQ(u"", RootKeyName(0x80000007u));
  EXPECT_EQ(std::nullopt, RootKeyFromName(u"hkey_current_user"));
  EXPECT_EQ(std::nullopt, RootKeyFromName(u"HKCU"));
  EXPECT_EQ(std::nullopt, RootKeyFromName(u""));
}

// --- Roots of the key lines ---------------------------------------------------------------

// A store whose remote connections reach its own roots, under handles of their own.
class ConnectingStore : public MemoryStore {
 public:
  LSTATUS ConnectRegistry(std::u16string_view, HKEY root, HKEY& result) override {
    return OpenKey(root, u"", KEY_ALL_ACCESS, result);
  }
};

class ExRegistryRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      HKEY key = 0;
      ASSERT_EQ(0, store_.CreateKey(root, u"Software\\T", KEY_ALL_ACCESS, key));
      const auto data = DwordBytes(root == HKEY_CURRENT_USER ? 1 : 2);
      ASSERT_EQ(0, store_.SetValue(key, u"v", REG_DWORD, data));
      store_.CloseKey(key);
    }
  }

  static std::string Expected(std::string_view rootName, std::string_view dword) {
    const std::string keyLine = "[" + std::string(rootName) + "\\Software\\T]";
    const std::string value = "\"v\"=dword:" + std::string(dword);
    return RegLines({"REGEDIT4", "", keyLine, value, ""});
  }

  ConnectingStore store_;
  ScopedCurrentStore current_{store_};
};

TEST_F(ExRegistryRootTest, SetRootNamesTheKeyLines) {
  TExRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE, u"");
  EXPECT_EQ(HKEY_LOCAL_MACHINE, reg.RootKey());
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_PRED_FORMAT2(SameRegText, Expected("HKEY_LOCAL_MACHINE", "00000002"),
                      test::ExportedText(reg));
}

TEST_F(ExRegistryRootTest, SetRootToTheSameRootKeepsTheOpenKey) {
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  reg.SetRoot(HKEY_CURRENT_USER, u"");
  EXPECT_EQ(u"Software\\T", reg.CurrentPath());
  EXPECT_PRED_FORMAT2(SameRegText, Expected("HKEY_CURRENT_USER", "00000001"),
                      test::ExportedText(reg));
}

TEST_F(ExRegistryRootTest, RootOfSetRootNamesKeyLinesAfterTheRootChanged) {
  TExRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE, u"");
  reg.UseRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  // The data come from HKEY_CURRENT_USER, the name from the root last set.
  EXPECT_PRED_FORMAT2(SameRegText, Expected("HKEY_LOCAL_MACHINE", "00000001"),
                      test::ExportedText(reg));
}

TEST_F(ExRegistryRootTest, RemoteRootWithoutSetRootHasNoName) {
  TExRegistry reg;
  reg.UseRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.Connect(u"\\\\server"));
  EXPECT_FALSE(IsPredefinedRoot(reg.RootKey()));
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_PRED_FORMAT2(SameRegText, Expected("", "00000002"), test::ExportedText(reg));
}

TEST_F(ExRegistryRootTest, RemoteRootOfSetRootIsNamedAfterThePredefinedRoot) {
  TExRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE, u"server");
  EXPECT_FALSE(IsPredefinedRoot(reg.RootKey()));
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_PRED_FORMAT2(SameRegText, Expected("HKEY_LOCAL_MACHINE", "00000002"),
                      test::ExportedText(reg));
}

TEST(ExRegistrySetRootTest, FailedConnectionRaisesButKeepsTheRoot) {
  MemoryStore store;  // refuses every remote connection with ERROR_BAD_NETPATH
  ScopedCurrentStore current(store);
  HKEY key = 0;
  ASSERT_EQ(0, store.CreateKey(HKEY_LOCAL_MACHINE, u"Software\\T", KEY_ALL_ACCESS, key));
  store.CloseKey(key);

  TExRegistry reg;
  try {
    reg.SetRoot(HKEY_LOCAL_MACHINE, u"server");
    FAIL() << "no error raised";
  } catch (const platform::Exception& error) {
    EXPECT_EQ(u"Unable to connect to the registry on server (53)", error.Message());
  }
  EXPECT_EQ(ERROR_BAD_NETPATH, platform::LastErrorCode());
  EXPECT_EQ(HKEY_LOCAL_MACHINE, reg.RootKey());
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_EQ(RegLines({"REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\Software\\T]", ""}),
            test::ExportedText(reg));
}

// --- Walk ---------------------------------------------------------------------------------

struct WalkCall {
  std::u16string key;
  std::u16string value;
  std::uint32_t type;
  std::int32_t size;
  bool operator==(const WalkCall&) const = default;
};

void PrintTo(const WalkCall& call, std::ostream* os) {
  *os << platform::ToUtf8(call.key) << " | " << platform::ToUtf8(call.value) << " | " << call.type
      << " | " << call.size;
}

class WalkTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    Put(u"Software\\T", u"dw", REG_DWORD, DwordBytes(7));
    Put(u"Software\\T", u"bin", REG_BINARY, {1, 2, 3});
    MakeKey(u"Software\\T\\Empty");
    Put(u"Software\\T\\Empty\\Deep", u"", REG_SZ, Utf16Bytes(u"x"));
  }

  std::vector<WalkCall> Record(TExRegistry& reg, bool valuesRequired) {
    std::vector<WalkCall> calls;
    reg.Walk(
        [&](std::u16string_view key, std::u16string_view value, std::uint32_t type,
            const std::uint8_t*, std::int32_t size) {
          calls.push_back({std::u16string(key), std::u16string(value), type, size});
        },
        valuesRequired);
    return calls;
  }
};

TEST_F(WalkTest, VisitsValuesThenSubkeysDepthFirst) {
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  const std::vector<WalkCall> expected = {
      {u"Software\\T", u"dw", REG_DWORD, 4},
      {u"Software\\T", u"bin", REG_BINARY, 3},
      {u"Software\\T\\Empty", u"", REG_NONE, 0},
      {u"Software\\T\\Empty\\Deep", u"", REG_SZ, 4},
  };
  EXPECT_EQ(expected, Record(reg, true));
  EXPECT_EQ(expected, Record(reg, false));
  // The walk opens keys of its own and leaves the object's key as it was.
  EXPECT_EQ(u"Software\\T", reg.CurrentPath());
  EXPECT_EQ(1u, store_.OpenHandleCount());
}

TEST_F(WalkTest, GivesTheDataOfEachValue) {
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  std::vector<test::Bytes> data;
  reg.Walk([&](std::u16string_view, std::u16string_view, std::uint32_t, const std::uint8_t* bytes,
               std::int32_t size) { data.emplace_back(bytes, bytes + size); },
           true);
  const std::vector<test::Bytes> expected = {DwordBytes(7), {1, 2, 3}, {}, Utf16Bytes(u"x")};
  EXPECT_EQ(expected, data);
}

TEST_F(WalkTest, WithoutCallbackNothingHappens) {
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_NO_THROW(reg.Walk(TWalkProc(), true));
}

TEST_F(WalkTest, ErrorOfTheCallbackForOneValueIsDropped) {
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  std::vector<std::u16string> seen;
  reg.Walk(
      [&](std::u16string_view key, std::u16string_view value, std::uint32_t, const std::uint8_t*,
          std::int32_t) {
        seen.push_back(std::u16string(key) + u":" + std::u16string(value));
        if (value == u"dw")
          throw platform::ERegistryException(u"refused");
      },
      true);
  const std::vector<std::u16string> expected = {
      u"Software\\T:dw", u"Software\\T:bin", u"Software\\T\\Empty:", u"Software\\T\\Empty\\Deep:"};
  EXPECT_EQ(expected, seen);
}

TEST_F(WalkTest, ErrorOfTheCallbackForAKeyWithoutValuesEndsTheWalk) {
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_THROW(reg.Walk(
                   [](std::u16string_view, std::u16string_view value, std::uint32_t,
                      const std::uint8_t*, std::int32_t) {
                     if (value.empty())
                       throw platform::ERegistryException(u"refused");
                   },
                   true),
               platform::ERegistryException);
  EXPECT_EQ(1u, store_.OpenHandleCount());
}

TEST_F(WalkTest, KeyInfoFailureRaisesWithItsCode) {
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"Software\\T\\Empty",
                                 MemoryStore::Operation::QueryInfo, ERROR_BADKEY));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  try {
    Record(reg, false);
    FAIL() << "no error raised";
  } catch (const EExRegistryException& error) {
    EXPECT_EQ(ERROR_BADKEY, error.Code());
    EXPECT_EQ(test::WindowsErrorText(
                  ERROR_BADKEY, u"Error 1010 : The configuration registry key is invalid.\r\n") +
                  u":Unable to query key info",
              error.Message());
  }
  EXPECT_EQ(1u, store_.OpenHandleCount());
}

// --- GetValuesSize ------------------------------------------------------------------------

TEST_F(WalkTest, ValuesSizeAddsUpTheWholeTree) {
  MakeKey(u"Software\\S");
  Put(u"Software\\S", u"dw", REG_DWORD, DwordBytes(1));
  Put(u"Software\\S\\Sub", u"bin", REG_BINARY, test::Bytes(10, 0xFF));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\S", false));
  std::int32_t size = 0;
  reg.GetValuesSize(size);
  EXPECT_EQ(14, size);
}

TEST_F(WalkTest, ValuesSizeOfNothingIsMinusOne) {
  MakeKey(u"Software\\None\\Below");
  Put(u"Software\\Zero", u"", REG_BINARY, {});
  Put(u"Software\\Zero\\Sub", u"n", REG_NONE, {});
  TExRegistry reg;
  std::int32_t size = 0;
  ASSERT_TRUE(reg.Open(u"Software\\None", false));
  reg.GetValuesSize(size);
  EXPECT_EQ(-1, size);
  ASSERT_TRUE(reg.Open(u"\\Software\\Zero", false));
  size = 0;
  reg.GetValuesSize(size);
  EXPECT_EQ(-1, size);
}

// --- EExRegistryException -----------------------------------------------------------------

TEST(EExRegistryExceptionTest, MessageIsTheErrorTextAndWhatFailed) {
  const auto error = EExRegistryException::Create(5, u"Unable to copy value");
  EXPECT_EQ(5, error.Code());
  EXPECT_EQ(
      test::WindowsErrorText(5, u"Error 5 : Access is denied.\r\n") + u":Unable to copy value",
      error.Message());

  const auto unknown = EExRegistryException::Create(4711, u"x");
  EXPECT_EQ(u"Error 4711:x", unknown.Message());
  const platform::ERegistryException& asRegistryError = unknown;
  EXPECT_EQ(u"Error 4711:x", asRegistryError.Message());
}

TEST(EExRegistryExceptionTest, LastErrorIsTheThreadsLastCode) {
  platform::SetLastErrorCode(ERROR_FILE_NOT_FOUND);
  const auto error = EExRegistryException::CreateLastError(u"Unable to get value type");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.Code());
  EXPECT_EQ(test::WindowsErrorText(2, u"Error 2 : The system cannot find the file specified.\r\n") +
                u":Unable to get value type",
            error.Message());
  platform::SetLastErrorCode(0);
}

TEST(EExRegistryExceptionTest, CodeIsSigned) {
  const auto error = EExRegistryException::Create(0xFFFFFFFFu, u"x");
  EXPECT_EQ(-1, error.Code());
  EXPECT_EQ(u"Error -1:x", error.Message());
}

}  // namespace
}  // namespace brindel::regfile
