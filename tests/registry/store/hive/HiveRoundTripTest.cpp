// What a write keeps of a hive: a hive with values of every type and size, big data,
// class names and several security descriptors, some shared, goes through a change
// as a repair makes it. Every key the change did not touch comes out as it was, byte
// for byte where the format allows it (only cell offsets change), and the file is a
// clean, compact hive that the independent readers take.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/hive/HiveFormat.h"
#include "registry/store/hive/HiveStore.h"
#include "registry/store/hive/EmptyHive.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::HivexExport;
using testing::RawHive;
using testing::ReadBytes;
using testing::RegfExport;
using testing::TempFolder;

namespace nk = hive::nk;
namespace vk = hive::vk;

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return data;
}

Bytes Utf16(std::u16string_view text) {
  Bytes bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

struct TypedValue {
  std::u16string name;
  std::uint32_t type;
  Bytes data;
};

// Every registry type, an unknown one, data in the record itself (up to 4 bytes), in
// one cell, and in big-data records.
std::vector<TypedValue> EveryType() {
  return {
      {u"none", REG_NONE, {}},
      {u"sz", REG_SZ, Utf16(std::u16string(u"Persönliche Ordner") + u'\0')},
      {u"expand", REG_EXPAND_SZ, Utf16(std::u16string(u"%USERPROFILE%\\x.pst") + u'\0')},
      {u"binary1", REG_BINARY, {0xAB}},
      {u"binary3", REG_BINARY, {1, 2, 3}},
      {u"dword", REG_DWORD, {4, 3, 2, 1}},
      {u"dwordBE", REG_DWORD_BIG_ENDIAN, {1, 2, 3, 4}},
      {u"link", REG_LINK, Utf16(u"\\Registry\\Machine\\Software")},
      {u"multi", REG_MULTI_SZ, Utf16(std::u16string(u"a\0bc\0\0", 6))},
      {u"resources", REG_RESOURCE_LIST, Pattern(48, 1)},
      {u"fullResource", 9, Pattern(36, 2)},
      {u"requirements", 10, Pattern(72, 3)},
      {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"unknownType", 0x00474B4D, Pattern(5, 4)},
      {u"atCellLimit", REG_BINARY, Pattern(hive::kMaxCellData, 5)},
      {u"justAbove", REG_BINARY, Pattern(hive::kMaxCellData + 1, 6)},
      {u"big", REG_BINARY, Pattern(100000, 7)},
      {u"Zähler€", REG_DWORD, {9, 0, 0, 0}},
      {u"", REG_SZ, Utf16(std::u16string(u"Standard") + u'\0')},
  };
}

std::uint64_t FileTimeNow() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return 116444736000000000ull + static_cast<std::uint64_t>(since1970.count()) * 10;
}

// What a key of the file is, beyond its place: its record (name, flags, time, class
// length, largest sizes), class name and security descriptor, and for each value its
// record without the data's place, and its data.
struct KeyFacts {
  Bytes record;
  Bytes className;
  Bytes security;
  std::vector<std::pair<Bytes, Bytes>> values;
  bool operator==(const KeyFacts&) const = default;
};

Bytes Security(const RawHive& raw, std::size_t nk) {
  const Bytes sk = raw.CellData(RawHive::kBins + raw.U32(RawHive::Field(nk, nk::kSecurity)));
  const std::size_t size = sk.at(16) | sk.at(17) << 8 | sk.at(18) << 16 | sk.at(19) << 24;
  return Bytes(sk.begin() + 20, sk.begin() + 20 + static_cast<std::ptrdiff_t>(size));
}

// The data of a value as Windows reads them: in the record, in one cell, or in the
// segments of a big-data record.
Bytes ValueData(const RawHive& raw, std::size_t vk, bool bigData) {
  const std::uint32_t size = raw.U32(RawHive::Field(vk, vk::kDataSize));
  if ((size & 0x80000000u) != 0) {
    const auto& bytes = raw.Data();
    const auto at = static_cast<std::ptrdiff_t>(RawHive::Field(vk, vk::kData));
    return Bytes(bytes.begin() + at, bytes.begin() + at + (size & 0x7FFFFFFF));
  }
  if (size == 0)
    return {};
  const Bytes cell = raw.CellData(RawHive::kBins + raw.U32(RawHive::Field(vk, vk::kData)));
  if (!bigData || size <= hive::kMaxCellData)
    return Bytes(cell.begin(), cell.begin() + size);
  EXPECT_EQ('d', cell.at(0));
  EXPECT_EQ('b', cell.at(1));
  const std::size_t segments = cell.at(2) | cell.at(3) << 8;
  const std::uint32_t listCell = cell.at(4) | cell.at(5) << 8 | cell.at(6) << 16 | cell.at(7) << 24;
  Bytes data;
  for (std::size_t i = 0; i < segments; ++i) {
    const Bytes segment =
        raw.CellData(RawHive::kBins + raw.U32(RawHive::kBins + listCell + 4 + 4 * i));
    const std::size_t take = std::min<std::size_t>(hive::kMaxCellData, size - data.size());
    EXPECT_LE(take, segment.size());
    data.insert(data.end(), segment.begin(), segment.begin() + static_cast<std::ptrdiff_t>(take));
  }
  EXPECT_EQ(size, data.size());
  return data;
}

KeyFacts Facts(const RawHive& raw, std::size_t nk, bool bigData) {
  KeyFacts facts;
  const Bytes cell = raw.CellData(nk);
  const std::size_t end = 0x4C + (cell.at(0x48) | cell.at(0x49) << 8);
  facts.record.assign(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(end));
  // The fields that hold offsets into the file and the counts that go with them.
  for (std::size_t field : {0x10, 0x14, 0x18, 0x1C, 0x20, 0x28, 0x2C, 0x30})
    std::fill_n(facts.record.begin() + static_cast<std::ptrdiff_t>(field), 4, 0);
  if (const std::size_t length = raw.U16(RawHive::Field(nk, nk::kClassLength)); length > 0) {
    const Bytes name = raw.CellData(RawHive::kBins + raw.U32(RawHive::Field(nk, nk::kClass)));
    facts.className.assign(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
  }
  facts.security = Security(raw, nk);
  for (std::size_t vk : raw.Values(nk)) {
    const Bytes record = raw.CellData(vk);
    Bytes fixed(record.begin(), record.begin() + 0x14 + (record.at(2) | record.at(3) << 8));
    if ((raw.U32(RawHive::Field(vk, vk::kDataSize)) & 0x80000000u) == 0)
      std::fill_n(fixed.begin() + vk::kData, 4, 0);
    facts.values.emplace_back(fixed, ValueData(raw, vk, bigData));
  }
  return facts;
}

class HiveRoundTripTest : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  void SetUp() override {
    hive::WriteEmptyHive(file_);
    RawHive empty(file_);
    // A hive of another format: the same empty hive with its version changed.
    Bytes bytes = empty.Data();
    hive::WriteLE32(bytes, hive::kMinorVersion, GetParam());
    hive::WriteLE32(bytes, hive::kChecksum,
                    hive::BaseBlockChecksum(std::span(bytes).first(hive::kBaseBlockSize)));
    testing::WriteBytes(file_, bytes);
    // A second security descriptor: the root's with another group.
    Bytes otherSecurity = RawHive(file_).CellData(
        RawHive::kBins + empty.U32(RawHive::Field(empty.Root(), nk::kSecurity)));
    otherSecurity.resize(20 + (otherSecurity[16] | otherSecurity[17] << 8));
    otherSecurity.back() ^= 0x01;

    {
      HiveStore store;
      store.Mount(HiveStore::MountPoint::CurrentUser, file_);
      HKEY key = 0;
      ASSERT_EQ(ERROR_SUCCESS,
                store.CreateKey(HKEY_CURRENT_USER, u"Rich\\Types", KEY_ALL_ACCESS, key));
      for (const auto& value : EveryType())
        ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, value.name, value.type, value.data));
      store.CloseKey(key);
      for (std::u16string_view path :
           {u"Rich\\A", u"Rich\\B", u"Rich\\C\\Child", u"Profile\\Dead1", u"Profile\\Dead2"}) {
        ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
        store.CloseKey(key);
      }
      // Cells to give A and C their class names and C its own security descriptor:
      // the data of values that are then taken from their key.
      ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, u"Spare", KEY_ALL_ACCESS, key));
      ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"classA", REG_BINARY, Utf16(u"KlasseA")));
      ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"classC", REG_BINARY, Utf16(u"Klasse für C")));
      ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"security", REG_BINARY, otherSecurity));
      store.CloseKey(key);
      ASSERT_EQ(ERROR_SUCCESS, store.Close());
    }
    RawHive raw(file_);
    const std::size_t spare = raw.Find({u"Spare"});
    const auto dataOf = [&raw, spare](std::u16string_view name) {
      return raw.U32(RawHive::Field(raw.Value(spare, name), vk::kData));
    };
    const std::size_t a = raw.Find({u"Rich", u"A"});
    const std::size_t c = raw.Find({u"Rich", u"C"});
    raw.Set32(RawHive::Field(a, nk::kClass), dataOf(u"classA"));
    raw.Set16(RawHive::Field(a, nk::kClassLength), 14);
    raw.Set32(RawHive::Field(c, nk::kClass), dataOf(u"classC"));
    raw.Set16(RawHive::Field(c, nk::kClassLength), 24);
    raw.Set32(RawHive::Field(c, nk::kSecurity), dataOf(u"security"));
    raw.Set32(RawHive::Field(spare, nk::kValueCount), 0);
    raw.Save(file_);
  }

  std::map<std::u16string, KeyFacts> AllFacts(const RawHive& raw) const {
    const bool bigData = GetParam() >= 4;
    std::map<std::u16string, KeyFacts> facts;
    for (const auto& [name, path] :
         std::vector<std::pair<std::u16string, std::vector<std::u16string_view>>>{
             {u"Rich", {u"Rich"}},
             {u"Types", {u"Rich", u"Types"}},
             {u"A", {u"Rich", u"A"}},
             {u"B", {u"Rich", u"B"}},
             {u"C", {u"Rich", u"C"}},
             {u"Child", {u"Rich", u"C", u"Child"}}}) {
      std::size_t nk = raw.Root();
      for (auto part : path) {
        std::size_t found = 0;
        for (const auto& [listed, cell] : raw.SubKeys(nk)) {
          if (listed.name == part)
            found = cell;
        }
        nk = found;
      }
      EXPECT_NE(0u, nk) << platform::ToUtf8(name);
      if (nk != 0)
        facts[name] = Facts(raw, nk, bigData);
    }
    return facts;
  }

  TempFolder folder_;
  const fs::path file_ = folder_ / "NTUSER.DAT";
};

TEST_P(HiveRoundTripTest, ARepairKeepsEveryKeyItDidNotTouch) {
  const RawHive before(file_);
  const auto factsBefore = AllFacts(before);
  ASSERT_EQ(Utf16(u"KlasseA"), factsBefore.at(u"A").className);
  ASSERT_NE(factsBefore.at(u"A").security, factsBefore.at(u"C").security);
  const auto exportBefore = HivexExport(file_);
  ASSERT_EQ(0, exportBefore.exitCode) << exportBefore.output;

  const std::uint64_t start = FileTimeNow();
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, file_);
    // Types and A are read, B and C never: both ways a key reaches the new file.
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CURRENT_USER, u"Rich\\Types", KEY_READ, key));
    for (const auto& value : EveryType()) {
      std::uint32_t type = 0;
      std::uint32_t size = 0;
      Bytes data;
      EXPECT_EQ(ERROR_SUCCESS, store.QueryValue(key, value.name, type, size, &data));
      EXPECT_EQ(value.data, data) << platform::ToUtf8(value.name);
      EXPECT_EQ(value.type, type);
    }
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CURRENT_USER, u"Rich\\A", KEY_READ, key));
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, u"Profile\\Dead1", 0));
    ASSERT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, u"Profile\\Dead2", 0));
    ASSERT_EQ(ERROR_SUCCESS,
              store.CreateKey(HKEY_CURRENT_USER, u"Profile\\Neu\\Unter", KEY_ALL_ACCESS, key));
    ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"big", REG_BINARY, Pattern(50000, 9)));
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, store.Close()) << platform::ToUtf8(store.LastWriteError());
  }
  const std::uint64_t end = FileTimeNow();
  const RawHive after(file_);

  // Untouched keys: the same records, class names, descriptors, values and data.
  EXPECT_EQ(factsBefore, AllFacts(after));
  const auto key = [&after](std::initializer_list<std::u16string_view> path) {
    return after.Find(path);
  };
  // Keys that shared a security record share one still; C keeps its own.
  EXPECT_EQ(after.U32(RawHive::Field(key({u"Rich", u"A"}), nk::kSecurity)),
            after.U32(RawHive::Field(key({u"Rich", u"B"}), nk::kSecurity)));
  EXPECT_EQ(after.U32(RawHive::Field(key({u"Rich", u"A"}), nk::kSecurity)),
            after.U32(RawHive::Field(after.Root(), nk::kSecurity)));
  EXPECT_NE(after.U32(RawHive::Field(key({u"Rich", u"A"}), nk::kSecurity)),
            after.U32(RawHive::Field(key({u"Rich", u"C"}), nk::kSecurity)));
  // New keys inherit their parent's.
  EXPECT_EQ(after.U32(RawHive::Field(key({u"Profile"}), nk::kSecurity)),
            after.U32(RawHive::Field(key({u"Profile", u"Neu", u"Unter"}), nk::kSecurity)));
  // Changed keys get the time of their change.
  for (auto changed : {key({u"Profile"}), key({u"Profile", u"Neu"})}) {
    EXPECT_LE(start, after.LastWrite(changed));
    EXPECT_GE(end, after.LastWrite(changed));
  }
  EXPECT_EQ(std::vector<std::u16string>{u"Neu"}, after.Names({u"Profile"}));
  const auto exportAfter = HivexExport(file_);
  ASSERT_EQ(0, exportAfter.exitCode) << exportAfter.output;
  const auto rich = [](const std::string& text) {
    const auto from = text.find("[\\Rich]");
    return text.substr(from, text.find("[\\Spare]") - from);
  };
  EXPECT_EQ(rich(exportBefore.output), rich(exportAfter.output));
  const auto regf = RegfExport(file_);
  EXPECT_EQ(0, regf.exitCode) << regf.output.substr(0, 2000);
  EXPECT_EQ(std::string::npos, regf.output.find("unsupported")) << regf.output.substr(0, 2000);
}

// The structure a reader relies on: a clean base block that tells the truth, bins
// in a chain to the end of the file, cells in a chain through each bin, and security
// records in one ring with the number of keys that use each.
TEST_P(HiveRoundTripTest, TheNewFileIsACleanCompactHive) {
  const std::uint32_t sequence = RawHive(file_).U32(hive::kSequence2);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, file_);
    ASSERT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, u"Profile\\Dead1", 0));
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const RawHive raw(file_);
  const Bytes& bytes = raw.Data();
  EXPECT_EQ(sequence + 1, raw.U32(hive::kSequence1));
  EXPECT_EQ(sequence + 1, raw.U32(hive::kSequence2));
  EXPECT_EQ(GetParam(), raw.U32(hive::kMinorVersion));
  EXPECT_EQ(hive::BaseBlockChecksum(std::span(bytes).first(hive::kBaseBlockSize)),
            raw.U32(hive::kChecksum));
  EXPECT_EQ(bytes.size() - hive::kBaseBlockSize, raw.U32(hive::kBinsSize));

  std::map<std::size_t, std::uint32_t> securityUsers;  // sk cell -> keys using it
  std::vector<std::size_t> securityCells;
  std::size_t freeBytes = 0;
  for (std::size_t bin = hive::kBaseBlockSize; bin < bytes.size();) {
    ASSERT_EQ('h', bytes[bin]);
    ASSERT_EQ(bin - hive::kBaseBlockSize, raw.U32(bin + 4));
    const std::size_t size = raw.U32(bin + 8);
    ASSERT_EQ(0u, size % 4096);
    std::size_t cell = bin + 0x20;
    for (; cell < bin + size;) {
      const auto stored = static_cast<std::int32_t>(raw.U32(cell));
      const std::size_t length = static_cast<std::size_t>(stored < 0 ? -stored : stored);
      ASSERT_EQ(0u, length % 8);
      ASSERT_GE(length, 8u);
      if (stored > 0) {
        freeBytes += length;
      } else if (bytes[cell + 4] == 'n' && bytes[cell + 5] == 'k') {
        ++securityUsers[RawHive::kBins + raw.U32(RawHive::Field(cell, nk::kSecurity))];
      } else if (bytes[cell + 4] == 's' && bytes[cell + 5] == 'k') {
        securityCells.push_back(cell);
      }
      cell += length;
    }
    ASSERT_EQ(bin + size, cell) << "the cells fill their bin";
    bin += size;
  }
  EXPECT_LT(freeBytes, bytes.size() / 4) << "compact";
  ASSERT_EQ(2u, securityCells.size()) << "the root's, shared, and C's";
  for (std::size_t sk : securityCells) {
    EXPECT_EQ(securityUsers[sk], raw.U32(RawHive::Field(sk, 0x0C))) << "reference count";
    const std::size_t next = RawHive::kBins + raw.U32(RawHive::Field(sk, 0x04));
    EXPECT_NE(sk, next) << "a ring of both";
    EXPECT_EQ(sk, RawHive::kBins + raw.U32(RawHive::Field(next, 0x08)));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, HiveRoundTripTest, ::testing::Values(5u, 3u),
                         [](const auto& row) { return "Version1_" + std::to_string(row.param); });

}  // namespace
}  // namespace brindel::registry::store
