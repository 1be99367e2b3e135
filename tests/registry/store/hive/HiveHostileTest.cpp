// Hives that are damaged, or made to harm: each is written by the project's own
// writer and then spoiled in place. Whatever a list or a record says, the store reads
// each key at most once, never deeper than the registry allows, refuses the damaged
// key with ERROR_BADDB, names the file and the key in German, and writes nothing.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/hive/HiveStore.h"
#include "registry/store/hive/EmptyHive.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

using testing::RawHive;
using testing::ReadBytes;
using testing::TempFolder;

namespace nk = hive::nk;
namespace vk = hive::vk;

std::uint32_t Stored(std::size_t fileOffset) {
  return static_cast<std::uint32_t>(fileOffset - RawHive::kBins);
}

struct Walk {
  std::size_t keys = 0;
  std::size_t refused = 0;  // keys that answered ERROR_BADDB
};

// Every key and value below `key`, as an export walks them; the path of keys opened
// is what the store let the walk reach.
void WalkAll(HiveStore& store, HKEY key, std::size_t depth, Walk& walk) {
  ASSERT_LT(depth, 600u) << "the walk went deeper than the registry allows";
  ++walk.keys;
  std::u16string name;
  RegValue value;
  for (std::uint32_t i = 0;; ++i) {
    const LSTATUS status = store.EnumValue(key, i, name, &value);
    if (status == ERROR_BADDB)
      ++walk.refused;
    if (status != ERROR_SUCCESS)
      break;
  }
  for (std::uint32_t i = 0;; ++i) {
    const LSTATUS status = store.EnumKey(key, i, name);
    if (status == ERROR_BADDB)
      ++walk.refused;
    if (status != ERROR_SUCCESS)
      break;
    HKEY child = 0;
    if (store.OpenKey(key, name, KEY_READ, child) != ERROR_SUCCESS) {
      ++walk.refused;
      continue;
    }
    WalkAll(store, child, depth + 1, walk);
    store.CloseKey(child);
  }
}

struct HostileCase {
  const char* name;
  std::function<void(RawHive&)> spoil;
  bool walk;               // the run reads the whole tree before it writes
  std::string damagedKey;  // below HKEY_CURRENT_USER, as the message names it
};

// The tree every case starts from: Software\A\B\C with a value each, Software\Other
// with a key below it, and a chain of keys as deep as the registry allows.
constexpr std::size_t kDeepest = 512;

std::size_t Key(const RawHive& raw, std::initializer_list<std::u16string_view> path) {
  const std::size_t nk = raw.Find(path);
  EXPECT_NE(0u, nk);
  return nk;
}

std::string DeepestPath() {
  std::string path = "Deep";
  for (std::size_t level = 2; level <= kDeepest; ++level)
    path += "\\d";
  return path;
}

std::size_t DeepestKey(const RawHive& raw) {
  std::size_t nk = raw.Find({u"Deep"});
  for (std::size_t level = 2; level <= kDeepest; ++level)
    nk = raw.SubKeys(nk).at(0).second;
  return nk;
}

const HostileCase kHostileCases[] = {
    {"ListLeadsBackToAnAncestor",
     [](RawHive& raw) {
       // C lists what A lists: B, above C, so B\C\B\C... without end.
       const std::size_t a = Key(raw, {u"Software", u"A"});
       const std::size_t c = Key(raw, {u"Software", u"A", u"B", u"C"});
       raw.Set32(RawHive::Field(c, nk::kSubKeyCount), 1);
       raw.Set32(RawHive::Field(c, nk::kSubKeyList), raw.U32(RawHive::Field(a, nk::kSubKeyList)));
     },
     true, "Software\\A\\B\\C"},
    {"ListLeadsToItself",
     [](RawHive& raw) {
       const std::size_t b = Key(raw, {u"Software", u"A", u"B"});
       const std::size_t c = Key(raw, {u"Software", u"A", u"B", u"C"});
       raw.Set32(RawHive::Field(c, nk::kSubKeyCount), 1);
       raw.Set32(RawHive::Field(c, nk::kSubKeyList), raw.U32(RawHive::Field(b, nk::kSubKeyList)));
     },
     true, "Software\\A\\B\\C"},
    {"KeyListedUnderTwoParents",
     [](RawHive& raw) {
       // Other lists B, which A lists too: read twice, a tree could grow without end.
       const std::size_t a = Key(raw, {u"Software", u"A"});
       const std::size_t other = Key(raw, {u"Software", u"Other"});
       raw.Set32(RawHive::Field(other, nk::kSubKeyList),
                 raw.U32(RawHive::Field(a, nk::kSubKeyList)));
     },
     true, "Software\\Other"},
    {"EmptyKeyName",
     [](RawHive& raw) {
       raw.Set16(RawHive::Field(Key(raw, {u"Software", u"A", u"B", u"C"}), nk::kNameLength), 0);
     },
     true, "Software\\A\\B"},
    {"DeeperThanTheRegistryAllows",
     [](RawHive& raw) {
       // The deepest key gets Other's sub key: a level the registry does not have.
       const std::size_t other = Key(raw, {u"Software", u"Other"});
       const std::size_t deepest = DeepestKey(raw);
       raw.Set32(RawHive::Field(deepest, nk::kSubKeyCount), 1);
       raw.Set32(RawHive::Field(deepest, nk::kSubKeyList),
                 raw.U32(RawHive::Field(other, nk::kSubKeyList)));
     },
     true, DeepestPath()},
    {"AbsurdSubKeyCount",
     [](RawHive& raw) {
       raw.Set32(RawHive::Field(Key(raw, {u"Software", u"Other"}), nk::kSubKeyCount), 0x7FFFFFFF);
     },
     true, "Software\\Other"},
    {"TwoValuesShareTheirData",
     [](RawHive& raw) {
       // Many values on one data cell would read the same bytes again and again.
       const std::size_t a = raw.Value(Key(raw, {u"Software", u"A"}), u"v");
       const std::size_t b = raw.Value(Key(raw, {u"Software", u"A", u"B"}), u"v");
       raw.Set32(RawHive::Field(b, vk::kData), raw.U32(RawHive::Field(a, vk::kData)));
     },
     true, "Software\\A\\B"},
    {"ValueDataOutsideTheFile",
     [](RawHive& raw) {
       const std::size_t v = raw.Value(Key(raw, {u"Software", u"A"}), u"v");
       raw.Set32(RawHive::Field(v, vk::kData), 0x7FFFFFF8);
     },
     true, "Software\\A"},
    // Below here the damage lies in records that only a write reads, or in keys the
    // run never opened: the write finds it and refuses.
    {"ClassNameOutsideTheFile",
     [](RawHive& raw) {
       const std::size_t below = Key(raw, {u"Software", u"Other", u"Below"});
       raw.Set32(RawHive::Field(below, nk::kClass), 0x7FFFFFF8);
       raw.Set16(RawHive::Field(below, nk::kClassLength), 40);
     },
     true, "Software\\Other\\Below"},
    {"SecurityIsNoSecurityRecord",
     [](RawHive& raw) {
       const std::size_t below = Key(raw, {u"Software", u"Other", u"Below"});
       raw.Set32(RawHive::Field(below, nk::kSecurity), Stored(Key(raw, {u"Software", u"A"})));
     },
     true, "Software\\Other\\Below"},
    {"CycleInKeysNeverRead",
     [](RawHive& raw) {
       const std::size_t a = Key(raw, {u"Software", u"A"});
       const std::size_t c = Key(raw, {u"Software", u"A", u"B", u"C"});
       raw.Set32(RawHive::Field(c, nk::kSubKeyCount), 1);
       raw.Set32(RawHive::Field(c, nk::kSubKeyList), raw.U32(RawHive::Field(a, nk::kSubKeyList)));
     },
     false, "Software\\A\\B\\C\\B"},
};

class HiveHostileTest : public ::testing::TestWithParam<HostileCase> {
 protected:
  void SetUp() override {
    hive::WriteEmptyHive(file_);
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, file_);
    for (std::u16string_view path : {u"Software\\A", u"Software\\A\\B", u"Software\\A\\B\\C"}) {
      HKEY key = 0;
      ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
      ASSERT_EQ(ERROR_SUCCESS,
                store.SetValue(key, u"v", REG_BINARY, std::vector<std::uint8_t>(40, 7)));
      store.CloseKey(key);
    }
    std::u16string deep = u"Deep";
    for (std::size_t level = 2; level <= kDeepest; ++level)
      deep += u"\\d";
    for (std::u16string_view path :
         {std::u16string_view(u"Software\\Other\\Below"), std::u16string_view(deep)}) {
      HKEY key = 0;
      ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
      store.CloseKey(key);
    }
    HKEY key = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              store.CreateKey(HKEY_CURRENT_USER, deep + u"\\tooDeep", KEY_ALL_ACCESS, key))
        << "no level beyond what the registry allows";
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }

  TempFolder folder_;
  const std::filesystem::path file_ = folder_ / "NTUSER.DAT";
};

TEST_P(HiveHostileTest, DamageIsNamedNeverFollowedAndNothingIsWritten) {
  RawHive raw(file_);
  GetParam().spoil(raw);
  raw.Save(file_);
  const auto spoiled = ReadBytes(file_);

  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, file_);
  HKEY added = 0;
  // A change the run wants to write, made before the damage shows.
  ASSERT_EQ(ERROR_SUCCESS,
            store.CreateKey(HKEY_CURRENT_USER, u"Software\\Neu", KEY_ALL_ACCESS, added));
  store.CloseKey(added);
  if (GetParam().walk) {
    Walk walk;
    WalkAll(store, HKEY_CURRENT_USER, 0, walk);
    EXPECT_LT(walk.keys, 600u);
  }

  EXPECT_EQ(ERROR_CANTWRITE, store.FlushKey(HKEY_CURRENT_USER));
  const std::string error = platform::ToUtf8(store.LastWriteError());
  EXPECT_NE(std::string::npos, error.find("beschädigt")) << error;
  EXPECT_NE(std::string::npos, error.find(file_.string())) << error;
  const std::string notice = platform::ToUtf8(store.DamageNotice());
  EXPECT_NE(std::string::npos, notice.find(file_.string())) << notice;
  const std::string key = "'HKEY_CURRENT_USER\\" + GetParam().damagedKey + "'";
  EXPECT_NE(std::string::npos, notice.find(key)) << notice;

  EXPECT_EQ(ERROR_CANTWRITE, store.Close());
  EXPECT_EQ(spoiled, ReadBytes(file_));
  EXPECT_EQ(std::vector<std::string>{"NTUSER.DAT"}, folder_.Names());
}

INSTANTIATE_TEST_SUITE_P(Hives, HiveHostileTest, ::testing::ValuesIn(kHostileCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::registry::store
