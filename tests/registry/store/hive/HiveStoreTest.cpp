// What only the hive store has: files. Each test makes its hives with the project's
// own writer in a folder of its own, and checks what was written with readers that do
// not share our code (hivexregedit, regfexport).

#include "registry/store/hive/HiveStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/hive/EmptyHive.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::HivexExport;
using testing::ReadBytes;
using testing::RegfExport;
using testing::TempFolder;
using testing::WriteBytes;

class HiveStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { hive::WriteEmptyHive(hive_); }

  // Creates a key below HKEY_CURRENT_USER with all rights; the handle stays open.
  static HKEY Create(HiveStore& store, std::u16string_view path) {
    HKEY key = 0;
    EXPECT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
    return key;
  }

  static void SetBinary(HiveStore& store, std::u16string_view path, std::u16string_view name,
                        const Bytes& data) {
    HKEY key = Create(store, path);
    EXPECT_EQ(ERROR_SUCCESS, store.SetValue(key, name, REG_BINARY, data));
    store.CloseKey(key);
  }

  static Bytes Query(HiveStore& store, std::u16string_view path, std::u16string_view name) {
    HKEY key = 0;
    Bytes data;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (store.OpenKey(HKEY_CURRENT_USER, path, KEY_READ, key) == ERROR_SUCCESS) {
      EXPECT_EQ(ERROR_SUCCESS, store.QueryValue(key, name, type, size, &data));
      store.CloseKey(key);
    }
    return data;
  }

  TempFolder folder_;
  const std::filesystem::path hive_ = folder_ / "NTUSER.DAT";
};

TEST_F(HiveStoreTest, EmptyHiveFromTheWriterReadsEverywhere) {
  const auto exported = HivexExport(hive_);
  EXPECT_EQ(0, exported.exitCode) << exported.output;
  EXPECT_EQ("Windows Registry Editor Version 5.00\n\n[\\]\n\n", exported.output);
  const auto regf = RegfExport(hive_);
  EXPECT_EQ(0, regf.exitCode) << regf.output;
  EXPECT_NE(std::string::npos, regf.output.find("Key path: ROOT")) << regf.output;
  EXPECT_THROW(hive::WriteEmptyHive(hive_), EHiveError) << "an existing file is not replaced";
}

TEST_F(HiveStoreTest, FileChangesOnlyOnFlushAndThenAtOnce) {
  const Bytes before = ReadBytes(hive_);
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
  SetBinary(store, u"Software\\Brindel", u"v", {1, 2, 3, 4, 5});
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CURRENT_USER, u"Software", KEY_ALL_ACCESS, key));
  EXPECT_EQ(before, ReadBytes(hive_)) << "nothing is written before the flush";

  ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(key));
  store.CloseKey(key);
  EXPECT_NE(before, ReadBytes(hive_));
  EXPECT_EQ(std::vector<std::string>{"NTUSER.DAT"}, folder_.Names()) << "no temporary file left";
  const auto exported = HivexExport(hive_);
  EXPECT_NE(std::string::npos, exported.output.find("[\\Software\\Brindel]\n"
                                                    "\"v\"=hex(3):01,02,03,04,05\n"))
      << exported.output;

  const Bytes flushed = ReadBytes(hive_);
  ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(HKEY_CURRENT_USER));
  EXPECT_EQ(flushed, ReadBytes(hive_)) << "a flush without changes writes nothing";
}

TEST_F(HiveStoreTest, ClosingTheStoreWritesWhatIsLeft) {
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    SetBinary(store, u"Software\\Brindel", u"v", {7});
  }
  HiveStore reopened;
  reopened.Mount(HiveStore::MountPoint::CurrentUser, hive_);
  EXPECT_EQ(Bytes{7}, Query(reopened, u"software\\brindel", u"V"));
}

// A profile-like tree with what a lesser writer gets wrong: names beyond ASCII looked up
// in other case, a replaced value that must keep its spelling, deletes.
TEST_F(HiveStoreTest, IndependentReadersSeeExactlyWhatWasWritten) {
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    HKEY key = Create(store, u"Software\\Profiles\\Outlook\\9207f3e0a3b11019908b08002b2a56c2");
    ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"01023d00", REG_BINARY, Bytes{1, 2}));
    ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"Zähler", REG_DWORD, Bytes{5, 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"", REG_SZ, Bytes{'a', 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"ZÄHLER", REG_DWORD, Bytes{6, 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(key));
    store.CloseKey(key);
    // A second round on keys that are now in the file.
    key = Create(store, u"software\\profiles\\OUTLOOK\\Überflüssig");
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS,
              store.DeleteKey(HKEY_CURRENT_USER, u"Software\\Profiles\\Outlook\\überflüssig", 0));
    key = Create(store, u"Software\\Profiles\\Outlook\\9207F3E0A3B11019908B08002B2A56C2");
    ASSERT_EQ(ERROR_SUCCESS, store.DeleteValue(key, u"01023D00"));
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const auto exported = HivexExport(hive_);
  ASSERT_EQ(0, exported.exitCode) << exported.output;
  // hivexregedit writes names stored as Latin-1 as they are stored.
  EXPECT_EQ(
      "Windows Registry Editor Version 5.00\n\n"
      "[\\]\n\n"
      "[\\Software]\n\n"
      "[\\Software\\Profiles]\n\n"
      "[\\Software\\Profiles\\Outlook]\n\n"
      "[\\Software\\Profiles\\Outlook\\9207f3e0a3b11019908b08002b2a56c2]\n"
      "@=hex(1):61,00,00,00\n"
      "\"Z\xE4hler\"=dword:00000006\n\n",
      exported.output);
  const auto regf = RegfExport(hive_);
  ASSERT_EQ(0, regf.exitCode) << regf.output;
  // Stored order: the replaced value stays first, the default value after it.
  const auto zaehler = regf.output.find("Value: 0 Zähler");
  const auto standard = regf.output.find("Value: 1 (default)");
  EXPECT_NE(std::string::npos, zaehler) << regf.output;
  EXPECT_NE(std::string::npos, standard) << regf.output;
}

TEST_F(HiveStoreTest, KeysReadLaterStillReadRightAfterWrites) {
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    for (int i = 0; i < 30; ++i) {
      const std::u16string name = u"Key" + platform::Widen(std::to_string(i));
      SetBinary(store, u"Tree\\" + name + u"\\Below", u"v", Bytes{static_cast<std::uint8_t>(i)});
    }
  }
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
  // Change one key and write twice, then read keys that were never loaded before.
  SetBinary(store, u"Tree\\Key3", u"w", {3});
  ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(HKEY_CURRENT_USER));
  SetBinary(store, u"Tree\\Key3\\Neu", u"w", {4});
  ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(HKEY_CURRENT_USER));
  EXPECT_EQ(Bytes{17}, Query(store, u"Tree\\Key17\\Below", u"v"));
  EXPECT_EQ(Bytes{4}, Query(store, u"Tree\\Key3\\Neu", u"w"));
  // A second reader beside the writer, as another run that only reads would be.
  HiveStore reopened(HiveStore::Mode::ReadOnly);
  reopened.Mount(HiveStore::MountPoint::CurrentUser, hive_);
  EXPECT_EQ(Bytes{3}, Query(reopened, u"Tree\\Key3\\Below", u"v"));
  EXPECT_EQ(Bytes{4}, Query(reopened, u"Tree\\Key3\\Neu", u"w"));
}

// A walk over a large hive must not hold the whole hive in memory: a key whose last
// handle closed goes back to its state in the file, and is read from there, as it was,
// when it is opened again. What a handle still reaches, and what changed, stays.
class HiveReleaseTest : public HiveStoreTest {
 protected:
  static constexpr int kKeys = 300;

  void SetUp() override {
    HiveStoreTest::SetUp();
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    for (int i = 0; i < kKeys; ++i) {
      const std::u16string key = KeyName(i);
      SetBinary(store, key, u"v", Bytes{static_cast<std::uint8_t>(i), 1, 2, 3, 4, 5});
      SetBinary(store, key + u"\\Below", u"w", Bytes(i == 7 ? 20000 : 8, 9));
    }
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }

  static std::u16string KeyName(int i) {
    return u"Tree\\Key" + platform::Widen(std::to_string(1000 + i));
  }

  // Every key below `key` with its values' types, sizes and a sum of their bytes, as
  // a walk that closes each key's handle once it is done with it.
  static void Dump(HiveStore& store, HKEY key, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    std::u16string name;
    RegValue value;
    for (std::uint32_t i = 0; store.EnumValue(key, i, name, &value) == ERROR_SUCCESS; ++i) {
      std::uint64_t sum = 0;
      for (std::uint8_t byte : value.data)
        sum = sum * 31 + byte;
      out += platform::ToUtf8(name) + "=" + std::to_string(value.type) + "/" +
             std::to_string(value.data.size()) + "/" + std::to_string(sum) + "\n";
    }
    for (std::uint32_t i = 0; store.EnumKey(key, i, name) == ERROR_SUCCESS; ++i) {
      HKEY child = 0;
      ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(key, name, KEY_READ, child)) << path;
      Dump(store, child, path + "\\" + platform::ToUtf8(name), out);
      store.CloseKey(child);
    }
  }

  static std::string Dump(HiveStore& store) {
    std::string out;
    Dump(store, HKEY_CURRENT_USER, "", out);
    return out;
  }
};

TEST_F(HiveReleaseTest, KeysLetGoAreReadAgainAsTheyWere) {
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
  const std::string first = Dump(store);
  EXPECT_EQ(2u + 2 * kKeys, static_cast<std::size_t>(std::count(first.begin(), first.end(), '[')));
  EXPECT_NE(std::string::npos, first.find("[\\Tree\\Key1007\\Below]\nw=3/20000/")) << "big data";
  // Tree, closed last, may still be held with the names of its sub keys; the keys
  // below them are not.
  EXPECT_LT(store.HeldKeyCount(), kKeys + 100u) << "of " << 2 * kKeys + 2 << " keys";

  // Read again, each key was read before: that is no key listed twice.
  EXPECT_EQ(first, Dump(store));
  EXPECT_EQ(u"", store.DamageNotice());
  EXPECT_EQ(0u, store.OpenHandleCount());
}

TEST_F(HiveReleaseTest, WhatAHandleReachesAndWhatChangedStays) {
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    // A handle below a key the walk closes: changes through it must reach the file.
    HKEY below = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              store.OpenKey(HKEY_CURRENT_USER, KeyName(5) + u"\\Below", KEY_ALL_ACCESS, below));
    for (int i = 0; i < 100; ++i)
      SetBinary(store, KeyName(i * 3) + u"\\Below", u"neu", Bytes{static_cast<std::uint8_t>(i)});
    ASSERT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, KeyName(200) + u"\\Below", 0));
    HKEY deleted = 0;
    ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, KeyName(202) + u"\\Below",
                                             KEY_ALL_ACCESS, deleted));
    ASSERT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, KeyName(202) + u"\\Below", 0));
    Dump(store);

    ASSERT_EQ(ERROR_SUCCESS, store.SetValue(below, u"spät", REG_DWORD, Bytes{5, 0, 0, 0}));
    store.CloseKey(below);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, store.QueryValue(deleted, u"w", type, size, nullptr));
    store.CloseKey(deleted);
    ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(HKEY_CURRENT_USER));

    // The keys written are let go too, and read from the new file.
    const std::string written = Dump(store);
    EXPECT_EQ(u"", store.DamageNotice());
    EXPECT_NE(std::string::npos, written.find("[\\Tree\\Key1005\\Below]\nw=3/8/")) << written;
    EXPECT_NE(std::string::npos, written.find("spät=4/4/")) << written;
    SetBinary(store, KeyName(299), u"neu", Bytes{1});
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const auto exported = HivexExport(hive_);
  ASSERT_EQ(0, exported.exitCode) << exported.output.substr(0, 2000);
  const std::string& text = exported.output;
  for (int i = 0; i < 100; ++i) {
    char expected[128];
    std::snprintf(
        expected, sizeof expected,
        "[\\Tree\\Key%d\\Below]\n\"neu\"=hex(3):%02x\n\"w\"=hex(3):09,09,09,09,09,09,09,09\n",
        1000 + i * 3, i);
    EXPECT_NE(std::string::npos, text.find(expected)) << expected;
  }
  EXPECT_NE(std::string::npos, text.find("[\\Tree\\Key1299]\n\"neu\"=hex(3):01\n"));
  EXPECT_NE(std::string::npos, text.find("\"sp\xE4t\"=dword:00000005")) << "through the handle";
  EXPECT_EQ(std::string::npos, text.find("[\\Tree\\Key1200\\Below]"));
  EXPECT_EQ(std::string::npos, text.find("[\\Tree\\Key1202\\Below]"));
  EXPECT_NE(std::string::npos, text.find("[\\Tree\\Key1203\\Below]"));
}

// A lesser writer may list a name twice in one key, in any case: the key reads as if
// only the first were there, for keys with a few values and with many.
TEST_F(HiveStoreTest, ValueListedTwiceReadsAsTheFirst) {
  for (const int count : {4, 40}) {
    SCOPED_TRACE(count);
    const auto name = [](int i) {
      char text[16];
      std::snprintf(text, sizeof text, "w%02d", i);
      return platform::Widen(text);
    };
    const std::filesystem::path file = folder_ / ("dup" + std::to_string(count) + ".dat");
    hive::WriteEmptyHive(file);
    {
      HiveStore store;
      store.Mount(HiveStore::MountPoint::CurrentUser, file);
      HKEY key = Create(store, u"Dup");
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(ERROR_SUCCESS,
                  store.SetValue(key, name(i), REG_BINARY, Bytes{static_cast<std::uint8_t>(i)}));
      store.CloseKey(key);
      ASSERT_EQ(ERROR_SUCCESS, store.Close());
    }
    testing::RawHive raw(file);
    const std::size_t dup = raw.Find({u"Dup"});
    // w02 becomes W00, and the last value w01: both come after the names they repeat.
    const std::size_t second = raw.Value(dup, name(2));
    const std::size_t last = raw.Value(dup, name(count - 1));
    // The names are stored as Latin-1, a byte each; each write keeps the byte after.
    const auto rename = [&raw](std::size_t vk, const char* text) {
      for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t at = testing::RawHive::Field(vk, hive::vk::kName + i);
        raw.Set16(at, static_cast<std::uint16_t>((raw.U16(at) & 0xFF00) | text[i]));
      }
    };
    rename(second, "W00");
    rename(last, "w01");
    raw.Save(file);

    HiveStore store(HiveStore::Mode::ReadOnly);
    store.Mount(HiveStore::MountPoint::CurrentUser, file);
    std::vector<std::u16string> expected;
    for (int i = 0; i < count - 1; ++i) {
      if (i != 2)
        expected.push_back(name(i));
    }
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CURRENT_USER, u"Dup", KEY_READ, key));
    std::vector<std::u16string> names;
    std::u16string entry;
    for (std::uint32_t i = 0; store.EnumValue(key, i, entry, nullptr) == ERROR_SUCCESS; ++i)
      names.push_back(entry);
    store.CloseKey(key);
    EXPECT_EQ(expected, names);
    EXPECT_EQ(Bytes{0}, Query(store, u"Dup", u"W00"));
    EXPECT_EQ(Bytes{1}, Query(store, u"Dup", u"W01"));
    EXPECT_EQ(u"", store.DamageNotice());
  }
}

// Data above 16,344 bytes must go into big-data records;
// regfexport refuses anything else in a hive of format 1.5.
TEST_F(HiveStoreTest, LargeValuesAreWrittenAsBigDataRecords) {
  const auto pattern = [](std::size_t size, std::uint8_t seed) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
      data[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return data;
  };
  const Bytes atLimit = pattern(hive::kMaxCellData, 1);
  const Bytes justAbove = pattern(hive::kMaxCellData + 1, 2);
  const Bytes providerList = pattern(16 * 2000, 3);  // 2,000 section ids
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    SetBinary(store, u"Big", u"atLimit", atLimit);
    SetBinary(store, u"Big", u"justAbove", justAbove);
    SetBinary(store, u"Big", u"list", pattern(100000, 4));
    ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(HKEY_CURRENT_USER));
    SetBinary(store, u"Big", u"list", providerList);  // rewritten once more
    KeyInfo info;
    HKEY key = Create(store, u"Big");
    ASSERT_EQ(ERROR_SUCCESS, store.QueryInfoKey(key, info));
    EXPECT_EQ(32000u, info.maxValueLen);
    store.CloseKey(key);
  }
  HiveStore reopened;
  reopened.Mount(HiveStore::MountPoint::CurrentUser, hive_);
  EXPECT_EQ(atLimit, Query(reopened, u"Big", u"atLimit"));
  EXPECT_EQ(justAbove, Query(reopened, u"Big", u"justAbove"));
  EXPECT_EQ(providerList, Query(reopened, u"Big", u"list"));

  const auto regf = RegfExport(hive_);
  ASSERT_EQ(0, regf.exitCode) << regf.output.substr(0, 2000);
  EXPECT_EQ(std::string::npos, regf.output.find("unsupported")) << regf.output.substr(0, 2000);
  EXPECT_NE(std::string::npos, regf.output.find("Data size: 16345")) << "justAbove";
  EXPECT_NE(std::string::npos, regf.output.find("Data size: 32000")) << "list";
  // regfexport prints the last line of the list's data: its last 16 bytes.
  const auto last = regf.output.find("00007cf0:");
  EXPECT_NE(std::string::npos, last) << "all 32,000 bytes were read";
  const auto exported = HivexExport(hive_);
  EXPECT_EQ(0, exported.exitCode) << exported.output.substr(0, 2000);
}

// Keys added cost file space in proportion: the new file is written compactly, not
// grown by every key. Lists this long go below an index root, each leaf no larger
// than Windows makes one.
TEST_F(HiveStoreTest, ManyKeysCostSpaceInProportionToWhatWasAdded) {
  const auto name = [](int i) { return u"Key" + platform::Widen(std::to_string(10000 + i)); };
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    for (int i = 0; i < 10000; ++i) {
      HKEY key = Create(store, u"Import\\" + name(i));
      ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"v", REG_DWORD, Bytes{1, 0, 0, 0}));
      store.CloseKey(key);
    }
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const auto size = std::filesystem::file_size(hive_);
  // An nk record, a value list and a value record each: about 150 bytes a key.
  EXPECT_LT(size, 10000u * 200);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    for (int i = 10000; i < 10010; ++i)
      store.CloseKey(Create(store, u"Import\\" + name(i)));
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  EXPECT_LT(std::filesystem::file_size(hive_), size + 4 * 4096) << "ten keys more";

  const testing::RawHive raw(hive_);
  const std::size_t import = raw.Find({u"Import"});
  const std::size_t list =
      testing::RawHive::kBins + raw.U32(testing::RawHive::Field(import, hive::nk::kSubKeyList));
  EXPECT_EQ('r', raw.Data().at(list + 4)) << "an index root";
  std::vector<std::u16string> expected;
  for (int i = 0; i < 10010; ++i)
    expected.push_back(name(i));
  EXPECT_EQ(expected, raw.Names({u"Import"}));
  for (std::size_t i = 0; i < raw.U16(list + 6); ++i) {
    const std::size_t leaf = testing::RawHive::kBins + raw.U32(list + 8 + 4 * i);
    EXPECT_LE(8 + 8 * raw.U16(leaf + 6), 4096 - 32) << "a leaf fits one page";
  }
  const auto exported = HivexExport(hive_);
  ASSERT_EQ(0, exported.exitCode) << exported.output.substr(0, 2000);
  EXPECT_NE(std::string::npos, exported.output.find("[\\Import\\Key20009]"));
  const auto regf = RegfExport(hive_);
  EXPECT_EQ(0, regf.exitCode) << regf.output.substr(0, 2000);
}

TEST_F(HiveStoreTest, DirtyHiveOpensReadOnlyAndSaysWhy) {
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    SetBinary(store, u"Software", u"v", {1});
  }
  // Windows raises the first sequence number before it writes and the second after.
  Bytes bytes = ReadBytes(hive_);
  hive::WriteLE32(bytes, hive::kSequence1, hive::ReadLE32(bytes, hive::kSequence2) + 1);
  hive::WriteLE32(bytes, hive::kChecksum,
                  hive::BaseBlockChecksum(std::span(bytes).first(hive::kBaseBlockSize)));
  WriteBytes(hive_, bytes);
  {
    HiveStore store;
    const auto mounted = store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    EXPECT_TRUE(mounted.readOnly);
    const std::string notice = platform::ToUtf8(mounted.notice);
    EXPECT_NE(std::string::npos, notice.find("nicht sauber geschlossen")) << notice;
    EXPECT_NE(std::string::npos, notice.find("nur zum Lesen")) << notice;
    EXPECT_EQ(Bytes{1}, Query(store, u"Software", u"v")) << "it reads";
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CURRENT_USER, u"Software", KEY_ALL_ACCESS, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, store.SetValue(key, u"v", REG_BINARY, Bytes{2}));
    EXPECT_EQ(ERROR_ACCESS_DENIED, store.DeleteValue(key, u"v"));
    HKEY child = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, store.CreateKey(key, u"Neu", KEY_ALL_ACCESS, child));
    store.CloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, store.DeleteKey(HKEY_CURRENT_USER, u"Software", 0));
    EXPECT_EQ(ERROR_SUCCESS, store.Close());
  }
  EXPECT_EQ(bytes, ReadBytes(hive_));
}

TEST_F(HiveStoreTest, ReadOnlyModeRefusesEveryChange) {
  const Bytes before = ReadBytes(hive_);
  HiveStore store(HiveStore::Mode::ReadOnly);
  const auto mounted = store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
  EXPECT_TRUE(mounted.readOnly);
  EXPECT_EQ(u"", mounted.notice) << "read-only was asked for; nothing to explain";
  HKEY key = 0;
  EXPECT_EQ(ERROR_ACCESS_DENIED, store.CreateKey(HKEY_CURRENT_USER, u"Neu", KEY_ALL_ACCESS, key));
  EXPECT_EQ(ERROR_ACCESS_DENIED, store.SetValue(HKEY_CURRENT_USER, u"v", REG_BINARY, Bytes{1}));
  EXPECT_EQ(ERROR_SUCCESS, store.Close());
  EXPECT_EQ(before, ReadBytes(hive_));
}

TEST_F(HiveStoreTest, SoftwareHiveIsAlsoClassesRoot) {
  const auto software = folder_ / "SOFTWARE";
  hive::WriteEmptyHive(software);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::MachineSoftware, software);
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              store.CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.pst", KEY_ALL_ACCESS, key));
    store.CloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              store.CreateKey(HKEY_LOCAL_MACHINE, u"Elsewhere", KEY_ALL_ACCESS, key))
        << "only the mounted hives take keys";
  }
  HiveStore store;
  store.Mount(HiveStore::MountPoint::MachineSoftware, software);
  HKEY key = 0;
  EXPECT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CLASSES_ROOT, u".PST", KEY_READ, key));
  store.CloseKey(key);
  EXPECT_EQ(ERROR_ACCESS_DENIED, store.DeleteKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes", 0))
      << "the top of HKEY_CLASSES_ROOT stays";
  EXPECT_THROW(store.Mount(HiveStore::MountPoint::MachineSoftware, software), EHiveError);
}

TEST_F(HiveStoreTest, NamesHivexCannotWriteAreRefusedBeforeAnythingIsWritten) {
  const Bytes before = ReadBytes(hive_);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    HKEY key = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              store.CreateKey(HKEY_CURRENT_USER, std::u16string(256, u'x'), KEY_ALL_ACCESS, key));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              store.SetValue(HKEY_CURRENT_USER, std::u16string(16384, u'v'), REG_BINARY, Bytes{}));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              store.CreateKey(HKEY_CURRENT_USER, std::u16string(u"a\0b", 3), KEY_ALL_ACCESS, key));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              store.SetValue(HKEY_CURRENT_USER, u"\xD800", REG_BINARY, Bytes{}));
  }
  EXPECT_EQ(before, ReadBytes(hive_));
}

// A file the store must not open: each gives its German message and stays as it was.
struct BadFileCase {
  const char* name;
  Bytes (*make)(Bytes hive);  // from a valid hive with one key
  const char* message;        // a part of the message
};

Bytes WithChecksum(Bytes bytes) {
  hive::WriteLE32(bytes, hive::kChecksum,
                  hive::BaseBlockChecksum(std::span(bytes).first(hive::kBaseBlockSize)));
  return bytes;
}

const BadFileCase kBadFiles[] = {
    {"NotAHive", [](Bytes) { return Bytes{'R', 'E', 'G', 'E', 'D', 'I', 'T', '4', '\n'}; },
     "keine Hive-Datei"},
    {"EmptyFile", [](Bytes) { return Bytes{}; }, "keine Hive-Datei"},
    {"Windows9xRegistry",
     [](Bytes hive) {
       std::copy_n("CREG", 4, hive.begin());
       return hive;
     },
     "keine Hive-Datei"},
    {"EndsInBaseBlock", [](Bytes hive) { return Bytes(hive.begin(), hive.begin() + 2000); },
     "unvollständig"},
    {"Truncated",
     [](Bytes hive) { return Bytes(hive.begin(), hive.begin() + hive::kBaseBlockSize + 100); },
     "abgeschnitten"},
    {"WrongChecksum",
     [](Bytes hive) {
       hive[hive::kChecksum] ^= 0xFF;
       return hive;
     },
     "Prüfsumme"},
    {"TransactionLog",
     [](Bytes hive) {
       hive::WriteLE32(hive, hive::kFileType, 6);
       return WithChecksum(hive);
     },
     "Transaktionsprotokoll"},
    {"UnknownVersion",
     [](Bytes hive) {
       hive::WriteLE32(hive, hive::kMajorVersion, 2);
       return WithChecksum(hive);
     },
     "unbekanntes Format"},
    {"BrokenRootKey",
     [](Bytes hive) {
       const std::size_t root = hive::kBaseBlockSize + hive::ReadLE32(hive, hive::kRootCell);
       hive[root + 4] = 'x';
       return hive;
     },
     "beschädigt"},
    {"BrokenSubKeyList",
     [](Bytes hive) {
       // The root's list of sub keys no longer says what it is.
       const std::size_t root = hive::kBaseBlockSize + hive::ReadLE32(hive, hive::kRootCell);
       const std::size_t list =
           hive::kBaseBlockSize + hive::ReadLE32(hive, root + 4 + hive::nk::kSubKeyList);
       hive[list + 4] = 'q';
       hive[list + 5] = 'q';
       return hive;
     },
     "beschädigt"},
};

class HiveBadFileTest : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(HiveBadFileTest, GivesGermanErrorAndLeavesFileAlone) {
  TempFolder folder;
  const auto file = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(file);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, file);
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, u"Software", KEY_ALL_ACCESS, key));
    store.CloseKey(key);
  }
  const Bytes bad = GetParam().make(ReadBytes(file));
  WriteBytes(file, bad);
  {
    HiveStore store;
    try {
      store.Mount(HiveStore::MountPoint::CurrentUser, file);
      ADD_FAILURE() << "mounted";
    } catch (const EHiveError& error) {
      const std::string message = error.what();
      EXPECT_NE(std::string::npos, message.find(GetParam().message)) << message;
      EXPECT_NE(std::string::npos, message.find(file.string())) << "names the file: " << message;
    }
    HKEY key = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, store.OpenKey(HKEY_CURRENT_USER, u"Software", KEY_READ, key))
        << "nothing is mounted";
  }
  EXPECT_EQ(bad, ReadBytes(file));
  EXPECT_EQ(std::vector<std::string>{"NTUSER.DAT"}, folder.Names());
}

INSTANTIATE_TEST_SUITE_P(Files, HiveBadFileTest, ::testing::ValuesIn(kBadFiles),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(HiveMountTest, MissingFileAndFolderAreNamed) {
  TempFolder folder;
  HiveStore store;
  try {
    store.Mount(HiveStore::MountPoint::CurrentUser, folder / "fehlt.dat");
    ADD_FAILURE() << "mounted";
  } catch (const EHiveError& error) {
    EXPECT_NE(std::string::npos, std::string(error.what()).find("nicht gefunden")) << error.what();
  }
  EXPECT_THROW(store.Mount(HiveStore::MountPoint::CurrentUser, folder.Path()), EHiveError);
}

}  // namespace
}  // namespace brindel::registry::store
