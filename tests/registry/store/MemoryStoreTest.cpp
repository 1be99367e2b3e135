#include "registry/store/MemoryStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/Text.h"

namespace brindel::registry::store {
namespace {

// What only the memory store has: protection marks and injected faults. The behaviour
// every store shares is in the conformance cases.
class MemoryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, u"A\\B", KEY_ALL_ACCESS, key));
    const std::uint8_t data[] = {1};
    ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, u"v", REG_BINARY, data));
    store_.CloseKey(key);
  }

  LSTATUS Open(std::u16string_view path, REGSAM access) {
    HKEY key = 0;
    const LSTATUS status = store_.OpenKey(HKEY_CURRENT_USER, path, access, key);
    if (status == ERROR_SUCCESS)
      store_.CloseKey(key);
    return status;
  }

  MemoryStore store_;
};

TEST_F(MemoryStoreTest, ReadOnlyKeyOpensForReadingOnly) {
  ASSERT_TRUE(store_.SetProtection(HKEY_CURRENT_USER, u"A\\B", MemoryStore::Protection::ReadOnly));
  EXPECT_EQ(ERROR_SUCCESS, Open(u"A\\B", KEY_READ));
  EXPECT_EQ(ERROR_SUCCESS, Open(u"A\\B", KEY_READ | KEY_WOW64_64KEY));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Open(u"A\\B", KEY_WRITE));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Open(u"A\\B", KEY_ALL_ACCESS));
  HKEY parent = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.OpenKey(HKEY_CURRENT_USER, u"A", KEY_ALL_ACCESS, parent));
  EXPECT_EQ(ERROR_ACCESS_DENIED, store_.DeleteKey(parent, u"B", 0));
  HKEY child = 0;
  EXPECT_EQ(ERROR_ACCESS_DENIED, store_.CreateKey(parent, u"B\\C", KEY_ALL_ACCESS, child));
  store_.CloseKey(parent);
}

TEST_F(MemoryStoreTest, UnreadableKeyDoesNotOpen) {
  ASSERT_TRUE(
      store_.SetProtection(HKEY_CURRENT_USER, u"A\\B", MemoryStore::Protection::Unreadable));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Open(u"A\\B", KEY_READ));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Open(u"A\\B", 0x1));
  EXPECT_EQ(ERROR_SUCCESS, Open(u"A", KEY_READ)) << "its parent is not affected";
  EXPECT_FALSE(
      store_.SetProtection(HKEY_CURRENT_USER, u"Missing", MemoryStore::Protection::ReadOnly));
}

TEST_F(MemoryStoreTest, InjectedFaultHitsOnlyItsOperationAndKey) {
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"A\\B", MemoryStore::Operation::QueryValueData,
                                 ERROR_INVALID_DATA));
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.OpenKey(HKEY_CURRENT_USER, u"a\\b", KEY_READ, key));
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> data;
  EXPECT_EQ(ERROR_SUCCESS, store_.QueryValue(key, u"v", type, size, nullptr));
  EXPECT_EQ(1u, size);
  EXPECT_EQ(ERROR_INVALID_DATA, store_.QueryValue(key, u"v", type, size, &data));
  store_.CloseKey(key);

  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"A\\B", MemoryStore::Operation::QueryValueData,
                                 ERROR_SUCCESS));
  ASSERT_EQ(ERROR_SUCCESS, store_.OpenKey(HKEY_CURRENT_USER, u"A\\B", KEY_READ, key));
  EXPECT_EQ(ERROR_SUCCESS, store_.QueryValue(key, u"v", type, size, &data));
  store_.CloseKey(key);
  EXPECT_FALSE(store_.InjectFault(HKEY_CURRENT_USER, u"Missing", MemoryStore::Operation::Open, 5));
}

TEST_F(MemoryStoreTest, FaultOnOpenAndCreate) {
  ASSERT_TRUE(
      store_.InjectFault(HKEY_CURRENT_USER, u"A", MemoryStore::Operation::Create, ERROR_CANTWRITE));
  HKEY key = 0;
  EXPECT_EQ(ERROR_CANTWRITE, store_.CreateKey(HKEY_CURRENT_USER, u"A\\New", KEY_ALL_ACCESS, key));
  EXPECT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, u"A\\B", KEY_ALL_ACCESS, key))
      << "opening an existing key creates nothing";
  store_.CloseKey(key);
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"A\\B", MemoryStore::Operation::Open, 1011));
  EXPECT_EQ(1011, Open(u"A\\B", KEY_READ));
}

// Operation number N after FailOperation fails, whatever it is and whichever key it
// works on, and only that one; closing a handle does not count.
TEST(MemoryStoreFailOperationTest, FailsExactlyTheOperationOfItsNumber) {
  const std::uint8_t data[] = {2};
  // One counted operation each, in this order; each needs the ones before it.
  const std::vector<std::function<LSTATUS(MemoryStore&, HKEY&)>> steps = {
      [](MemoryStore& store, HKEY&) {
        HKEY made = 0;
        const LSTATUS status = store.CreateKey(HKEY_CURRENT_USER, u"A\\B", KEY_ALL_ACCESS, made);
        store.CloseKey(made);
        return status;
      },
      [](MemoryStore& store, HKEY& key) {
        return store.OpenKey(HKEY_CURRENT_USER, u"A\\B", KEY_ALL_ACCESS, key);
      },
      [&data](MemoryStore& store, HKEY& key) {
        return store.SetValue(key, u"w", REG_BINARY, data);
      },
      [](MemoryStore& store, HKEY& key) {
        KeyInfo info;
        return store.QueryInfoKey(key, info);
      },
      [](MemoryStore& store, HKEY&) { return store.DeleteKey(HKEY_CURRENT_USER, u"A\\B", 0); },
  };
  for (std::uint64_t failing = 1; failing <= steps.size() + 1; ++failing) {
    SCOPED_TRACE("failing " + std::to_string(failing));
    MemoryStore store;
    store.FailOperation(failing, ERROR_CANTWRITE);
    HKEY key = 0;
    for (std::uint64_t step = 1; step <= steps.size(); ++step) {
      const LSTATUS status = steps[step - 1](store, key);
      EXPECT_EQ(step == failing ? ERROR_CANTWRITE : ERROR_SUCCESS, status) << "step " << step;
      if (status != ERROR_SUCCESS)
        break;
    }
    EXPECT_EQ(std::min<std::uint64_t>(failing, steps.size()), store.OperationCount());
    store.CloseKey(key);
    EXPECT_EQ(0u, store.OpenHandleCount());
  }
  // 0 takes the failure back.
  MemoryStore store;
  store.FailOperation(1, ERROR_CANTWRITE);
  store.FailOperation(0, ERROR_CANTWRITE);
  HKEY key = 0;
  EXPECT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, u"A", KEY_ALL_ACCESS, key));
  store.CloseKey(key);
  EXPECT_EQ(1u, store.OperationCount());
}

// A key of many values finds them through an index; each lookup must still be the
// registry's: without regard to letter case, replaced values keeping their place and
// spelling, and every value after a removed one found where it now is.
TEST_F(MemoryStoreTest, KeyOfManyValuesFindsEachByNameAsAKeyOfFew) {
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, u"Many", KEY_ALL_ACCESS, key));
  constexpr int kValues = 1000;
  const auto name = [](int i) {
    // Letters whose upper case lies beyond ASCII, and one that is an ASCII letter's.
    return u"Wert \u00E4\u0131 " + platform::Widen(std::to_string(i));
  };
  for (int i = 0; i < kValues; ++i) {
    const std::uint8_t data[] = {static_cast<std::uint8_t>(i)};
    ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, name(i), REG_BINARY, data));
  }
  const auto byValue = [&](std::u16string_view asked) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> data;
    const LSTATUS status = store_.QueryValue(key, asked, type, size, &data);
    return status == ERROR_SUCCESS && data.size() == 1 ? static_cast<int>(data[0]) : -status;
  };
  // Another spelling of the same names: "ä" and "ı" upper-cased as "Ä" and "I".
  const auto otherCase = [](int i) {
    return u"WERT \u00C4I " + platform::Widen(std::to_string(i));
  };
  EXPECT_EQ(7, byValue(otherCase(7)));
  EXPECT_EQ(999 % 256, byValue(otherCase(999)));
  EXPECT_EQ(-ERROR_FILE_NOT_FOUND, byValue(u"Wert \u00E4\u0131 1000"));

  const std::uint8_t replaced[] = {0xEE};
  ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, otherCase(500), REG_DWORD, replaced));
  std::u16string at;
  ASSERT_EQ(ERROR_SUCCESS, store_.EnumValue(key, 500, at, nullptr));
  EXPECT_EQ(name(500), at) << "a replaced value keeps its place and spelling";

  ASSERT_EQ(ERROR_SUCCESS, store_.DeleteValue(key, otherCase(10)));
  EXPECT_EQ(-ERROR_FILE_NOT_FOUND, byValue(name(10)));
  EXPECT_EQ(11, byValue(name(11)));
  EXPECT_EQ(0xEE, byValue(name(500)));
  ASSERT_EQ(ERROR_SUCCESS, store_.EnumValue(key, 10, at, nullptr));
  EXPECT_EQ(name(11), at);
  const std::uint8_t again[] = {0x10};
  ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, name(10), REG_BINARY, again));
  ASSERT_EQ(ERROR_SUCCESS, store_.EnumValue(key, kValues - 1, at, nullptr));
  EXPECT_EQ(name(10), at) << "a value set again after its removal comes last";
  EXPECT_EQ(0x10, byValue(otherCase(10)));
  store_.CloseKey(key);
}

// Sub keys made in any order are listed sorted; each is found by name without regard
// to letter case, also one deleted and made again before the key was listed.
TEST_F(MemoryStoreTest, KeyOfManySubKeysListsThemSortedWhateverTheOrderTheyCameIn) {
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, u"Keys", KEY_ALL_ACCESS, key));
  constexpr int kKeys = 500;
  std::vector<std::u16string> names;
  for (int i = 0; i < kKeys; ++i) {
    // 7 and 500 have no common divisor: every number once, in a scrambled order.
    const int n = (i * 7) % kKeys;
    names.push_back(u"K\u00E4 " + platform::Widen(std::to_string(n)));
    HKEY sub = 0;
    ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(key, names.back(), KEY_ALL_ACCESS, sub));
    store_.CloseKey(sub);
  }
  EXPECT_EQ(ERROR_SUCCESS, Open(u"Keys\\K\u00C4 499", KEY_READ));
  ASSERT_EQ(ERROR_SUCCESS, store_.DeleteKey(key, u"k\u00E4 250", 0));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(u"Keys\\K\u00E4 250", KEY_READ));
  HKEY again = 0;
  bool created = false;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(key, u"K\u00C4 250", KEY_ALL_ACCESS, again, &created));
  EXPECT_TRUE(created);
  store_.CloseKey(again);
  ASSERT_EQ(ERROR_SUCCESS, store_.DeleteKey(key, u"K\u00E4 3", 0));

  KeyInfo info;
  ASSERT_EQ(ERROR_SUCCESS, store_.QueryInfoKey(key, info));
  EXPECT_EQ(static_cast<std::uint32_t>(kKeys - 1), info.subKeys);
  std::vector<std::u16string> listed;
  std::u16string name;
  for (std::uint32_t i = 0; store_.EnumKey(key, i, name) == ERROR_SUCCESS; ++i)
    listed.push_back(name);
  std::erase(names, u"K\u00E4 3");
  std::replace(names.begin(), names.end(), std::u16string(u"K\u00E4 250"),
               std::u16string(u"K\u00C4 250"));
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    return platform::CompareTextIgnoreCase(a, b) < 0;
  });
  EXPECT_EQ(names, listed);
  store_.CloseKey(key);
}

// The registry is 512 levels deep at most; a deeper key is refused at every level a
// path is made from, and nothing of it is made.
TEST_F(MemoryStoreTest, KeysDeeperThanTheRegistryAreRefused) {
  std::u16string path = u"D";
  for (std::size_t level = 2; level <= kMaxKeyDepth; ++level)
    path += u"\\D";
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
  HKEY deeper = 0;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, store_.CreateKey(key, u"E", KEY_ALL_ACCESS, deeper));
  EXPECT_EQ(0u, deeper);
  store_.CloseKey(key);
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            store_.CreateKey(HKEY_CURRENT_USER, u"F\\" + path, KEY_ALL_ACCESS, deeper));
  EXPECT_EQ(ERROR_SUCCESS, Open(path, KEY_READ));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(path + u"\\E", KEY_READ));
}

TEST_F(MemoryStoreTest, HandlesAreCountedUntilClosed) {
  HKEY a = 0;
  HKEY b = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.OpenKey(HKEY_CURRENT_USER, u"A", KEY_READ, a));
  ASSERT_EQ(ERROR_SUCCESS, store_.OpenKey(a, u"B", KEY_READ, b));
  EXPECT_EQ(2u, store_.OpenHandleCount());
  EXPECT_EQ(ERROR_SUCCESS, store_.CloseKey(a));
  EXPECT_EQ(ERROR_INVALID_HANDLE, store_.CloseKey(a));
  EXPECT_EQ(ERROR_SUCCESS, store_.CloseKey(b));
  EXPECT_EQ(0u, store_.OpenHandleCount());
  EXPECT_EQ(ERROR_SUCCESS, store_.CloseKey(HKEY_CURRENT_USER)) << "roots are never closed";
}

}  // namespace
}  // namespace brindel::registry::store
