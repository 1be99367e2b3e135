// What scripts and administrators use: the JSON report in its documented shape, every
// profile in one call, the backup proven before anything is deleted, and a true
// restore of a profile from its backup.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "support/CliRun.h"
#include "support/OwnMounts.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::ProcessResult;
using test::ReadWholeFile;
using test::Utf8Path;

constexpr const char* kDamaged = test::kDamagedProfile;
constexpr const char* kProfileKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\";

class CliReportTest : public test::CliRunFixture {
 protected:
  CliReportTest() : CliRunFixture("brindel-report-") {}

  // The profile's tree as .reg text, from a registry saved as a file.
  std::string ProfileText(const std::string& registry, const std::string& profile) {
    const std::string out = Path("profile-" + std::to_string(++exports_) + ".reg");
    EXPECT_EQ(0, Run({"--reg", registry, "export", kProfileKey + profile, out}).exitCode);
    return ReadWholeFile(out);
  }

  int exports_ = 0;
};

// The documented shape: every key there, of its type, whatever the run found.
void ExpectReportShape(const json& report, const std::string& command) {
  EXPECT_EQ("brindel-report", report.at("format"));
  EXPECT_EQ(2, report.at("version"));
  EXPECT_EQ(command, report.at("command"));
  ASSERT_TRUE(report.at("result").is_object());
  EXPECT_TRUE(report.at("result").at("ok").is_boolean());
  EXPECT_TRUE(report.at("result").at("message").is_string());
}

void ExpectRunShape(const json& run, bool repaired) {
  EXPECT_TRUE(run.at("profile").is_string());
  EXPECT_TRUE(run.at("profileTree").is_string());
  const json& found = run.at("found");
  for (const char* count : {"sections", "providerEntries", "usedIds"})
    EXPECT_TRUE(found.at(count).is_number_integer()) << count;
  for (const char* list : {"emptySections", "unusedSections", "unlinkedProviders"}) {
    for (const json& section : found.at(list)) {
      EXPECT_EQ(32u, section.at("id").get<std::string>().size()) << list;
      EXPECT_TRUE(section.at("name").is_string()) << list;
    }
  }
  for (const json& entry : found.at("repeatedEntries"))
    EXPECT_GT(entry.at("count").get<int>(), 1);
  for (const json& account : found.at("faultyAccounts")) {
    EXPECT_EQ(8u, account.at("account").get<std::string>().size());
    const std::string reason = account.at("reason");
    EXPECT_TRUE(reason == "noServiceUid" || reason == "notListed") << reason;
  }
  if (repaired) {
    for (const char* count : {"sectionsDeleted", "providerEntriesUnlinked",
                              "repeatedEntriesRemoved", "accountsDeleted"})
      EXPECT_TRUE(run.at("done").at(count).is_number_integer()) << count;
    const json& backup = run.at("backup");
    EXPECT_GT(backup.at("keys").get<int>(), 0);
    EXPECT_GT(backup.at("values").get<int>(), 0);
    ASSERT_EQ(2u, backup.at("files").size());
    EXPECT_EQ("current", backup.at("files")[0].at("role"));
    EXPECT_EQ("first", backup.at("files")[1].at("role"));
    for (const json& file : backup.at("files")) {
      EXPECT_GT(file.at("size").get<int>(), 0);
      EXPECT_TRUE(file.at("proven").get<bool>());
      EXPECT_TRUE(fs::exists(Utf8Path(file.at("path"))));
    }
  } else {
    EXPECT_FALSE(run.contains("done"));
  }
  EXPECT_TRUE(run.at("result").at("ok").is_boolean());
}

TEST_F(CliReportTest, JsonOfEveryCommandHasTheDocumentedShape) {
  ProcessResult result = Run({"--demo", "--json", "profiles"});
  ASSERT_EQ(0, result.exitCode) << result.err;
  json report = json::parse(result.out);
  ExpectReportShape(report, "profiles");
  ASSERT_EQ(2u, report.at("profiles").size());
  EXPECT_EQ(kDamaged, report["profiles"][0]["name"]);
  EXPECT_FALSE(report["profiles"][0]["default"].get<bool>());
  EXPECT_EQ("Outlook", report["profiles"][1]["display"]);
  EXPECT_TRUE(report["profiles"][1]["default"].get<bool>());

  result = Run({"--demo", "--json", "versions"});
  ASSERT_EQ(0, result.exitCode) << result.err;
  report = json::parse(result.out);
  ExpectReportShape(report, "versions");
  EXPECT_EQ(16, report.at("installations")[0].at("version"));

  result = Run({"--demo", "--json", "--documents", Path("docs"), "repair", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  report = json::parse(result.out);
  ExpectReportShape(report, "repair");
  ASSERT_EQ(1u, report.at("runs").size());
  const json& run = report["runs"][0];
  ExpectRunShape(run, true);
  EXPECT_EQ(4, run["done"]["sectionsDeleted"]) << "as the log's \"4 von 20 GUIDs\"";
  EXPECT_EQ(2, run["found"]["repeatedEntries"].size());
  EXPECT_TRUE(report["result"]["ok"].get<bool>());
  // The German log goes to standard error beside the report, as it stands.
  EXPECT_NE(std::string::npos, result.err.find("4 von 20 GUIDs wurden gelöscht.\n"));
  EXPECT_NE(std::string::npos,
            result.err.find("Information: Sicherung geprüft: 24 Schlüssel, 52 Werte\n"));

  // A failure is a result too, with the German message.
  result = Run({"--demo", "--json", "analyse", "Privat"});
  EXPECT_EQ(1, result.exitCode);
  report = json::parse(result.out);
  ExpectReportShape(report, "analyse");
  EXPECT_FALSE(report["result"]["ok"].get<bool>());
  EXPECT_FALSE(report["runs"][0]["result"]["ok"].get<bool>());
  EXPECT_NE(std::string::npos,
            report["runs"][0]["result"]["message"].get<std::string>().find("Privat"));
}

TEST_F(CliReportTest, LogGoesIntoItsFile) {
  const ProcessResult result = Run({"--demo", "--log", Path("analyse.log"), "analyse", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("", result.out);
  EXPECT_EQ(0u, ReadWholeFile(Path("analyse.log"))
                    .find("*****************************************\n"
                          "Auslesen des Profils"));
}

// Every profile in turn: the damaged one repaired, the healthy one as it was, each
// with its own backup and log; the status says whether any failed.
TEST_F(CliReportTest, AllRepairsEveryProfileOnItsOwn) {
  ASSERT_EQ(0, Run({"--demo", "--save-reg", Path("demo.reg"), "profiles"}).exitCode);
  const ProcessResult result = Run({"--demo", "--json", "--documents", Path("docs"), "--save-reg",
                                    Path("after.reg"), "repair", "--all"});
  ASSERT_EQ(0, result.exitCode) << result.err;
  const json report = json::parse(result.out);
  ASSERT_EQ(2u, report.at("runs").size());
  ExpectRunShape(report["runs"][0], true);
  ExpectRunShape(report["runs"][1], true);
  EXPECT_EQ(4, report["runs"][0]["done"]["sectionsDeleted"]);
  EXPECT_EQ(0, report["runs"][1]["done"]["sectionsDeleted"]);
  EXPECT_EQ(ProfileText(Path("demo.reg"), "Outlook"), ProfileText(Path("after.reg"), "Outlook"))
      << "the healthy profile is unchanged";
  EXPECT_NE(ProfileText(Path("demo.reg"), kDamaged), ProfileText(Path("after.reg"), kDamaged));
  for (const std::string& name : {std::string(kDamaged) + ".reg", std::string(kDamaged) + ".log",
                                  std::string("Outlook.reg"), std::string("Outlook.log")}) {
    EXPECT_TRUE(fs::exists(dir_ / "docs" / "Brindel" / Utf8Path(name))) << name;
  }
  // Naming a profile and --all at once, or neither, is wrong usage.
  EXPECT_EQ(2, Run({"--demo", "analyse"}).exitCode);
  EXPECT_EQ(2, Run({"--demo", "analyse", "--all", kDamaged}).exitCode);
  // A tree without profiles has nothing done: that is a failure for a script.
  EXPECT_EQ(1, Run({"--demo", "--profiles-tree", "Software\\Leer", "analyse", "--all"}).exitCode);
}

// A value the .reg text cannot hold (a line feed alone in a string) makes a backup
// that cannot bring the profile back: the repair stops before it deletes anything.
// A string with a lone line feed has no string line; its exact bytes hold it, so the
// backup is proven, the repair runs, and the restore brings the value back.
TEST_F(CliReportTest, AValueOnlyBytesHoldIsBackedUpRepairedAndRestored) {
  ASSERT_EQ(0, Run({"--demo", "--save-reg", Path("demo.reg"), "profiles"}).exitCode);
  std::ofstream(Path("demo.reg"), std::ios::binary | std::ios::app)
      << "\r\n[" << kProfileKey
      << "B\xFC"
         "ro\\9207f3e0a3b11019908b08002b2a56c2]\r\n"
      << "\"Zeilen\"=hex(1):6f,00,0a,00,75,00,00,00\r\n\r\n";
  ProcessResult result =
      Run({"--reg", Path("demo.reg"), "--outlook-version", "16", "--documents", Path("docs"),
           "--save-reg", Path("repaired.reg"), "repair", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Information: Sicherung geprüft: ")) << result.err;
  EXPECT_NE(std::string::npos, result.out.find("GUIDs wurden gelöscht"));
  const std::string backup =
      ReadWholeFile(dir_ / "docs" / "Brindel" / Utf8Path(std::string(kDamaged) + "-original.reg"));
  EXPECT_NE(std::string::npos, backup.find("\"Zeilen\"=hex(1):6f,00,0a,00,75,00,00,00\r\n"));

  result = Run({"--reg", Path("repaired.reg"), "--outlook-version", "16", "--documents",
                Path("docs"), "--save-reg", Path("restored.reg"), "restore", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(ProfileText(Path("demo.reg"), kDamaged), ProfileText(Path("restored.reg"), kDamaged));
}

// restore puts the repaired profile back as it was: the export before the repair
// equals the export after the restore; what came since is gone.
TEST_F(CliReportTest, RestoreBringsTheProfileBackExactly) {
  ASSERT_EQ(0, Run({"--demo", "--save-reg", Path("demo.reg"), "profiles"}).exitCode);
  ASSERT_EQ(0, Run({"--demo", "--documents", Path("docs"), "--save-reg", Path("repaired.reg"),
                    "repair", kDamaged})
                   .exitCode);
  const ProcessResult result =
      Run({"--reg", Path("repaired.reg"), "--outlook-version", "16", "--documents", Path("docs"),
           "--save-reg", Path("restored.reg"), "--json", "restore", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(ProfileText(Path("demo.reg"), kDamaged), ProfileText(Path("restored.reg"), kDamaged));
  const json report = json::parse(result.out);
  ExpectReportShape(report, "restore");
  EXPECT_TRUE(report["runs"][0]["backup"]["files"][0]["proven"].get<bool>());
  EXPECT_TRUE(fs::exists(dir_ / "docs" / "Brindel" /
                         Utf8Path(std::string(kDamaged) + "-vor-Wiederherstellung.reg")));

  // A file with keys outside the profile is refused, and the profile stays.
  std::ofstream(Path("fremd.reg"), std::ios::binary)
      << "REGEDIT4\r\n\r\n[" << kProfileKey
      << "B\xFC"
         "ro]\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n";
  const ProcessResult refused =
      Run({"--reg", Path("repaired.reg"), "--outlook-version", "16", "--documents", Path("docs"),
           "--save-reg", Path("same.reg"), "restore", kDamaged, Path("fremd.reg")});
  EXPECT_EQ(1, refused.exitCode);
  EXPECT_NE(std::string::npos, refused.err.find("der nicht zum Profil gehört")) << refused.err;
  EXPECT_EQ(ProfileText(Path("repaired.reg"), kDamaged), ProfileText(Path("same.reg"), kDamaged));
}

// Two profiles whose plain file names would meet: "Outlook-original.reg" would be the
// current backup of one and the first backup of the other. Each keeps its own, and
// "Outlook" can be restored from its first backup after both were repaired.
TEST_F(CliReportTest, ProfilesWhoseFileNamesWouldMeetEachKeepTheirOwnBackups) {
  std::ofstream(Path("min.reg"), std::ios::binary)
      << "REGEDIT4\r\n\r\n[" << kProfileKey << "Outlook]\r\n\"Marke\"=\"eins\"\r\n\r\n["
      << kProfileKey << "Outlook-original]\r\n\"Marke\"=\"zwei\"\r\n\r\n";
  const ProcessResult repaired =
      Run({"--reg", Path("min.reg"), "--outlook-version", "16", "--documents", Path("docs"),
           "--save-reg", Path("repaired.reg"), "repair", "--all"});
  ASSERT_EQ(0, repaired.exitCode) << repaired.err;
  const fs::path folder = dir_ / "docs" / "Brindel";
  EXPECT_NE(std::string::npos,
            ReadWholeFile(folder / "Outlook-original.reg").find("\\Outlook]\r\n\"Marke\"=\"eins\""))
      << "the first backup of Outlook holds Outlook";
  EXPECT_NE(std::string::npos, ReadWholeFile(folder / "Outlook-original~.reg")
                                   .find("\\Outlook-original]\r\n\"Marke\"=\"zwei\""));
  EXPECT_EQ(ReadWholeFile(folder / "Outlook-original~.reg"),
            ReadWholeFile(folder / "Outlook-original~-original.reg"));

  const ProcessResult restored = Run({"--reg", Path("repaired.reg"), "--outlook-version", "16",
                                      "--documents", Path("docs"), "--json", "restore", "Outlook"});
  ASSERT_EQ(0, restored.exitCode) << restored.err;
  const json report = json::parse(restored.out);
  EXPECT_TRUE(report["result"]["ok"].get<bool>());
  EXPECT_EQ((folder / "Outlook-original.reg").string(),
            report["runs"][0]["backup"]["files"][1]["path"]);
}

#ifdef __linux__
// A documents folder with room for both backups and not for the log: the registry in
// memory has taken the repair at once, as the live registry does. Message, exit status
// and report all say that the repair is saved and only the log file is missing.
TEST_F(CliReportTest, ALogThatCannotBeWrittenSaysTheRepairIsSaved) {
  if (!test::CanMountOwnDisks(Path("docs")))
    GTEST_SKIP() << "no user namespace here to mount a small file system in";
  ASSERT_EQ(
      0,
      Run({"--demo", "export", kProfileKey + std::string(kDamaged), Path("profile.reg")}).exitCode);
  const std::size_t pages = (fs::file_size(Path("profile.reg")) + 4095) / 4096;
  // Room for the two backups, not a page more.
  const std::string size = std::to_string(2 * pages * 4096);
  const ProcessResult result = test::RunWithOwnMounts(
      "mount -t tmpfs -o size=$3 none \"$1\" || exit 90\n"
      "\"$2\" --demo --documents \"$1\" --save-reg \"$4\" --json repair \"$5\" > \"$6\"",
      {Path("docs"), BRINDEL_CLI, size, Path("after.reg"), kDamaged, Path("report.json")});
  EXPECT_EQ(1, result.exitCode) << result.err;
  const std::string folder = Path("docs") + "/Brindel/" + kDamaged;
  const std::string message = "Die Reparatur ist in der Registry gespeichert, und „" + folder +
                              ".reg“ hält den Stand davor. Nur die Protokolldatei „" + folder +
                              ".log“ kann nicht geschrieben werden: Auf dem Datenträger ist kein "
                              "Platz mehr.";
  EXPECT_NE(std::string::npos, result.err.find("Fehler: " + message + "\n")) << result.err;
  const json report = json::parse(ReadWholeFile(Path("report.json")));
  const json& run = report["runs"][0];
  EXPECT_EQ(4, run["done"]["sectionsDeleted"]) << "the repair is done";
  EXPECT_FALSE(run["result"]["ok"].get<bool>());
  EXPECT_EQ(message, run["result"]["message"]);
  EXPECT_FALSE(report["result"]["ok"].get<bool>());
  EXPECT_EQ(message, report["result"]["message"]);
  // The registry the run leaves holds the repair.
  EXPECT_EQ(std::string::npos,
            ReadWholeFile(Path("after.reg")).find("\\5a89cc3fa6d8fe64d70c612c73cdcb86]"));
}
#endif

}  // namespace
}  // namespace brindel::cli
