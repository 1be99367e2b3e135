// Copying a key from a registry in memory into a hive file, checked by hivex's reader.

#include <gtest/gtest.h>

#include <string>

#include "regfile/ExRegistry.h"
#include "registry/store/hive/HiveStore.h"
#include "registry/store/hive/EmptyHive.h"
#include "support/StoreFixture.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;
using test::DwordBytes;
using test::Utf16Bytes;

class HiveCopyKeyTest : public test::StoreFixture {};

TEST_F(HiveCopyKeyTest, FromMemoryIntoAHiveFile) {
  Put(u"Src\\Tree", u"name", REG_SZ, Utf16Bytes(u"Profil"));
  Put(u"Src\\Tree", u"", REG_BINARY, {1, 2, 3});
  Put(u"Src\\Tree\\Sub", u"count", REG_DWORD, DwordBytes(3));
  MakeKey(u"Src\\Tree\\Sub\\Empty");
  registry::store::testing::TempFolder folder;
  const auto hive = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(hive);
  {
    HiveStore hiveStore;
    hiveStore.Mount(HiveStore::MountPoint::CurrentUser, hive);
    TExRegistry source;
    TExRegistry target;
    target.UseStore(hiveStore);
    ASSERT_TRUE(source.Open(u"Src", false));
    ASSERT_TRUE(target.Open(u"Software\\Restored", true));
    target.CopyKeyFromReg(u"Tree", source, true);
    EXPECT_FALSE(KeyExists(u"Src\\Tree")) << "moved out of memory";
    target.Close();
    ASSERT_EQ(ERROR_SUCCESS, hiveStore.Close());
  }
  const auto exported = registry::store::testing::HivexExport(hive);
  ASSERT_EQ(0, exported.exitCode) << exported.output;
  EXPECT_NE(std::string::npos,
            exported.output.find("[\\Software\\Restored\\Tree]\n"
                                 "@=hex(3):01,02,03\n"
                                 "\"name\"=hex(1):50,00,72,00,6f,00,66,00,69,00,6c,00,00,00\n\n"
                                 "[\\Software\\Restored\\Tree\\Sub]\n\"count\"=dword:00000003\n"))
      << exported.output;
  EXPECT_NE(std::string::npos, exported.output.find("[\\Software\\Restored\\Tree\\Sub\\Empty]\n"))
      << exported.output;
}

}  // namespace
}  // namespace brindel::regfile
