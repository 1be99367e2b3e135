#include "regfile/StoreExport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ExportSupport.h"
#include "support/StoreFixture.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;
using test::DwordBytes;
using test::RegLines;
using test::SameRegText;
using test::Utf16Bytes;

class StoreExportTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    Put(u"", u"rootValue", REG_SZ, Utf16Bytes(u"r"));
    Put(u"Software\\A", u"v", REG_DWORD, DwordBytes(1));
    Put(u"Software\\B", u"v", REG_BINARY, {0xAB}, HKEY_LOCAL_MACHINE);
  }

  const std::string expected_ = RegLines({
      "REGEDIT4",
      "",
      "[HKEY_CURRENT_USER]",
      "\"rootValue\"=\"r\"",
      "",
      "[HKEY_CURRENT_USER\\Software]",
      "",
      "[HKEY_CURRENT_USER\\Software\\A]",
      "\"v\"=dword:00000001",
      "",
      "[HKEY_LOCAL_MACHINE]",
      "",
      "[HKEY_LOCAL_MACHINE\\Software]",
      "",
      "[HKEY_LOCAL_MACHINE\\Software\\B]",
      "\"v\"=hex:ab",
      "",
  });
};

TEST_F(StoreExportTest, WritesTheRootsInOneText) {
  TMemoryStream stream;
  // HKEY_CURRENT_CONFIG is not in the store and adds nothing.
  ASSERT_TRUE(
      SaveStoreAsReg(store_, {HKEY_CURRENT_USER, HKEY_CURRENT_CONFIG, HKEY_LOCAL_MACHINE}, stream));
  EXPECT_PRED_FORMAT2(SameRegText, expected_, stream.Bytes());
}

TEST_F(StoreExportTest, FileHoldsTheSameText) {
  const auto file = std::filesystem::temp_directory_path() / "brindel-store-export-test.reg";
  ASSERT_TRUE(SaveStoreAsReg(store_, {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}, file.u16string()));
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::filesystem::remove(file);
  EXPECT_PRED_FORMAT2(SameRegText, expected_, bytes);
}

TEST_F(StoreExportTest, WorksOnAStoreThatIsNotTheCurrentOne) {
  MemoryStore other;
  HKEY key = 0;
  ASSERT_EQ(0, other.CreateKey(HKEY_USERS, u"S-1-5-18", KEY_ALL_ACCESS, key));
  other.CloseKey(key);
  TMemoryStream stream;
  ASSERT_TRUE(SaveStoreAsReg(other, {HKEY_USERS}, stream));
  EXPECT_EQ(RegLines({"REGEDIT4", "", "[HKEY_USERS]", "", "[HKEY_USERS\\S-1-5-18]", ""}),
            stream.Bytes());
  EXPECT_EQ(&store_, CurrentStore());
}

TEST_F(StoreExportTest, UnreadableTreeFailsTheSave) {
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"Software", MemoryStore::Operation::QueryInfo,
                                 ERROR_BADDB));
  TMemoryStream stream;
  EXPECT_FALSE(SaveStoreAsReg(store_, {HKEY_CURRENT_USER}, stream));
  EXPECT_EQ(0u, stream.Size());
  EXPECT_FALSE(SaveStoreAsReg(store_, {HKEY_CURRENT_USER}, u"/nonexistent-dir/x.reg"));
}

TEST_F(StoreExportTest, FailedSaveLeavesTheFileAsItWas) {
  const auto folder = std::filesystem::temp_directory_path() / "brindel-store-export-failed";
  std::filesystem::create_directories(folder);
  const auto file = folder / "saved.reg";
  std::ofstream(file, std::ios::binary) << "the previous save";
  // The first root is written before the second one fails.
  ASSERT_TRUE(store_.InjectFault(HKEY_LOCAL_MACHINE, u"Software", MemoryStore::Operation::QueryInfo,
                                 ERROR_BADDB));
  EXPECT_FALSE(SaveStoreAsReg(store_, {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}, file.u16string()));
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    files.push_back(entry.path());
  std::filesystem::remove_all(folder);
  EXPECT_EQ("the previous save", bytes);
  EXPECT_EQ(std::vector<std::filesystem::path>{file}, files);
}

}  // namespace
}  // namespace brindel::regfile
