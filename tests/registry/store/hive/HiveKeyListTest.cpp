// The sub key lists the store leaves in a hive file: in the order Windows searches
// them, with the hashes Windows compares, and with the last-write times of the keys
// that changed. Read back with a reader of our own that shares no code with the
// store, and with regfexport.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/hive/HiveStore.h"
#include "registry/store/hive/EmptyHive.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

using testing::RawHive;
using testing::RegfExport;
using testing::TempFolder;

std::uint64_t FileTimeNow() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return 116444736000000000ull + static_cast<std::uint64_t>(since1970.count()) * 10;
}

class HiveKeyListTest : public ::testing::Test {
 protected:
  void SetUp() override { hive::WriteEmptyHive(hive_); }

  // Opens the hive, applies `change` and writes it.
  template <typename Change>
  void Session(Change change) {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    change(store);
    ASSERT_EQ(ERROR_SUCCESS, store.Close()) << platform::ToUtf8(store.LastWriteError());
  }

  static void CreateAll(HiveStore& store, std::initializer_list<std::u16string_view> names) {
    for (auto name : names) {
      HKEY key = 0;
      ASSERT_EQ(ERROR_SUCCESS,
                store.CreateKey(HKEY_CURRENT_USER, u"Software\\Order\\" + std::u16string(name),
                                KEY_ALL_ACCESS, key));
      store.CloseKey(key);
    }
  }

  // Windows upper-cases each UTF-16 code unit and compares code units: '_' (0x5F)
  // sorts after 'Z' (0x5A), 'ä' counts as 'Ä' (0xC4) and so after every ASCII letter.
  // A writer that compared UTF-8 bytes instead would list a_b, aZ, Zebra, Äpfel, äb.
  const std::vector<std::u16string> windowsOrder_{u"aZ", u"a_b", u"Zebra", u"äb", u"Äpfel"};

  void ExpectWindowsOrderAndHashes() {
    const RawHive raw(hive_);
    EXPECT_EQ(windowsOrder_, raw.Names({u"Software", u"Order"}));
    // Each hash is h = 37 * h + upper-cased code unit over the name.
    const std::vector<std::uint32_t> hashes{0x9BF, 0x16996, 0xA448658, 0x1C96, 0x16246E2F};
    const auto listed = raw.SubKeys(raw.Find({u"Software", u"Order"}));
    ASSERT_EQ(hashes.size(), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
      SCOPED_TRACE(platform::ToUtf8(listed[i].first.name));
      EXPECT_EQ('h', listed[i].first.kind);
      EXPECT_EQ(hashes[i], listed[i].first.hash);
    }

    // regfexport lists sub keys in stored order.
    const auto regf = RegfExport(hive_);
    ASSERT_EQ(0, regf.exitCode) << regf.output;
    std::vector<std::u16string> exported;
    const std::string prefix = "Key path: ROOT\\Software\\Order\\";
    for (std::size_t at = regf.output.find(prefix); at != std::string::npos;
         at = regf.output.find(prefix, at + 1)) {
      const std::size_t start = at + prefix.size();
      exported.push_back(
          platform::FromUtf8(regf.output.substr(start, regf.output.find('\n', start) - start)));
    }
    EXPECT_EQ(windowsOrder_, exported);
  }

  TempFolder folder_;
  const std::filesystem::path hive_ = folder_ / "NTUSER.DAT";
};

TEST_F(HiveKeyListTest, NewKeysAreListedAndHashedAsWindowsSearchesThem) {
  Session([](HiveStore& store) { CreateAll(store, {u"a_b", u"aZ", u"Äpfel", u"äb", u"Zebra"}); });
  ExpectWindowsOrderAndHashes();
}

TEST_F(HiveKeyListTest, KeysAddedToAnExistingListAreSortedIn) {
  Session([](HiveStore& store) { CreateAll(store, {u"Zebra", u"äb"}); });
  Session([](HiveStore& store) { CreateAll(store, {u"Äpfel", u"a_b", u"aZ"}); });
  ExpectWindowsOrderAndHashes();
  // A third session reads the file back and finds every key by name.
  Session([this](HiveStore& store) {
    for (const auto& name : windowsOrder_) {
      HKEY key = 0;
      EXPECT_EQ(ERROR_SUCCESS,
                store.OpenKey(HKEY_CURRENT_USER, u"software\\order\\" + platform::UpperCase(name),
                              KEY_READ, key))
          << platform::ToUtf8(name);
      store.CloseKey(key);
    }
  });
}

TEST_F(HiveKeyListTest, DeletingKeepsTheRestInOrder) {
  Session([](HiveStore& store) {
    CreateAll(store, {u"a_b", u"aZ", u"Äpfel", u"äb", u"Zebra", u"Mitte"});
  });
  Session([](HiveStore& store) {
    EXPECT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, u"Software\\Order\\MITTE", 0));
  });
  ExpectWindowsOrderAndHashes();
}

TEST_F(HiveKeyListTest, ChangedKeysGetTheTimeOfTheirChange) {
  Session([](HiveStore& store) { CreateAll(store, {u"Kept", u"Valued", u"Parent\\Child"}); });
  const RawHive first(hive_);
  const auto stamp = [](const RawHive& raw, std::u16string_view name) {
    return raw.LastWrite(raw.Find({u"Software", u"Order", name}));
  };
  const std::uint64_t before = FileTimeNow();
  Session([](HiveStore& store) {
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              store.OpenKey(HKEY_CURRENT_USER, u"Software\\Order\\Valued", KEY_ALL_ACCESS, key));
    EXPECT_EQ(ERROR_SUCCESS, store.SetValue(key, u"v", REG_DWORD, std::vector<std::uint8_t>(4)));
    store.CloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS,
              store.DeleteKey(HKEY_CURRENT_USER, u"Software\\Order\\Parent\\Child", 0));
    CreateAll(store, {u"New"});
  });
  const std::uint64_t after = FileTimeNow();
  const RawHive second(hive_);

  EXPECT_EQ(stamp(first, u"Kept"), stamp(second, u"Kept")) << "unchanged keys keep their time";
  EXPECT_EQ(first.LastWrite(first.Find({u"Software"})),
            second.LastWrite(second.Find({u"Software"})));
  for (std::u16string_view changed : {u"Valued", u"Parent", u"New"}) {
    SCOPED_TRACE(platform::ToUtf8(changed));
    EXPECT_LE(before, stamp(second, changed));
    EXPECT_GE(after, stamp(second, changed));
  }
  const std::uint64_t order = second.LastWrite(second.Find({u"Software", u"Order"}));
  EXPECT_LE(before, order) << "a new sub key changes its parent";
  EXPECT_GE(after, order);
}

}  // namespace
}  // namespace brindel::registry::store
