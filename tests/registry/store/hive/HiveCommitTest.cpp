// How a changed hive reaches its file: all at once or not at all, by one writer at a
// time, and without leaving temporary files behind, also after a run that was killed.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveCommit.h"
#include "registry/store/hive/HiveStore.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::registry::store {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;
using testing::TempFolder;

HKEY Create(HiveStore& store, std::u16string_view path) {
  HKEY key = 0;
  EXPECT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
  return key;
}

void SetBinary(HiveStore& store, std::u16string_view path, std::u16string_view name,
               const Bytes& data) {
  HKEY key = Create(store, path);
  EXPECT_EQ(ERROR_SUCCESS, store.SetValue(key, name, REG_BINARY, data));
  store.CloseKey(key);
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<std::uint8_t>(i * 13 + seed);
  return data;
}

// Every key, value name, type and data byte below `key`, as one text.
void Dump(HiveStore& store, HKEY key, const std::u16string& path, std::string& out) {
  out += platform::ToUtf8(path) + "\n";
  std::u16string name;
  RegValue value;
  for (std::uint32_t i = 0; store.EnumValue(key, i, name, &value) == ERROR_SUCCESS; ++i) {
    out += "  " + platform::ToUtf8(name) + " " + std::to_string(value.type) + " " +
           std::to_string(value.data.size()) + " ";
    std::uint32_t sum = 0;
    for (std::uint8_t b : value.data)
      sum = sum * 31 + b;
    out += std::to_string(sum) + "\n";
  }
  for (std::uint32_t i = 0; store.EnumKey(key, i, name) == ERROR_SUCCESS; ++i) {
    HKEY child = 0;
    ASSERT_EQ(ERROR_SUCCESS, store.OpenKey(key, name, KEY_READ, child));
    Dump(store, child, path + u"\\" + name, out);
    store.CloseKey(child);
  }
}

std::string Dump(const fs::path& file) {
  HiveStore store(HiveStore::Mode::ReadOnly);
  store.Mount(HiveStore::MountPoint::CurrentUser, file);
  std::string out;
  Dump(store, HKEY_CURRENT_USER, u"", out);
  return out;
}

// A repair's kind of change: sections deleted, a value replaced, a key added.
void MakeRepairChange(HiveStore& store) {
  for (int i = 0; i < 60; i += 3) {
    ASSERT_EQ(ERROR_SUCCESS,
              store.DeleteKey(HKEY_CURRENT_USER,
                              u"Profiles\\P\\S" + platform::Widen(std::to_string(i)), 0));
  }
  SetBinary(store, u"Profiles\\P\\S1", u"list", Pattern(70000, 99));
  SetBinary(store, u"Profiles\\P\\Neu", u"flag", {2});
}

class HiveCommitTest : public ::testing::Test {
 protected:
  // A hive of a few MiB, so that a write takes several steps: a profile of sections
  // with large values, some of which the change below deletes.
  void SetUp() override {
    hive::WriteEmptyHive(original_);
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, original_);
    for (int i = 0; i < 60; ++i) {
      const std::u16string section = u"Profiles\\P\\S" + platform::Widen(std::to_string(i));
      SetBinary(store, section, u"list", Pattern(40000 + 100 * i, static_cast<std::uint8_t>(i)));
      SetBinary(store, section, u"flag", {1, 0, 0, 0});
    }
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }

  static void Change(HiveStore& store) { MakeRepairChange(store); }

  TempFolder folder_;
  const fs::path original_ = folder_ / "original.dat";
  const fs::path hive_ = folder_ / "NTUSER.DAT";
};

// A write that fails at any of its steps (the new file, each write into it, its sync,
// the rename) leaves the hive as it was, and the same changes are written completely
// when the write is tried again.
TEST_F(HiveCommitTest, AFailureAtAnyStepLeavesTheHiveWholeAndTheChangesPending) {
  fs::copy_file(original_, hive_);
  std::size_t steps = 0;
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    Change(store);
    store.InjectCommitFault([&steps](std::size_t step) {
      steps = step;
      return 0;
    });
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const std::string expected = Dump(hive_);
  ASSERT_GT(steps, 6u) << "the new file, its writes, sync, rename and the folder's sync";
  fs::remove(original_.parent_path() / "NTUSER.DAT");
  const Bytes before = ReadBytes(original_);

  for (std::size_t failing = 1; failing <= steps; ++failing) {
    SCOPED_TRACE("step " + std::to_string(failing) + " of " + std::to_string(steps));
    fs::copy_file(original_, hive_);
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    Change(store);
    store.InjectCommitFault([failing](std::size_t step) { return step == failing ? ENOSPC : 0; });
    const LSTATUS status = store.FlushKey(HKEY_CURRENT_USER);
    if (failing < steps) {
      EXPECT_EQ(ERROR_CANTWRITE, status);
      EXPECT_EQ(before, ReadBytes(hive_)) << "the hive is as it was";
      const std::string error = platform::ToUtf8(store.LastWriteError());
      EXPECT_NE(std::string::npos, error.find("die Datei ist unverändert")) << error;
    } else {
      // The folder's sync comes after the rename: the hive is the new file already.
      EXPECT_EQ(ERROR_SUCCESS, status);
    }
    EXPECT_EQ((std::vector<std::string>{"NTUSER.DAT", "original.dat"}), folder_.Names())
        << "no temporary file left";
    store.InjectCommitFault(nullptr);
    ASSERT_EQ(ERROR_SUCCESS, store.Close()) << platform::ToUtf8(store.LastWriteError());
    EXPECT_EQ(expected, Dump(hive_)) << "written completely the next time";
    fs::remove(hive_);
  }
}

// The child's part of the tests of killed runs: mounts the hive, makes the change of
// HiveCommitTest, and kills itself at the given step of the write (or, at step 0,
// right after mounting). Run by RunChildTest, never on its own.
TEST(HiveKilledRun, DISABLED_Child) {
  const fs::path hive(platform::FromUtf8(testing::ChildVariable("BRINDEL_TEST_HIVE")));
  const std::size_t killed = std::stoul(testing::ChildVariable("BRINDEL_TEST_KILL_AT"));
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, hive);
  if (killed == 0)
    testing::KillThisProcess();
  MakeRepairChange(store);
  store.InjectCommitFault([killed](std::size_t step) {
    if (step == killed)
      testing::KillThisProcess();
    return 0;
  });
  std::exit(store.Close() == ERROR_SUCCESS ? 0 : 1);
}

int RunKilled(const fs::path& hive, std::size_t step) {
  return testing::RunChildTest("HiveKilledRun.DISABLED_Child",
                               {{"BRINDEL_TEST_HIVE", platform::ToUtf8(hive.u16string())},
                                {"BRINDEL_TEST_KILL_AT", std::to_string(step)}});
}

// A run killed at any step of its write leaves the hive as it was or completely
// written; the temporary file it may leave is removed by the next run that writes.
TEST_F(HiveCommitTest, ARunKilledWhileWritingLeavesTheHiveWholeAndTheNextRunTidiesUp) {
  fs::copy_file(original_, hive_);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    Change(store);
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const std::string expected = Dump(hive_);
  const std::string unchanged = Dump(original_);
  for (std::size_t killed = 1;; ++killed) {
    SCOPED_TRACE("killed at step " + std::to_string(killed));
    // Removed first: the mingw-w64 library refuses overwrite_existing.
    fs::remove(hive_);
    fs::copy_file(original_, hive_);
    const int status = RunKilled(hive_, killed);
    if (status != testing::kKilled) {
      // Past the last step: a run that was not killed.
      ASSERT_EQ(0, status);
      EXPECT_EQ(expected, Dump(hive_));
      break;
    }
    const std::string now = Dump(hive_);
    EXPECT_TRUE(now == unchanged || now == expected) << "half written";

    // The next run that writes the hive removes what the killed one left.
    HiveStore next;
    next.Mount(HiveStore::MountPoint::CurrentUser, hive_);
    SetBinary(next, u"Profiles\\Next", u"v", {1});
    ASSERT_EQ(ERROR_SUCCESS, next.Close());
    EXPECT_EQ((std::vector<std::string>{"NTUSER.DAT", "original.dat"}), folder_.Names());
    ASSERT_LT(killed, 200u);
  }
}

TEST(HiveLockTest, OneWriterAtATimeAndReadersBesideIt) {
  TempFolder folder;
  const fs::path file = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(file);
  const auto expectInUse = [&file]() {
    HiveStore second;
    try {
      second.Mount(HiveStore::MountPoint::CurrentUser, file);
      ADD_FAILURE() << "a second writer mounted the hive";
    } catch (const EHiveError& error) {
      const std::string message = error.what();
      EXPECT_NE(std::string::npos, message.find("wird gerade von einem anderen Brindel-Lauf "
                                                "verwendet"))
          << message;
      EXPECT_NE(std::string::npos, message.find(file.string())) << message;
    }
  };

  auto first = std::make_unique<HiveStore>();
  first->Mount(HiveStore::MountPoint::CurrentUser, file);
  SetBinary(*first, u"Software\\Erster", u"v", {1});
  expectInUse();
  {
    HiveStore reader(HiveStore::Mode::ReadOnly);
    EXPECT_NO_THROW(reader.Mount(HiveStore::MountPoint::CurrentUser, file)) << "readers may";
  }
  // The write replaces the file; the lock goes with it to the new one.
  ASSERT_EQ(ERROR_SUCCESS, first->FlushKey(HKEY_CURRENT_USER));
  expectInUse();
  first->DiscardChanges();
  expectInUse();

  first.reset();
  HiveStore after;
  EXPECT_NO_THROW(after.Mount(HiveStore::MountPoint::CurrentUser, file));
}

TEST(HiveLockTest, ARunThatDiesLeavesNoLockBehind) {
  TempFolder folder;
  const fs::path file = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(file);
  ASSERT_EQ(testing::kKilled, RunKilled(file, 0));
  HiveStore store;
  EXPECT_NO_THROW(store.Mount(HiveStore::MountPoint::CurrentUser, file));
}

TEST(HiveLockTest, OnlyOurOwnLeftoversAreRemoved) {
  TempFolder folder;
  const fs::path file = folder / "NTUSER.DAT";
  hive::WriteEmptyHive(file);
  for (const char* name : {".NTUSER.DAT.brindel-a1B2c3", ".NTUSER.DAT.brindel-toolong",
                           ".SOFTWARE.brindel-a1B2c3", "NTUSER.DAT.LOG1"}) {
    testing::WriteBytes(folder / name, Bytes(100, 1));
  }
  {
    HiveStore reader(HiveStore::Mode::ReadOnly);
    reader.Mount(HiveStore::MountPoint::CurrentUser, file);
  }
  EXPECT_EQ(5u, folder.Names().size()) << "a run that only reads leaves them";
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, file);
  SetBinary(store, u"Software", u"v", {1});
  ASSERT_EQ(ERROR_SUCCESS, store.Close());
  EXPECT_EQ((std::vector<std::string>{".NTUSER.DAT.brindel-toolong", ".SOFTWARE.brindel-a1B2c3",
                                      "NTUSER.DAT", "NTUSER.DAT.LOG1"}),
            folder.Names());
}

}  // namespace
}  // namespace brindel::registry::store
