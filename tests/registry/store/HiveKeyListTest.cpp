// The sub key lists the store leaves in a hive file: in the order Windows searches
// them, with the hashes Windows compares, and with the last-write times of the keys
// that changed. Read back with a reader of our own that shares no code with the
// store, and with regfexport.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/HiveStore.h"
#include "registry/store/HiveWriter.h"
#include "tests/registry/store/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

using testing::ReadBytes;
using testing::RegfExport;
using testing::TempFolder;

// Just enough of the regf format to walk sub key lists: offsets in lists and in the
// base block count from the first hive bin, 0x1000 into the file.
class RawHive {
 public:
  struct Listed {
    std::u16string name;
    char kind = 0;  // the list's second letter: 'f', 'h' or 'i'
    std::uint32_t hash = 0;
  };

  explicit RawHive(const std::filesystem::path& file) : bytes_(ReadBytes(file)) {}

  std::size_t Root() const { return 0x1000 + U32(0x24); }

  std::u16string Name(std::size_t nk) const {
    const std::size_t length = U16(nk + 4 + 0x48);
    const bool compressed = (U16(nk + 6) & 0x20) != 0;
    std::u16string name;
    for (std::size_t i = 0; i < length; i += compressed ? 1 : 2) {
      const std::size_t at = nk + 4 + 0x4C + i;
      name += compressed ? static_cast<char16_t>(bytes_.at(at)) : static_cast<char16_t>(U16(at));
    }
    return name;
  }

  std::uint64_t LastWrite(std::size_t nk) const {
    return U32(nk + 8) | static_cast<std::uint64_t>(U32(nk + 12)) << 32;
  }

  // The sub keys in list order, with the cell of each.
  std::vector<std::pair<Listed, std::size_t>> SubKeys(std::size_t nk) const {
    std::vector<std::pair<Listed, std::size_t>> keys;
    if (U32(nk + 4 + 0x1C) != 0xFFFFFFFFu)
      ReadList(0x1000 + U32(nk + 4 + 0x1C), keys);
    return keys;
  }

  // The key at a path below the root, found in the lists as stored; 0 when not there.
  std::size_t Find(std::initializer_list<std::u16string_view> path) const {
    std::size_t nk = Root();
    for (auto part : path) {
      std::size_t found = 0;
      for (const auto& [listed, cell] : SubKeys(nk)) {
        if (listed.name == part)
          found = cell;
      }
      if (found == 0)
        return 0;
      nk = found;
    }
    return nk;
  }

  std::vector<std::u16string> Names(std::initializer_list<std::u16string_view> path) const {
    std::vector<std::u16string> names;
    for (const auto& [listed, cell] : SubKeys(Find(path)))
      names.push_back(listed.name);
    return names;
  }

 private:
  std::uint32_t U32(std::size_t at) const {
    return bytes_.at(at) | bytes_.at(at + 1) << 8 | bytes_.at(at + 2) << 16 |
           static_cast<std::uint32_t>(bytes_.at(at + 3)) << 24;
  }
  std::uint16_t U16(std::size_t at) const {
    return static_cast<std::uint16_t>(bytes_.at(at) | bytes_.at(at + 1) << 8);
  }

  void ReadList(std::size_t list, std::vector<std::pair<Listed, std::size_t>>& keys) const {
    const char first = static_cast<char>(bytes_.at(list + 4));
    const char kind = static_cast<char>(bytes_.at(list + 5));
    const std::size_t count = U16(list + 6);
    for (std::size_t i = 0; i < count; ++i) {
      if (first == 'r') {
        ReadList(0x1000 + U32(list + 8 + 4 * i), keys);
        continue;
      }
      const std::size_t entry = list + 8 + (kind == 'i' ? 4 : 8) * i;
      const std::size_t cell = 0x1000 + U32(entry);
      Listed listed{Name(cell), kind, kind == 'i' ? 0 : U32(entry + 4)};
      keys.emplace_back(std::move(listed), cell);
    }
  }

  std::vector<std::uint8_t> bytes_;
};

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
  // hivex compares UTF-8 without that and would list a_b, aZ, Zebra, Äpfel, äb.
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
