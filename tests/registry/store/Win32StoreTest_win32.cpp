// What only the live registry has: the 32-bit and 64-bit views, connecting to a
// machine, flushing, and handles that are Windows' own. The behaviour that every store
// shares is in StoreConformanceTest.

#include <gtest/gtest.h>

#include <process.h>

#include <chrono>
#include <cstdlib>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/Win32Store.h"

namespace brindel::registry::store {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A test's own keys: Software\BrindelTest\<process>-<n> below HKEY_CURRENT_USER and
// below HKEY_LOCAL_MACHINE, removed with everything below them afterwards (in both
// views of the machine key).
class Win32StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::u16string process = platform::Widen(std::to_string(::_getpid()));
    for (int attempt = 0; attempt < 1000 && name_.empty(); ++attempt) {
      const std::u16string name = process + u"-" + platform::Widen(std::to_string(attempt));
      bool created = false;
      HKEY key = 0;
      ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, kUserScratch + name,
                                                KEY_ALL_ACCESS, key, &created));
      store_.CloseKey(key);
      if (!created)
        continue;
      // Keys of this name left below the machine key by a run that was killed: the
      // name is taken.
      if (OpenAndClose(HKEY_LOCAL_MACHINE, kMachineScratch + name, KEY_READ) ==
              ERROR_FILE_NOT_FOUND &&
          OpenAndClose(HKEY_LOCAL_MACHINE, kMachineScratch32 + name, KEY_READ) ==
              ERROR_FILE_NOT_FOUND) {
        name_ = name;
      } else {
        store_.DeleteTree(HKEY_CURRENT_USER, kUserScratch + name);
      }
    }
    ASSERT_FALSE(name_.empty());
  }

  void TearDown() override {
    if (name_.empty())
      return;
    const struct {
      HKEY root;
      const std::u16string& parent;
    } scratch[] = {{HKEY_CURRENT_USER, kUserScratch},
                   {HKEY_LOCAL_MACHINE, kMachineScratch},
                   {HKEY_LOCAL_MACHINE, kMachineScratch32}};
    for (const auto& [root, parent] : scratch) {
      store_.DeleteTree(root, parent + name_);
      // Only when no other test program still works below it.
      store_.DeleteKey(root, parent, 0);
    }
  }

  std::u16string User(std::u16string_view path = {}) const {
    return kUserScratch + name_ + (path.empty() ? u"" : u"\\" + std::u16string(path));
  }
  std::u16string Machine(std::u16string_view path = {}) const {
    return kMachineScratch + name_ + (path.empty() ? u"" : u"\\" + std::u16string(path));
  }

  LSTATUS OpenAndClose(HKEY root, std::u16string_view path, REGSAM access) {
    HKEY key = 0;
    const LSTATUS status = store_.OpenKey(root, path, access, key);
    if (status == ERROR_SUCCESS) {
      EXPECT_EQ(ERROR_SUCCESS, store_.CloseKey(key));
    }
    return status;
  }

  static inline const std::u16string kUserScratch = u"Software\\BrindelTest\\";
  static inline const std::u16string kMachineScratch = u"SOFTWARE\\BrindelTest\\";
  // Where the 32-bit view of HKEY_LOCAL_MACHINE\SOFTWARE keeps its keys, as a 64-bit
  // process names it.
  static inline const std::u16string kMachineScratch32 = u"SOFTWARE\\WOW6432Node\\BrindelTest\\";

  Win32Store store_;
  std::u16string name_;
};

// --- The 32-bit and 64-bit views ------------------------------------------------------

struct TViewCase {
  const char* name;
  HKEY root;
  REGSAM createdIn;        // the view flag the key is made with
  REGSAM openedIn;         // and the one it is looked for with
  bool explicit32BitPath;  // looked for by its WOW6432Node path instead
  LSTATUS expected;
};

void PrintTo(const TViewCase& row, std::ostream* out) {
  *out << row.name;
}

class RegistryViewTest : public Win32StoreTest, public ::testing::WithParamInterface<TViewCase> {};

// The view flags reach Windows unchanged: HKEY_LOCAL_MACHINE\SOFTWARE is redirected
// for the 32-bit view, HKEY_CURRENT_USER\Software is shared by both.
TEST_P(RegistryViewTest, KeyIsSeenInTheViewsThatShareIt) {
  const TViewCase& c = GetParam();
  const bool machine = c.root == HKEY_LOCAL_MACHINE;
  const std::u16string path = machine ? Machine(u"Sicht") : User(u"Sicht");
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(c.root, path, KEY_ALL_ACCESS | c.createdIn, key));
  ASSERT_EQ(ERROR_SUCCESS, store_.CloseKey(key));
  const std::u16string lookedFor =
      c.explicit32BitPath ? kMachineScratch32 + name_ + u"\\Sicht" : path;
  EXPECT_EQ(c.expected, OpenAndClose(c.root, lookedFor, KEY_READ | c.openedIn));
}

INSTANTIATE_TEST_SUITE_P(
    Views, RegistryViewTest,
    ::testing::Values(TViewCase{"Machine32In32", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
                                KEY_WOW64_32KEY, false, ERROR_SUCCESS},
                      TViewCase{"Machine32In64", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
                                KEY_WOW64_64KEY, false, ERROR_FILE_NOT_FOUND},
                      TViewCase{"Machine32InNativeView", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, 0,
                                false, ERROR_FILE_NOT_FOUND},
                      TViewCase{"Machine32InWow6432Node", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
                                KEY_WOW64_64KEY, true, ERROR_SUCCESS},
                      TViewCase{"Machine64In32", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY,
                                KEY_WOW64_32KEY, false, ERROR_FILE_NOT_FOUND},
                      TViewCase{"Machine64InNativeView", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, 0,
                                false, ERROR_SUCCESS},
                      TViewCase{"User32In64", HKEY_CURRENT_USER, KEY_WOW64_32KEY, KEY_WOW64_64KEY,
                                false, ERROR_SUCCESS},
                      TViewCase{"User64In32", HKEY_CURRENT_USER, KEY_WOW64_64KEY, KEY_WOW64_32KEY,
                                false, ERROR_SUCCESS}),
    [](const ::testing::TestParamInfo<TViewCase>& row) { return std::string(row.param.name); });

// DeleteKey passes its view flags on: a key of the 32-bit view is not found in the
// 64-bit one, and is deleted in its own.
TEST_F(Win32StoreTest, DeleteKeyWorksInTheViewItIsGiven) {
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_LOCAL_MACHINE, Machine(u"Alt"),
                                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, key));
  store_.CloseKey(key);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            store_.DeleteKey(HKEY_LOCAL_MACHINE, Machine(u"Alt"), KEY_WOW64_64KEY));
  EXPECT_EQ(ERROR_SUCCESS,
            OpenAndClose(HKEY_LOCAL_MACHINE, Machine(u"Alt"), KEY_READ | KEY_WOW64_32KEY));
  // Only the view bits of what it is given count.
  EXPECT_EQ(ERROR_SUCCESS,
            store_.DeleteKey(HKEY_LOCAL_MACHINE, Machine(u"Alt"), KEY_WRITE | KEY_WOW64_32KEY));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            OpenAndClose(HKEY_LOCAL_MACHINE, Machine(u"Alt"), KEY_READ | KEY_WOW64_32KEY));
}

// --- Connecting -----------------------------------------------------------------------

// This machine, by no name or by its own, gives a root that reads the local registry.
// HKEY_LOCAL_MACHINE, as a remote machine offers it too.
TEST_F(Win32StoreTest, ConnectingToThisMachineGivesItsRegistry) {
  const wchar_t* computer = ::_wgetenv(L"COMPUTERNAME");
  ASSERT_NE(nullptr, computer) << "COMPUTERNAME is not set";
  const std::u16string own(reinterpret_cast<const char16_t*>(computer));
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store_.CreateKey(HKEY_LOCAL_MACHINE, Machine(u"Fern"), KEY_ALL_ACCESS, key));
  store_.CloseKey(key);
  for (const std::u16string& machine : {std::u16string(), u"\\\\" + own}) {
    SCOPED_TRACE(platform::ToUtf8(machine));
    HKEY remote = 0;
    ASSERT_EQ(ERROR_SUCCESS, store_.ConnectRegistry(machine, HKEY_LOCAL_MACHINE, remote));
    EXPECT_NE(0u, remote);
    EXPECT_EQ(ERROR_SUCCESS, OpenAndClose(remote, Machine(u"Fern"), KEY_READ));
    EXPECT_EQ(ERROR_SUCCESS, store_.CloseKey(remote));
  }
}

TEST_F(Win32StoreTest, ConnectingToAMachineThatDoesNotExistFails) {
  HKEY remote = 0x1234;
  EXPECT_EQ(ERROR_BAD_NETPATH, store_.ConnectRegistry(u"\\\\brindel-gibt-es-nicht.invalid",
                                                      HKEY_LOCAL_MACHINE, remote));
  EXPECT_EQ(0u, remote);
}

// --- Handles --------------------------------------------------------------------------

// The predefined roots are this program's numbers; the handles Windows gives out are
// none of them, and closing a root leaves it usable.
TEST_F(Win32StoreTest, RootsAndHandlesMapBothWays) {
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.OpenKey(HKEY_CURRENT_USER, User(), KEY_ALL_ACCESS, key));
  EXPECT_FALSE(IsPredefinedRoot(key));
  EXPECT_EQ(ERROR_SUCCESS, store_.SetValue(key, u"v", REG_DWORD, Bytes{1, 0, 0, 0}));
  EXPECT_EQ(ERROR_SUCCESS, store_.CloseKey(key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, store_.CloseKey(key)) << "closed twice";

  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_USERS}) {
    SCOPED_TRACE(root);
    EXPECT_EQ(ERROR_SUCCESS, store_.CloseKey(root));
    KeyInfo info;
    EXPECT_EQ(ERROR_SUCCESS, store_.QueryInfoKey(root, info)) << "a closed root stays usable";
    EXPECT_LT(0u, info.subKeys);
  }
  EXPECT_EQ(ERROR_SUCCESS, OpenAndClose(HKEY_CURRENT_USER, User(), KEY_READ));
}

// --- Rights, deleting, flushing --------------------------------------------------------

TEST_F(Win32StoreTest, ReadHandleCannotChangeValues) {
  HKEY writer = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store_.CreateKey(HKEY_CURRENT_USER, User(u"Rechte"), KEY_ALL_ACCESS, writer));
  ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(writer, u"Wert", REG_BINARY, Bytes{1, 2}));
  store_.CloseKey(writer);
  HKEY reader = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.OpenKey(HKEY_CURRENT_USER, User(u"Rechte"), KEY_READ, reader));
  EXPECT_EQ(ERROR_ACCESS_DENIED, store_.SetValue(reader, u"Wert", REG_BINARY, Bytes{3}));
  EXPECT_EQ(ERROR_ACCESS_DENIED, store_.SetValue(reader, u"Neu", REG_BINARY, Bytes{3}));
  EXPECT_EQ(ERROR_ACCESS_DENIED, store_.DeleteValue(reader, u"Wert"));
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  Bytes data;
  EXPECT_EQ(ERROR_SUCCESS, store_.QueryValue(reader, u"Wert", type, size, &data));
  EXPECT_EQ((Bytes{1, 2}), data);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, store_.QueryValue(reader, u"Neu", type, size, nullptr));
  store_.CloseKey(reader);
}

TEST_F(Win32StoreTest, KeyWithSubKeysIsNotDeleted) {
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store_.CreateKey(HKEY_CURRENT_USER, User(u"Eltern\\Kind"), KEY_ALL_ACCESS, key));
  store_.CloseKey(key);
  EXPECT_EQ(ERROR_ACCESS_DENIED, store_.DeleteKey(HKEY_CURRENT_USER, User(u"Eltern"), 0));
  EXPECT_EQ(ERROR_SUCCESS, OpenAndClose(HKEY_CURRENT_USER, User(u"Eltern\\Kind"), KEY_READ));
}

TEST_F(Win32StoreTest, FlushWritesChangesOfAKeyOrARoot) {
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store_.CreateKey(HKEY_CURRENT_USER, User(u"Flush"), KEY_ALL_ACCESS, key));
  ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, u"v", REG_SZ, Bytes{'a', 0, 0, 0}));
  EXPECT_EQ(ERROR_SUCCESS, store_.FlushKey(key));
  EXPECT_EQ(ERROR_SUCCESS, store_.FlushKey(HKEY_CURRENT_USER));
  store_.CloseKey(key);
  EXPECT_EQ(ERROR_INVALID_HANDLE, store_.FlushKey(key)) << "a closed handle";
}

// --- Values -----------------------------------------------------------------------------

// A value larger than any first guess arrives whole, also under the longest name, by
// query and by enumeration.
TEST_F(Win32StoreTest, LargeValueArrivesWhole) {
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store_.CreateKey(HKEY_CURRENT_USER, User(u"Daten"), KEY_ALL_ACCESS, key));
  Bytes large(1 << 20);
  for (std::size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  const std::u16string longestName(kMaxValueNameLength, u'n');
  ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, longestName, REG_BINARY, large));
  ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, u"klein", REG_DWORD, Bytes{1, 0, 0, 0}));

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.QueryValue(key, longestName, type, size, nullptr));
  EXPECT_EQ(large.size(), size);
  Bytes data;
  ASSERT_EQ(ERROR_SUCCESS, store_.QueryValue(key, longestName, type, size, &data));
  EXPECT_EQ(REG_BINARY, type);
  EXPECT_EQ(large.size(), size);
  EXPECT_TRUE(data == large) << "the large value differs";

  std::vector<std::u16string> names;
  for (std::uint32_t index = 0;; ++index) {
    std::u16string name;
    RegValue value;
    if (store_.EnumValue(key, index, name, &value) != ERROR_SUCCESS)
      break;
    if (name == longestName) {
      EXPECT_EQ(REG_BINARY, value.type);
      EXPECT_TRUE(value.data == large) << "the large value differs";
    }
    std::u16string nameOnly;
    ASSERT_EQ(ERROR_SUCCESS, store_.EnumValue(key, index, nameOnly, nullptr));
    EXPECT_EQ(name, nameOnly);
    names.push_back(name);
  }
  EXPECT_EQ(2u, names.size());
  store_.CloseKey(key);
}

struct TTextCase {
  const char* name;
  std::uint32_t type;
  Bytes data;
};

void PrintTo(const TTextCase& row, std::ostream* out) {
  *out << row.name;
}

class TextDataTest : public Win32StoreTest, public ::testing::WithParamInterface<TTextCase> {};

// Text data are stored with exactly the bytes given, also when they lack their NUL and
// the memory after them holds one: the registry is not left to add it.
TEST_P(TextDataTest, AreStoredAsGiven) {
  const TTextCase& c = GetParam();
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, User(u"Text"), KEY_ALL_ACCESS, key));
  Bytes memory = c.data;
  memory.insert(memory.end(), 8, 0);
  ASSERT_EQ(ERROR_SUCCESS,
            store_.SetValue(key, u"v", c.type, std::span(memory.data(), c.data.size())));
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  Bytes stored;
  ASSERT_EQ(ERROR_SUCCESS, store_.QueryValue(key, u"V", type, size, &stored));
  EXPECT_EQ(c.type, type);
  EXPECT_EQ(c.data, stored);
  store_.CloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextDataTest,
    ::testing::Values(TTextCase{"WithoutNul", REG_SZ, {'a', 0, 'b', 0}},
                      TTextCase{"WithNul", REG_SZ, {'a', 0, 0, 0}},
                      TTextCase{"OddSize", REG_SZ, {'a', 0, 0}},
                      TTextCase{"OneByte", REG_SZ, {'a'}}, TTextCase{"Empty", REG_SZ, {}},
                      TTextCase{"ExpandWithoutNul", REG_EXPAND_SZ, {'%', 0, 'X', 0, '%', 0}},
                      TTextCase{"MultiWithoutEnd", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0}},
                      TTextCase{"BinaryIsNoText", REG_BINARY, {'a', 0, 'b', 0}}),
    [](const ::testing::TestParamInfo<TTextCase>& row) { return std::string(row.param.name); });

// The last write time is a FILETIME of the moment of the change.
TEST_F(Win32StoreTest, LastWriteTimeIsTheTimeOfTheChange) {
  // FILETIME counts 100-ns steps from 1601; the system clock counts from 1970.
  auto now = [] {
    const auto since1970 = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return (static_cast<std::uint64_t>(since1970.count()) + 11644473600ull) * 10000000ull;
  };
  constexpr std::uint64_t kSecond = 10000000ull;
  const std::uint64_t before = now() - 2 * kSecond;
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store_.CreateKey(HKEY_CURRENT_USER, User(u"Zeit"), KEY_ALL_ACCESS, key));
  ASSERT_EQ(ERROR_SUCCESS, store_.SetValue(key, u"v", REG_BINARY, Bytes{1}));
  KeyInfo info;
  ASSERT_EQ(ERROR_SUCCESS, store_.QueryInfoKey(key, info));
  const std::uint64_t after = now() + 2 * kSecond;
  EXPECT_LE(before, info.lastWriteTime);
  EXPECT_GE(after, info.lastWriteTime);
  store_.CloseKey(key);
}

}  // namespace
}  // namespace brindel::registry::store
