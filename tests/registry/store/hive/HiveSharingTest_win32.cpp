// How Windows shares a hive file with the run that holds it. A hive that the running
// Windows has loaded (a logged-on user's NTUSER.DAT, the system's SOFTWARE) is open
// without sharing: the run refuses it and says what to do instead. A hive the run
// holds may be read beside it, but no one may write it, so no one can shorten it
// under the run either.

#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveStore.h"

namespace {
// Taken before <windows.h> turns the names into its own macros.
using brindel::registry::store::HiveStore;
constexpr auto kUser = HiveStore::MountPoint::CurrentUser;
constexpr auto kSoftware = HiveStore::MountPoint::MachineSoftware;
constexpr auto kCurrentUser = brindel::registry::store::HKEY_CURRENT_USER;
constexpr auto kAllAccess = brindel::registry::store::KEY_ALL_ACCESS;
constexpr auto kRead = brindel::registry::store::KEY_READ;
constexpr auto kSuccess = brindel::registry::store::ERROR_SUCCESS;
constexpr auto kCannotWrite = brindel::registry::store::ERROR_CANTWRITE;
}  // namespace

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/Text.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

namespace fs = std::filesystem;

// A handle as another program holds the file: with the access and sharing given.
class OtherProgram {
 public:
  OtherProgram(const fs::path& file, DWORD access, DWORD share)
      : handle_(::CreateFileW(file.c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OtherProgram() {
    if (Opened())
      ::CloseHandle(handle_);
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;
  bool Opened() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

struct SharingCase {
  const char* name;
  HiveStore::MountPoint where;
  bool readOnly;
  const char* advice;  // what the message says to do instead
};

class HiveSharingTest : public ::testing::TestWithParam<SharingCase> {
 protected:
  void SetUp() override { hive::WriteEmptyHive(file_); }

  testing::TempFolder folder_;
  const fs::path file_ = folder_ / "NTUSER.DAT";
};

// The way Windows holds a hive it has loaded: read and written by itself alone.
TEST_P(HiveSharingTest, AHiveWindowsHasLoadedIsRefusedWithWhatToDoInstead) {
  OtherProgram windows(file_, GENERIC_READ | GENERIC_WRITE, 0);
  ASSERT_TRUE(windows.Opened());
  HiveStore store(GetParam().readOnly ? HiveStore::Mode::ReadOnly : HiveStore::Mode::ReadWrite);
  try {
    store.Mount(GetParam().where, file_);
    ADD_FAILURE() << "a hive held without sharing was mounted";
  } catch (const EHiveInUse& error) {
    const std::string message = error.what();
    EXPECT_NE(std::string::npos, message.find(platform::ToUtf8(file_.u16string()))) << message;
    EXPECT_NE(std::string::npos,
              message.find("hält ein anderes Programm geöffnet, ohne jemanden mitlesen zu lassen"))
        << message;
    EXPECT_NE(std::string::npos, message.find(GetParam().advice)) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Hives, HiveSharingTest,
    ::testing::Values(SharingCase{"UserHive", kUser, false, "als dieser Benutzer ohne --hive"},
                      SharingCase{"UserHiveOnlyRead", kUser, true,
                                  "als dieser Benutzer ohne --hive"},
                      SharingCase{"SystemHive", kSoftware, false, "„reg save“"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HiveHeldTest, OthersMayReadAHeldHiveButNotWriteOrShortenIt) {
  testing::TempFolder folder;
  const fs::path file = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(file);
  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "held to be read" : "held to be written");
    HiveStore store(readOnly ? HiveStore::Mode::ReadOnly : HiveStore::Mode::ReadWrite);
    store.Mount(kUser, file);
    EXPECT_TRUE(OtherProgram(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE).Opened())
        << "a reader beside the run";
    const OtherProgram writer(file, GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_FALSE(writer.Opened());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    std::error_code error;
    fs::resize_file(file, 0x1000, error);
    EXPECT_TRUE(error) << "shortened under the run";
  }
}

// Windows replaces no file that another program has open. A write while someone
// reads the hive fails, leaves the hive as it was and the store as it was, held and
// readable; once the reader is gone the same changes are written. (Elsewhere the
// reader keeps the old file and the write goes through.)
TEST(HiveHeldTest, AWriteWhileAnotherProgramReadsTheHiveWaitsForIt) {
  testing::TempFolder folder;
  const fs::path file = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(file);
  const auto before = testing::ReadBytes(file);
  HiveStore store;
  store.Mount(kUser, file);
  registry::store::HKEY key = 0;
  ASSERT_EQ(kSuccess, store.CreateKey(kCurrentUser, u"Software\\Neu", kAllAccess, key));
  {
    const OtherProgram reader(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_TRUE(reader.Opened());
    EXPECT_EQ(kCannotWrite, store.FlushKey(key));
    const std::string failure = platform::ToUtf8(store.LastWriteError());
    EXPECT_NE(std::string::npos, failure.find("die neue Datei kann die alte nicht ersetzen"))
        << failure;
    EXPECT_NE(std::string::npos, failure.find("die Datei ist unverändert")) << failure;
  }
  EXPECT_EQ(before, testing::ReadBytes(file));
  EXPECT_EQ(std::vector<std::string>{"NTUSER.DAT"}, folder.Names()) << "no new file left";
  EXPECT_EQ(u"", store.DamageNotice()) << "held and read as before";
  registry::store::HKEY software = 0;
  EXPECT_EQ(kSuccess, store.OpenKey(kCurrentUser, u"Software", kRead, software));
  store.CloseKey(software);
  store.CloseKey(key);
  ASSERT_EQ(kSuccess, store.Close()) << platform::ToUtf8(store.LastWriteError());

  HiveStore after(HiveStore::Mode::ReadOnly);
  after.Mount(kUser, file);
  EXPECT_EQ(kSuccess, after.OpenKey(kCurrentUser, u"Software\\Neu", kRead, key));
}

}  // namespace
}  // namespace brindel::registry::store
