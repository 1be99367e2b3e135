// Every form in which the hive writer stores a value's data, checked in the records
// themselves and by the independent readers: data in the record (0 to 4 bytes), in one
// cell, in big-data records (format 1.4 and later) or in one large cell (1.3), every
// type including unknown ones, and values of no data, which Windows stores as four
// bytes in the record of which none is used. A value of no data that the file holds
// with a data cell, or with "no cell", is written the way Windows writes it.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveFormat.h"
#include "registry/store/hive/HiveStore.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::RawHive;
using testing::TempFolder;

namespace vk = hive::vk;

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<std::uint8_t>(i * 11 + seed);
  return data;
}

struct Form {
  std::u16string name;
  std::uint32_t type;
  Bytes data;
};

// The values as the store is given them; the names tell the form each one takes.
std::vector<Form> Forms() {
  std::vector<Form> forms = {
      {u"inline0", REG_BINARY, {}},
      {u"inline1", REG_BINARY, {1}},
      {u"inline2", REG_BINARY, {1, 2}},
      {u"inline3", REG_BINARY, {1, 2, 3}},
      {u"inline4", REG_DWORD, {1, 2, 3, 4}},
      {u"cell5", REG_BINARY, Pattern(5, 1)},
      {u"cellAtLimit", REG_BINARY, Pattern(hive::kMaxCellData, 2)},
      {u"bigJustAbove", REG_BINARY, Pattern(hive::kMaxCellData + 1, 3)},
      {u"bigThreeSegments", REG_BINARY, Pattern(3 * hive::kMaxCellData - 7, 4)},
      // Stored with eight bytes; the test then makes them no data, in the two ways
      // files hold that.
      {u"emptyWithCell", REG_BINARY, Pattern(8, 5)},
      {u"emptyNoCell", REG_SZ, Pattern(8, 6)},
  };
  // Every type, known or not, with data in a cell and in the record.
  for (std::uint32_t type :
       {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 0x474B4Du, 0xFFFFFFFFu}) {
    const std::u16string number = platform::Widen(std::to_string(type));
    forms.push_back({u"type" + number, type, Pattern(6, static_cast<std::uint8_t>(type))});
    forms.push_back(
        {u"type" + number + u"short", type, Pattern(2, static_cast<std::uint8_t>(type))});
  }
  return forms;
}

bool NoData(std::u16string_view name) {
  return name == u"emptyWithCell" || name == u"emptyNoCell";
}

class HiveValueFormTest : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  // A hive of the format under test holding the forms in key Forms (read by the
  // write below) and again in key Copied (never read: copied from the file as it is).
  void MakeHive(const fs::path& file, bool asWindowsWrites) {
    hive::WriteEmptyHive(file);
    Bytes bytes = RawHive(file).Data();
    hive::WriteLE32(bytes, hive::kMinorVersion, GetParam());
    hive::WriteLE32(bytes, hive::kChecksum,
                    hive::BaseBlockChecksum(std::span(bytes).first(hive::kBaseBlockSize)));
    testing::WriteBytes(file, bytes);
    {
      HiveStore store;
      store.Mount(HiveStore::MountPoint::CurrentUser, file);
      for (std::u16string_view path : {u"Forms", u"Copied"}) {
        HKEY key = 0;
        ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
        for (const Form& form : Forms()) {
          const Bytes data = asWindowsWrites && NoData(form.name) ? Bytes{} : form.data;
          ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, form.name, form.type, data));
        }
        store.CloseKey(key);
      }
      ASSERT_EQ(ERROR_SUCCESS, store.Close()) << platform::ToUtf8(store.LastWriteError());
    }
    if (asWindowsWrites)
      return;
    RawHive raw(file);
    for (std::u16string_view path : {u"Forms", u"Copied"}) {
      const std::size_t key = raw.Find({path});
      // No data, the data cell still there.
      raw.Set32(RawHive::Field(raw.Value(key, u"emptyWithCell"), vk::kDataSize), 0);
      // No data and no cell, as earlier versions of this writer left it.
      const std::size_t noCell = raw.Value(key, u"emptyNoCell");
      raw.Set32(RawHive::Field(noCell, vk::kDataSize), 0);
      raw.Set32(RawHive::Field(noCell, vk::kData), hive::kNoCell);
    }
    raw.Save(file);
  }

  TempFolder folder_;
  const fs::path file_ = folder_ / "NTUSER.DAT";
  const fs::path expected_ = folder_ / "expected.dat";
};

// The size field and the data field of each value as the file holds them.
std::map<std::u16string, std::pair<std::uint32_t, std::uint32_t>> Fields(const RawHive& raw,
                                                                         std::size_t key) {
  std::map<std::u16string, std::pair<std::uint32_t, std::uint32_t>> fields;
  for (const Form& form : Forms()) {
    const std::size_t value = raw.Value(key, form.name);
    EXPECT_NE(0u, value) << platform::ToUtf8(form.name);
    if (value != 0) {
      fields[form.name] = {raw.U32(RawHive::Field(value, vk::kDataSize)),
                           raw.U32(RawHive::Field(value, vk::kData))};
    }
  }
  return fields;
}

// The part of an export that shows one key, up to the next key.
std::string Section(const std::string& text, const std::string& heading) {
  const auto from = text.find(heading);
  if (from == std::string::npos)
    return {};
  const auto to = text.find("\n[", from + heading.size());
  return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

TEST_P(HiveValueFormTest, EveryFormIsWrittenAsWindowsWritesItAndTheReadersTakeIt) {
  MakeHive(file_, false);
  MakeHive(expected_, true);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, file_);
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CURRENT_USER, u"Forms", KEY_ALL_ACCESS, key));
    for (const Form& form : Forms()) {
      std::uint32_t type = 0;
      std::uint32_t size = 0;
      Bytes data;
      EXPECT_EQ(ERROR_SUCCESS, store.QueryValue(key, form.name, type, size, &data));
      EXPECT_EQ(NoData(form.name) ? Bytes{} : form.data, data) << platform::ToUtf8(form.name);
    }
    // A change, so that the hive is written anew: the key's values are copied.
    ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"changed", REG_DWORD, Bytes{1, 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, store.DeleteValue(key, u"changed"));
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, store.Close()) << platform::ToUtf8(store.LastWriteError());
  }

  const RawHive raw(file_);
  const RawHive windows(expected_);
  for (std::u16string_view path : {u"Forms", u"Copied"}) {
    SCOPED_TRACE(platform::ToUtf8(path));
    const auto fields = Fields(raw, raw.Find({path}));
    const auto expected = Fields(windows, windows.Find({path}));
    for (const Form& form : Forms()) {
      SCOPED_TRACE(platform::ToUtf8(form.name));
      const auto [size, data] = fields.at(form.name);
      if (NoData(form.name) || form.data.size() <= 4) {
        // In the record: the flag and the size, and the bytes themselves.
        EXPECT_EQ(expected.at(form.name), fields.at(form.name));
        EXPECT_EQ(vk::kInlineData | (NoData(form.name) ? 0 : form.data.size()), size);
        if (NoData(form.name)) {
          EXPECT_EQ(0u, data);
        }
        continue;
      }
      EXPECT_EQ(form.data.size(), size);
      const Bytes cell = raw.CellData(RawHive::kBins + data);
      const bool big = GetParam() >= hive::kFirstBigDataMinor && size > hive::kMaxCellData;
      EXPECT_EQ(big, cell.at(0) == 'd' && cell.at(1) == 'b') << "big-data record or one cell";
      if (!big) {
        EXPECT_EQ(form.data, Bytes(cell.begin(), cell.begin() + size));
      }
    }
  }

  // The readers find what a hive that Windows wrote would hold: hivexregedit sorted by
  // name, regfexport in stored order, big data as Windows reads them.
  const auto hivex = testing::HivexExport(file_);
  ASSERT_EQ(0, hivex.exitCode) << hivex.output.substr(0, 2000);
  const auto hivexExpected = testing::HivexExport(expected_);
  ASSERT_EQ(0, hivexExpected.exitCode) << hivexExpected.output.substr(0, 2000);
  for (const char* key : {"[\\Forms]", "[\\Copied]"}) {
    EXPECT_NE("", Section(hivex.output, key));
    EXPECT_EQ(Section(hivexExpected.output, key), Section(hivex.output, key)) << key;
  }
  const auto regf = testing::RegfExport(file_);
  ASSERT_EQ(0, regf.exitCode) << regf.output.substr(0, 2000);
  EXPECT_EQ(testing::RegfExport(expected_).output, regf.output);
}

INSTANTIATE_TEST_SUITE_P(Formats, HiveValueFormTest, ::testing::Values(5u, 3u),
                         [](const auto& row) { return "Version1_" + std::to_string(row.param); });

}  // namespace
}  // namespace brindel::registry::store
