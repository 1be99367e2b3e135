// brindel-cli.exe for another user of the running Windows (--user without
// --windows-root), as a technician runs it under an administrator's account: found in
// the ProfileList of the live registry (Wine's, in the test's own prefix). A user who
// is logged off is worked on in their NTUSER.DAT beside the live machine part; one who
// is logged on in the hive Windows has loaded under HKEY_USERS (a key made there by the
// test, which Wine allows). The backups go to that user's Documents.

#include <gtest/gtest.h>
#include <process.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/RegistrySource.h"
#include "platform/Text.h"
#include "regfile/RegText.h"
#include "registry/store/Win32Store.h"
#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveStore.h"
#include "support/Files.h"
#include "tests/cli/WindowsDisk.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using registry::store::HiveStore;
using registry::store::Win32Store;
using registry::store::testing::HivexExport;
using ProcessResult = registry::store::testing::RunResult;
using registry::store::ERROR_FILE_NOT_FOUND;
using registry::store::ERROR_SUCCESS;
using registry::store::KEY_ALL_ACCESS;
using registry::store::KEY_READ;
using test::ReadWholeFile;

constexpr auto kMachine = registry::store::HKEY_LOCAL_MACHINE;
constexpr auto kUsers = registry::store::HKEY_USERS;
constexpr auto kCurrentUser = registry::store::HKEY_CURRENT_USER;

const std::string kCli = BRINDEL_CLI;
constexpr const char* kDamaged = "B\xC3\xBCro";
constexpr const char* kUnusedSection = "5a89cc3fa6d8fe64d70c612c73cdcb86";
constexpr std::u16string_view kProfileList =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::u16string_view kUnusedKey =
    u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\B\u00fcro\\"
    u"5a89cc3fa6d8fe64d70c612c73cdcb86";

// The demo registry without its machine part: what a user's hive holds.
std::string UserPartOfDemo() {
  std::istringstream in{std::string(app::DemoRegistryText())};
  std::string text;
  std::string line;
  bool machine = false;
  while (std::getline(in, line)) {
    if (line.starts_with("["))
      machine = line.starts_with("[HKEY_LOCAL_MACHINE");
    if (!machine)
      text += line + "\n";
  }
  return text;
}

std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    files[platform::ToUtf8(fs::relative(entry.path(), folder).u16string())] =
        entry.is_regular_file() ? ReadWholeFile(entry.path()) : "<folder>";
  }
  return files;
}

// A user of this Windows who exists only for the test: a ProfileList entry of its own
// pointing at a profile folder in the test's folder, with Documents in "Dokumente".
class CliLiveUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string unique = std::to_string(::_getpid());
    sid_ = u"S-1-5-21-4711-4712-4713-" + platform::FromUtf8(unique);
    name_ = "brindel-user-" + unique;
    dir_ = fs::temp_directory_path() / ("brindel-liveuser-" + unique);
    fs::remove_all(dir_);
    profile_ = dir_ / name_;
    fs::create_directories(profile_ / "Dokumente");
    fs::create_directories(dir_ / "docs");
    std::ofstream(dir_ / "user.reg", std::ios::binary) << UserPartOfDemo();
    Win32Store live;
    test::SetExpandText(live, kMachine, ProfileKey(), u"ProfileImagePath", profile_.u16string());
  }
  void TearDown() override {
    Win32Store live;
    live.DeleteTree(kMachine, ProfileKey());
    live.DeleteTree(kUsers, sid_);
    fs::remove_all(dir_);
  }

  std::u16string ProfileKey() const { return std::u16string(kProfileList) + u"\\" + sid_; }
  ProcessResult Run(std::vector<std::string> args) {
    return registry::store::testing::RunProgram(kCli, args);
  }
  std::string Path(const fs::path& path) const { return platform::ToUtf8(path.u16string()); }
  fs::path Backups() const { return profile_ / "Dokumente" / "Brindel"; }

  // The user's NTUSER.DAT with the demo's profiles, as the project's writer makes it.
  void MakeUserHive() {
    registry::store::hive::WriteEmptyHive(profile_ / "NTUSER.DAT");
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, profile_ / "NTUSER.DAT");
    regfile::LoadRegTextFile((dir_ / "user.reg").u16string(), store);
    test::SetExpandText(store, kCurrentUser, test::kShellFoldersKey, u"Personal",
                        u"%USERPROFILE%\\Dokumente");
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }

  std::u16string sid_;
  std::string name_;
  fs::path dir_;
  fs::path profile_;
};

// The same repair on a copy of the hive through --hive says what to expect.
TEST_F(CliLiveUserTest, ALoggedOffUserIsRepairedInTheirHive) {
  MakeUserHive();
  fs::copy_file(profile_ / "NTUSER.DAT", dir_ / "copy.dat");
  const ProcessResult expected =
      Run({"--hive", "HKCU=" + Path(dir_ / "copy.dat"), "--outlook-version", "16", "--documents",
           Path(dir_ / "docs"), "repair", kDamaged});
  ASSERT_EQ(0, expected.exitCode) << expected.err;

  const ProcessResult result =
      Run({"--user", name_, "--outlook-version", "16", "repair", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(expected.out, result.out) << "the same log";
  EXPECT_EQ(Snapshot(dir_ / "docs" / "Brindel"), Snapshot(Backups()))
      << "the backups and the log in the user's own Documents";
  const auto tree = HivexExport(profile_ / "NTUSER.DAT");
  ASSERT_EQ(0, tree.exitCode) << tree.output;
  EXPECT_EQ(std::string::npos, tree.output.find(kUnusedSection));
  EXPECT_TRUE(HivexExport(dir_ / "copy.dat").output == tree.output) << "the same tree afterwards";
}

TEST_F(CliLiveUserTest, ALoggedOnUserIsRepairedInTheirLoadedRegistry) {
  Win32Store live;
  registry::store::HKEY key = 0;
  ASSERT_EQ(ERROR_SUCCESS, live.CreateKey(kUsers, sid_, KEY_ALL_ACCESS, key))
      << "no key can be made under HKEY_USERS here";
  live.CloseKey(key);
  // The user's registry as Windows loaded it: filled through the program itself.
  const ProcessResult imported = Run({"--user", name_, "import", Path(dir_ / "user.reg")});
  ASSERT_EQ(0, imported.exitCode) << imported.err;
  test::SetExpandText(live, kUsers, sid_ + u"\\" + std::u16string(test::kShellFoldersKey),
                      u"Personal", u"%USERPROFILE%\\Dokumente");

  const ProcessResult expected = Run({"--reg", Path(dir_ / "user.reg"), "--outlook-version", "16",
                                      "--documents", Path(dir_ / "docs"), "repair", kDamaged});
  ASSERT_EQ(0, expected.exitCode) << expected.err;
  const ProcessResult result =
      Run({"--user", name_, "--outlook-version", "16", "repair", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("ist angemeldet; Brindel arbeitet auf seiner "
                                               "geladenen Registry (HKEY_USERS\\S-1-5-21-4711-"))
      << result.err;
  EXPECT_EQ(expected.out, result.out) << "the same log";
  EXPECT_EQ(Snapshot(dir_ / "docs" / "Brindel").size(), Snapshot(Backups()).size());
  EXPECT_EQ(
      ReadWholeFile(dir_ / "docs" / "Brindel" / fs::path(platform::FromUtf8(kDamaged) + u".log")),
      ReadWholeFile(Backups() / fs::path(platform::FromUtf8(kDamaged) + u".log")));

  registry::store::HKEY gone = 0;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            live.OpenKey(kUsers, sid_ + u"\\" + std::u16string(kUnusedKey), KEY_READ, gone))
      << "repaired in the user's registry";
  EXPECT_EQ(ERROR_SUCCESS,
            live.OpenKey(kUsers,
                         sid_ + u"\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Outlook",
                         KEY_READ, key));
  live.CloseKey(key);
}

TEST_F(CliLiveUserTest, AnUnknownUserIsNamedWithTheUsersFound) {
  MakeUserHive();
  const ProcessResult result = Run({"--user", "gibt-es-nicht", "profiles"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ(0u, result.err.find("Fehler: Einen Benutzer „gibt-es-nicht“ gibt es in der "
                                "Profilliste dieses Windows nicht. Gefunden: "))
      << result.err;
  EXPECT_NE(std::string::npos, result.err.find(name_)) << result.err;
}

// Every user of this Windows: the test's user, logged off, with the demo's profiles,
// and Wine's own user, logged on, without any.
TEST_F(CliLiveUserTest, AllUsersListsEveryUsersProfiles) {
  MakeUserHive();
  // Wine has no Outlook installation to find the version by.
  const ProcessResult result =
      Run({"--all-users", "--outlook-version", "16", "--json", "profiles"});
  const nlohmann::json report = nlohmann::json::parse(result.out, nullptr, false);
  ASSERT_FALSE(report.is_discarded()) << result.out << result.err;
  bool found = false;
  for (const auto& user : report.at("users")) {
    if (user.at("user") == name_) {
      found = true;
      EXPECT_EQ(2u, user.at("profiles").size()) << user.dump();
      EXPECT_TRUE(user["result"]["ok"].get<bool>());
    }
  }
  EXPECT_TRUE(found) << result.out;
  EXPECT_EQ(0, result.exitCode) << result.err;
}

}  // namespace
}  // namespace brindel::cli
