// brindel-cli on the disk of a PC that no longer starts, mounted on a rescue system or
// attached to a working Windows: the users found as that Windows knows them, the
// Outlook installation read from its OUTLOOK.EXE below the root, the backups where the
// user finds them, and every user in turn with --all-users.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/Text.h"
#include "platform/Wine.h"
#include "support/Files.h"
#ifdef _WIN32
#include "tests/cli/LinuxBuild.h"
#endif
#include "tests/cli/WindowsDisk.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ProcessResult = registry::store::testing::RunResult;
using registry::store::testing::HivexExport;
using test::DiskUser;
using test::ReadWholeFile;

const std::string kCli = BRINDEL_CLI;
constexpr const char* kDamaged = "B\xC3\xBCro";  // "Büro" in UTF-8, as a shell passes it
constexpr const char* kUnusedSection = "5a89cc3fa6d8fe64d70c612c73cdcb86";

std::string Arg(const fs::path& path) {
  return platform::ToUtf8(path.u16string());
}

fs::path Utf8(const std::string& name) {
  return fs::path(platform::FromUtf8(name));
}

// Every file below a folder with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder))
    return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = platform::ToUtf8(fs::relative(entry.path(), folder).u16string());
    files[name] = entry.is_regular_file() ? ReadWholeFile(entry.path()) : "<folder>";
  }
  return files;
}

class CliWindowsRootTest : public ::testing::Test {
 protected:
  ProcessResult Run(std::vector<std::string> args) {
    return registry::store::testing::RunProgram(kCli, args);
  }
  std::vector<std::string> Root(std::vector<std::string> command) const {
    std::vector<std::string> args{"--windows-root", Arg(root_)};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  }
  fs::path Backups(const std::string& user, const std::string& documents = "Documents") const {
    return root_ / "Users" / user / Utf8(documents) / "Brindel";
  }

  registry::store::testing::TempFolder folder_{"brindel-winroot-"};
  fs::path root_ = folder_.Path() / "mnt";
};

// The installation is found from its own registry and its OUTLOOK.EXE, the user's
// documents folder from their hive: a run needs no more than the root and the user.
TEST_F(CliWindowsRootTest, ADiskFromAnotherPcIsRepairedWhereItsUserFindsTheBackups) {
  test::MakeWindowsDisk(
      root_, {{"anna", true, "S-1-5-21-7-7-7-1001", u"%USERPROFILE%\\Eigene Dateien", false}});
  fs::create_directories(root_ / "Users" / "anna" / "Eigene Dateien");

  const ProcessResult versions = Run(Root({"--user", "anna", "versions"}));
  ASSERT_EQ(0, versions.exitCode) << versions.err;
  EXPECT_EQ(
      "Outlook 2016 (64 Bit)\tC:\\Program Files\\Microsoft Office\\root\\Office16\\"
      "OUTLOOK.EXE\n",
      versions.out);

  // The same repair on a copy of the user's hive, through --hive, says what to expect.
  const fs::path copy = folder_.Path() / "copy";
  fs::create_directories(copy / "docs");
  fs::copy_file(root_ / "Users" / "anna" / "NTUSER.DAT", copy / "NTUSER.DAT");
  const ProcessResult expected =
      Run({"--hive", "HKCU=" + Arg(copy / "NTUSER.DAT"), "--hive",
           "HKLM\\SOFTWARE=" + Arg(root_ / "Windows" / "System32" / "config" / "SOFTWARE"),
           "--outlook-version", "16", "--documents", Arg(copy / "docs"), "repair", kDamaged});
  ASSERT_EQ(0, expected.exitCode) << expected.err;

  const ProcessResult result = Run(Root({"--user", "ANNA", "repair", kDamaged}));
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(expected.out, result.out) << "the same log";
  EXPECT_EQ(Snapshot(copy / "docs" / "Brindel"), Snapshot(Backups("anna", "Eigene Dateien")))
      << "the backups and the log where the user's Windows keeps the documents";
  EXPECT_FALSE(fs::exists(root_ / "Users" / "anna" / "Documents"));
  const auto tree = HivexExport(root_ / "Users" / "anna" / "NTUSER.DAT");
  ASSERT_EQ(0, tree.exitCode) << tree.output;
  EXPECT_TRUE(HivexExport(copy / "NTUSER.DAT").output == tree.output) << "the same tree afterwards";
  EXPECT_EQ(std::string::npos, tree.output.find(kUnusedSection));
}

TEST_F(CliWindowsRootTest, AnUnknownUserIsNamedWithTheUsersThatAreThere) {
  test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001"}, {"bob", false, ""}});
  const ProcessResult result = Run(Root({"--user", "zoe", "profiles"}));
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find("Fehler: Einen Benutzer „zoe“ mit einer "
                                               "NTUSER.DAT gibt es in der Windows-Installation"))
      << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Gefunden: anna, bob.")) << result.err;
}

// Documents on a server or on another drive are not on this disk: the backups go to
// the profile folder's Documents, and the run says so.
TEST_F(CliWindowsRootTest, DocumentsElsewhereAreReplacedByTheProfilesOwn) {
  test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001", u"\\\\server\\home\\anna"}});
  const ProcessResult result = Run(Root({"--user", "anna", "repair", kDamaged}));
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos,
            result.err.find("Information: Der Dokumente-Ordner von „anna“ ist "
                            "„\\\\server\\home\\anna“ und liegt nicht auf dieser "
                            "Windows-Installation; die Sicherungen kommen in "
                            "„C:\\Users\\anna\\Documents“."))
      << result.err;
  EXPECT_TRUE(fs::exists(Backups("anna") / Utf8(std::string(kDamaged) + ".reg")));

  // A folder the technician names needs no word about the user's own.
  fs::create_directories(folder_.Path() / "docs");
  const ProcessResult named = Run(
      Root({"--user", "anna", "--documents", Arg(folder_.Path() / "docs"), "analyse", kDamaged}));
  ASSERT_EQ(0, named.exitCode) << named.err;
  EXPECT_EQ(std::string::npos, named.err.find("Dokumente-Ordner")) << named.err;
}

// Two users, one without Outlook, beside what --all-users leaves out: the services'
// profiles, the template, the common folder and a folder without a registry.
class CliAllUsersTest : public CliWindowsRootTest {
 protected:
  void SetUp() override {
    test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001"},
                                  {"bob", false, "S-1-5-21-7-7-7-1002"},
                                  {"Default", true, ""}});
    fs::create_directories(root_ / "Users" / "Public" / "Documents");
    fs::create_directories(root_ / "Users" / "carl");
  }
};

TEST_F(CliAllUsersTest, ProfilesListsEveryUsersOwn) {
  const ProcessResult result = Run(Root({"--all-users", "profiles"}));
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(
      "Benutzer „anna“:\n" + std::string(kDamaged) + "\nOutlook (Standard)\nBenutzer „bob“:\n",
      result.out);
  for (const char* skipped :
       {"Information: Übersprungen: carl (keine NTUSER.DAT in C:\\Users\\carl)\n",
        "Information: Übersprungen: Default (Vorlage für neue Benutzer)\n",
        "Information: Übersprungen: Public (gemeinsamer Ordner aller Benutzer)\n",
        "Information: Übersprungen: S-1-5-18 (Profil des Systems (LocalSystem))\n",
        "Information: Übersprungen: S-1-5-19 (Profil eines Systemdienstes (LocalService))\n"}) {
    EXPECT_NE(std::string::npos, result.err.find(skipped)) << skipped << "\n" << result.err;
  }

  const ProcessResult report = Run(Root({"--all-users", "--json", "profiles"}));
  ASSERT_EQ(0, report.exitCode) << report.err;
  const json document = json::parse(report.out);
  EXPECT_EQ(2, document.at("version"));
  ASSERT_EQ(2u, document.at("users").size());
  EXPECT_EQ("anna", document["users"][0].at("user"));
  EXPECT_EQ(2u, document["users"][0].at("profiles").size());
  EXPECT_TRUE(document["users"][0]["result"]["ok"].get<bool>());
  EXPECT_EQ("bob", document["users"][1].at("user"));
  EXPECT_EQ(json::array(), document["users"][1].at("profiles"));
  EXPECT_EQ("keine Outlook-Profile", document["users"][1].at("note"));
  EXPECT_TRUE(document["users"][1]["result"]["ok"].get<bool>()) << "no profiles is no failure";
  EXPECT_EQ(5u, document.at("skipped").size());
  EXPECT_TRUE(document["result"]["ok"].get<bool>());
}

TEST_F(CliAllUsersTest, RepairWritesEachUsersBackupsIntoTheirDocuments) {
  const std::string bob = ReadWholeFile(root_ / "Users" / "bob" / "NTUSER.DAT");
  const ProcessResult result = Run(Root({"--all-users", "--json", "repair", "--all"}));
  ASSERT_EQ(0, result.exitCode) << result.err;
  const json document = json::parse(result.out);
  ASSERT_EQ(2u, document.at("users").size());
  const json& anna = document["users"][0];
  EXPECT_EQ("anna", anna.at("user"));
  ASSERT_EQ(2u, anna.at("runs").size());
  for (const json& run : anna["runs"]) {
    EXPECT_TRUE(run["result"]["ok"].get<bool>()) << run.dump();
    const std::string backup = run["backup"]["files"][0]["path"];
    EXPECT_EQ(0u, backup.find(Arg(Backups("anna")))) << backup;
  }
  EXPECT_EQ("keine Outlook-Profile", document["users"][1].at("note"));
  EXPECT_EQ(json::array(), document["users"][1].at("runs"));
  for (const char* file : {"B\xC3\xBCro.reg", "B\xC3\xBCro-original.reg", "B\xC3\xBCro.log",
                           "Outlook.reg", "Outlook-original.reg", "Outlook.log"}) {
    EXPECT_TRUE(fs::exists(Backups("anna") / Utf8(file))) << file;
  }
  EXPECT_FALSE(fs::exists(Backups("bob")));
  EXPECT_EQ(bob, ReadWholeFile(root_ / "Users" / "bob" / "NTUSER.DAT")) << "nothing to repair";
  EXPECT_EQ(std::string::npos,
            HivexExport(root_ / "Users" / "anna" / "NTUSER.DAT").output.find(kUnusedSection));
  // The log names whose it is.
  EXPECT_EQ(0u, result.err.find("Information: Übersprungen: ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Benutzer „anna“:\n")) << result.err;
}

// One user's run that fails leaves the others' done, and the whole command failed.
TEST_F(CliWindowsRootTest, AUserWhoseRunFailsFailsAllUsersAndNoOneElse) {
  test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001"},
                                {"bob", false, "S-1-5-21-7-7-7-1002"},
                                {"dora", true, "S-1-5-21-7-7-7-1003"}});
  std::ofstream(root_ / "Users" / "dora" / "NTUSER.DAT", std::ios::trunc) << "kein Hive";
  const ProcessResult result = Run(Root({"--all-users", "--json", "analyse", "--all"}));
  EXPECT_EQ(1, result.exitCode) << result.err;
  const json document = json::parse(result.out);
  ASSERT_EQ(3u, document.at("users").size());
  EXPECT_TRUE(document["users"][0]["result"]["ok"].get<bool>());
  EXPECT_EQ(2u, document["users"][0]["runs"].size());
  const json& dora = document["users"][2];
  EXPECT_EQ("dora", dora.at("user"));
  EXPECT_FALSE(dora["result"]["ok"].get<bool>());
  const std::string message = dora["result"]["message"];
  EXPECT_NE(std::string::npos, message.find("ist keine Hive-Datei")) << message;
  EXPECT_FALSE(document["result"]["ok"].get<bool>());
  EXPECT_EQ(0u, document["result"]["message"].get<std::string>().find("dora: "));
}

// --log onto the hive of a user who comes later would be written by the users before.
TEST_F(CliAllUsersTest, ALogOntoAUsersHiveIsRefusedBeforeAnyoneRuns) {
  const auto before = Snapshot(root_);
  const fs::path hive = root_ / "Users" / "bob" / "NTUSER.DAT";
  const ProcessResult result = Run(Root({"--all-users", "--log", Arg(hive), "repair", "--all"}));
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find("ist eine Hive-Datei, die dieser Lauf geöffnet hat"))
      << result.err;
  EXPECT_EQ(before, Snapshot(root_));
}

#ifdef _WIN32
// brindel-cli.exe and the Linux build's brindel-cli (run under Wine as the Linux
// program it is), each on its own copy of the same disk that the project's writer
// made: the same users, log, backups, log file and tree afterwards.
TEST_F(CliWindowsRootTest, AllUsersRepairEqualsTheLinuxBuildsOnTheSameDisk) {
  using registry::store::testing::UnixPath;
  const std::string linuxCli = test::LinuxCli();
  ASSERT_TRUE(test::LinuxCliRuns());
  test::MakeWindowsDisk(root_,
                        {{"anna", true, "S-1-5-21-7-7-7-1001", u"%USERPROFILE%\\Dokumente", false},
                         {"bob", false, "S-1-5-21-7-7-7-1002"}});
  fs::create_directories(root_ / "Users" / "anna" / "Dokumente");
  const fs::path other = folder_.Path() / "linux";
  fs::copy(root_, other, fs::copy_options::recursive);

  const ProcessResult windows = Run(Root({"--all-users", "repair", "--all"}));
  const ProcessResult linux = registry::store::testing::RunUnixProgram(
      linuxCli, {"--windows-root", UnixPath(other), "--all-users", "repair", "--all"});
  ASSERT_EQ(0, windows.exitCode) << windows.err;
  ASSERT_EQ(0, linux.exitCode) << linux.err;
  EXPECT_EQ(test::Normal(linux.out, UnixPath(other)), test::Normal(windows.out, Arg(root_)))
      << "the log";
  EXPECT_EQ(test::Normal(linux.err, UnixPath(other)), test::Normal(windows.err, Arg(root_)));
  const fs::path backups = fs::path("Users") / "anna" / "Dokumente" / "Brindel";
  EXPECT_EQ(6u, Snapshot(root_ / backups).size()) << "two profiles' backups and logs";
  EXPECT_EQ(Snapshot(other / backups), Snapshot(root_ / backups)) << "the backups and logs";
  for (const char* user : {"anna", "bob"}) {
    SCOPED_TRACE(user);
    const auto linuxTree = HivexExport(other / "Users" / user / "NTUSER.DAT");
    ASSERT_EQ(0, linuxTree.exitCode) << linuxTree.output;
    EXPECT_TRUE(linuxTree.output == HivexExport(root_ / "Users" / user / "NTUSER.DAT").output)
        << "the tree afterwards";
  }
}

// An attached disk is named by its drive: the root is drive Q:, and the paths of that
// Windows lead below it. (Under Wine the drive is a link in the prefix's dosdevices.)
TEST_F(CliWindowsRootTest, ADriveOfItsOwnIsTheRoot) {
  using registry::store::testing::UnixPath;
  const auto prefix = platform::ReadEnvironmentVariable(u"WINEPREFIX");
  if (!platform::RunningOnWine() || !prefix)
    GTEST_SKIP() << "a drive of its own is made only in a Wine prefix";
  test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001"}});
  const std::string drive = platform::ToUtf8(*prefix) + "/dosdevices/q:";
  ASSERT_EQ(0, registry::store::testing::RunUnixProgram("/bin/ln", {"-sfn", UnixPath(root_), drive})
                   .exitCode);
  const ProcessResult result =
      Run({"--windows-root", "Q:\\", "--user", "anna", "--json", "repair", kDamaged});
  registry::store::testing::RunUnixProgram("/bin/rm", {"-f", drive});
  ASSERT_EQ(0, result.exitCode) << result.err;
  const json report = json::parse(result.out);
  EXPECT_EQ("Q:\\Users\\anna\\Documents\\Brindel\\B\xC3\xBCro.reg",
            report["runs"][0]["backup"]["files"][0]["path"]);
  EXPECT_TRUE(fs::exists(Backups("anna") / Utf8(std::string(kDamaged) + ".log")));
}

// Wine shows the links of a disk mounted on Linux as reparse points whose target it
// cannot tell; Windows would still follow them, out of the root. Such a link is not
// taken: the backup fails and nothing is written where it leads. (Wine makes no links
// of its own, so links within the root are shown by the Linux tests.)
TEST_F(CliWindowsRootTest, ALinkWhoseTargetCannotBeReadIsNotFollowed) {
  using registry::store::testing::UnixPath;
  test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001", u"", false}});
  const fs::path outside = folder_.Path() / "outside";
  fs::create_directories(outside);
  const ProcessResult link = registry::store::testing::RunUnixProgram(
      "/bin/ln", {"-s", UnixPath(outside), UnixPath(root_ / "Users" / "anna" / "Documents")});
  ASSERT_EQ(0, link.exitCode) << link.err;
  const std::string hive = ReadWholeFile(root_ / "Users" / "anna" / "NTUSER.DAT");
  const ProcessResult result = Run(Root({"--user", "anna", "repair", kDamaged}));
  EXPECT_EQ(1, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Daten können NICHT gelöscht werden")) << result.err;
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_EQ(hive, ReadWholeFile(root_ / "Users" / "anna" / "NTUSER.DAT"));
}
#endif

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

void PrintTo(const UsageCase& row, std::ostream* out) {
  *out << row.name;
}

class CliAllUsersUsageTest : public CliAllUsersTest,
                             public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliAllUsersUsageTest, IsRefusedAsWrongUsage) {
  std::vector<std::string> args = GetParam().args;
  for (std::string& arg : args) {
    if (arg == "ROOT")
      arg = Arg(root_);
  }
  const ProcessResult result = Run(args);
  EXPECT_EQ(2, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.err.find(GetParam().message)) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliAllUsersUsageTest,
    ::testing::Values(
        UsageCase{"one_profile",
                  {"--windows-root", "ROOT", "--all-users", "analyse", "Outlook"},
                  "mit --all-users --all"},
        UsageCase{"another_command",
                  {"--windows-root", "ROOT", "--all-users", "versions"},
                  "--all-users gilt für profiles, analyse --all und repair --all."},
        UsageCase{"with_user",
                  {"--windows-root", "ROOT", "--all-users", "--user", "anna", "profiles"},
                  "--all-users und --user schließen einander aus."},
        UsageCase{"with_save_reg",
                  {"--windows-root", "ROOT", "--all-users", "--save-reg", "x.reg", "profiles"},
                  "nicht mit --all-users"},
        UsageCase{"with_demo", {"--demo", "--all-users", "profiles"}, "nicht mit --demo"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::cli
