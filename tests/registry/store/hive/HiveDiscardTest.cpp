#include <gtest/gtest.h>

#include "registry/store/hive/HiveStore.h"
#include "registry/store/hive/EmptyHive.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

// An action that fails half-way forgets its changes: the hive file stays as it was,
// also when the store closes afterwards, and later changes are written as usual.
TEST(HiveDiscardTest, ForgottenChangesNeverReachTheFile) {
  TempFolder folder;
  const auto file = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(file);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, file);
    HKEY key = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              store.CreateKey(HKEY_CURRENT_USER, u"Profile\\Keep", KEY_ALL_ACCESS, key));
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS,
              store.CreateKey(HKEY_CURRENT_USER, u"Profile\\Gone", KEY_ALL_ACCESS, key));
    store.CloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const auto before = ReadBytes(file);

  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, file);
  ASSERT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, u"Profile\\Gone", 0));
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store.CreateKey(HKEY_CURRENT_USER, u"Profile\\New", KEY_ALL_ACCESS, key));
  store.DiscardChanges();
  EXPECT_EQ(ERROR_INVALID_HANDLE, store.CloseKey(key)) << "handles go with the discarded changes";
  ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(HKEY_CURRENT_USER, u"Profile\\Gone", KEY_READ, key));
  store.CloseKey(key);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, store.OpenKey(HKEY_CURRENT_USER, u"Profile\\New", KEY_READ, key));
  ASSERT_EQ(ERROR_SUCCESS, store.FlushKey(HKEY_CURRENT_USER));
  EXPECT_EQ(before, ReadBytes(file));

  ASSERT_EQ(ERROR_SUCCESS, store.DeleteKey(HKEY_CURRENT_USER, u"Profile\\Gone", 0));
  ASSERT_EQ(ERROR_SUCCESS, store.Close());
  HiveStore reread(HiveStore::Mode::ReadOnly);
  reread.Mount(HiveStore::MountPoint::CurrentUser, file);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            reread.OpenKey(HKEY_CURRENT_USER, u"Profile\\Gone", KEY_READ, key));
  ASSERT_EQ(ERROR_SUCCESS, reread.OpenKey(HKEY_CURRENT_USER, u"Profile\\Keep", KEY_READ, key));
  reread.CloseKey(key);
}

}  // namespace
}  // namespace brindel::registry::store
