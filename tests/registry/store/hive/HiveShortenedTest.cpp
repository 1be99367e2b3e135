// A hive that another program shortens while a run holds it. Elsewhere than on
// Windows nothing stops that program, and a read past the file's new end would end
// the process with a signal: the store reads such a hive as damaged instead, says so
// in German and writes nothing to it. On Windows the way the run holds the file lets
// no one write it, so it cannot be shortened at all.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/HeldFile.h"
#include "platform/Text.h"
#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveStore.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Reads every key and value below `key`; counts what could not be read.
void Walk(HiveStore& store, HKEY key, std::size_t& keys, std::size_t& failures) {
  ++keys;
  std::u16string name;
  RegValue value;
  for (std::uint32_t i = 0;; ++i) {
    const LSTATUS status = store.EnumValue(key, i, name, &value);
    if (status == ERROR_NO_MORE_ITEMS)
      break;
    if (status != ERROR_SUCCESS) {
      ++failures;
      break;
    }
  }
  for (std::uint32_t i = 0; store.EnumKey(key, i, name) == ERROR_SUCCESS; ++i) {
    HKEY child = 0;
    if (store.OpenKey(key, name, KEY_READ, child) != ERROR_SUCCESS) {
      ++failures;
      continue;
    }
    Walk(store, child, keys, failures);
    store.CloseKey(child);
  }
}

class HiveShortenedTest : public ::testing::Test {
 protected:
  // A hive of some MiB: sections with values of a few KiB.
  void SetUp() override {
    hive::WriteEmptyHive(file_);
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, file_);
    for (int i = 0; i < 400; ++i) {
      HKEY key = 0;
      ASSERT_EQ(
          ERROR_SUCCESS,
          store.CreateKey(HKEY_CURRENT_USER, u"Profiles\\P\\S" + platform::Widen(std::to_string(i)),
                          KEY_ALL_ACCESS, key));
      ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"list", REG_BINARY,
                                              Bytes(5000, static_cast<std::uint8_t>(i))));
      store.CloseKey(key);
    }
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }

  testing::TempFolder folder_;
  const fs::path file_ = folder_ / "NTUSER.DAT";
};

TEST_F(HiveShortenedTest, AShortenedHiveReadsAsDamagedAndIsNeverWritten) {
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, file_);
  HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store.CreateKey(HKEY_CURRENT_USER, u"Profiles\\Neu", KEY_ALL_ACCESS, key));
  store.CloseKey(key);
  const auto identity = platform::IdentityOf(file_);
  const auto size = fs::file_size(file_);

  // Another program cuts the file to its first quarter.
  std::error_code error;
  fs::resize_file(file_, size / 4, error);
  std::size_t keys = 0;
  std::size_t failures = 0;
  Walk(store, HKEY_CURRENT_USER, keys, failures);

#ifdef _WIN32
  // Windows refuses: the run holds the file so that no one may write it.
  EXPECT_TRUE(error) << "the hive was shortened while it was held";
  EXPECT_EQ(size, fs::file_size(file_));
  EXPECT_EQ(0u, failures);
  EXPECT_EQ(404u, keys);
  EXPECT_EQ(u"", store.DamageNotice());
  EXPECT_EQ(ERROR_SUCCESS, store.Close()) << platform::ToUtf8(store.LastWriteError());
  EXPECT_NE(identity, platform::IdentityOf(file_)) << "written anew";
#else
  ASSERT_FALSE(error) << error.message();
  EXPECT_LT(0u, failures) << "what the file lost cannot have been read";
  const std::string notice = platform::ToUtf8(store.DamageNotice());
  EXPECT_NE(std::string::npos,
            notice.find("wurde während des Laufs von einem anderen Programm verkürzt"))
      << notice;
  EXPECT_NE(std::string::npos, notice.find(file_.string())) << notice;
  EXPECT_EQ(ERROR_CANTWRITE, store.Close());
  const std::string failure = platform::ToUtf8(store.LastWriteError());
  EXPECT_NE(std::string::npos, failure.find("die Datei ist unverändert")) << failure;
  EXPECT_EQ(identity, platform::IdentityOf(file_)) << "not replaced";
  EXPECT_EQ(size / 4, fs::file_size(file_));
  EXPECT_EQ(std::vector<std::string>{"NTUSER.DAT"}, folder_.Names()) << "no new file left";
#endif
}

}  // namespace
}  // namespace brindel::registry::store
