// `map PROFIL` as a script or a technician runs it: the map of "Auslesen" as UTF-8
// text on standard output, nothing of the report mixed into it, the registry left as
// it was, and the exit statuses of the other commands.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "app/RegistrySource.h"
#include "platform/Text.h"
#include "profile/Findings.h"
#include "profile/ProfileAnalysis.h"
#include "profile/ProfileMap.h"
#include "regfile/RegText.h"
#include "registry/store/MemoryStore.h"
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/NamedRows.h"
#include "support/RecordingLog.h"

namespace brindel::cli {
namespace {

using test::PrintTo;
using test::ProcessResult;
using test::ReadWholeFile;
using test::RowName;

constexpr char kOfficeTree[] = "Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr char kMessagingTree[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

// The map that "Auslesen" of the profile gives, made here in the test's own process
// from the same registry text.
std::string MapOf(std::string_view registryText, const char* tree, const std::string& profile) {
  registry::store::MemoryStore store;
  const registry::store::ScopedCurrentStore current(store);
  regfile::LoadRegText(
      std::span(reinterpret_cast<const std::uint8_t*>(registryText.data()), registryText.size()),
      store);
  test::TRecordingLog log;
  profile::TProfileAnalysis analysis(log);
  analysis.Analyse(platform::FromUtf8(tree), platform::FromUtf8(profile));
  return platform::ToUtf8(profile::ProfileMapText(
      profile::BuildProfileMap(analysis, profile::CollectFindings(analysis))));
}

std::string DamagedFixture() {
  return std::string(BRINDEL_FIXTURES) + "/profiles/damaged.reg";
}

struct TMapCase {
  const char* name;
  std::vector<std::string> registry;  // the options that name the registry
  const char* tree;
  std::string profile;
  std::string registryText;  // what the registry holds, for the map made here
};

class CliMapTest : public test::CliRunFixture, public ::testing::WithParamInterface<TMapCase> {
 protected:
  CliMapTest() : CliRunFixture("brindel-map-") {}
};

TEST_P(CliMapTest, PrintsTheMapOfAuslesenAndChangesNothing) {
  const TMapCase& row = GetParam();
  std::vector<std::string> before = row.registry;
  for (const std::string& word :
       {std::string("--save-reg"), Path("before.reg"), std::string("profiles")}) {
    before.push_back(word);
  }
  ASSERT_EQ(0, Run(before).exitCode);
  std::vector<std::string> args = row.registry;
  for (const std::string& word :
       {std::string("--documents"), Path("docs"), std::string("--save-reg"), Path("after.reg"),
        std::string("map"), row.profile}) {
    args.push_back(word);
  }
  const ProcessResult result = Run(args);
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(MapOf(row.registryText, row.tree, row.profile), result.out);
  // The count line first, then the profile by the name the registry spells.
  const std::string countLine = result.out.substr(0, result.out.find('\n'));
  EXPECT_NE(std::string::npos, countLine.find(" Abschnitte, ")) << countLine;
  EXPECT_NE(std::string::npos,
            result.out.find("\nProfil \xE2\x80\x9E" + row.profile + "\xE2\x80\x9C\n  Dienste ("))
      << "UTF-8 quotes around the name";
  EXPECT_NE(std::string::npos, result.out.find("[wird gel\xC3\xB6scht"));
  // Nothing of the report.
  EXPECT_EQ(std::string::npos, result.out.find("*****"));
  EXPECT_EQ(std::string::npos, result.out.find("Auslesen des Profils"));
  EXPECT_EQ("", result.err);
  EXPECT_EQ(ReadWholeFile(Path("before.reg")), ReadWholeFile(Path("after.reg")));
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "docs")) << "no backup, no log";
}

INSTANTIATE_TEST_SUITE_P(Registries, CliMapTest,
                         ::testing::Values(TMapCase{"Demo",
                                                    {"--demo"},
                                                    kOfficeTree,
                                                    test::kDamagedProfile,
                                                    std::string(app::DemoRegistryText())},
                                           TMapCase{"DamagedFixture",
                                                    {"--reg", DamagedFixture(), "--outlook-version",
                                                     "14"},
                                                    kMessagingTree,
                                                    "Kaputt",
                                                    ReadWholeFile(DamagedFixture())}),
                         RowName<TMapCase>);

class CliMapLogTest : public test::CliRunFixture {
 protected:
  CliMapLogTest() : CliRunFixture("brindel-map-log-") {}
};

// The report of "Auslesen" goes only into the file of --log.
TEST_F(CliMapLogTest, TheReportGoesIntoTheLogFileOnly) {
  const ProcessResult plain = Run({"--demo", "map", test::kDamagedProfile});
  const ProcessResult logged =
      Run({"--demo", "--log", Path("map.log"), "map", test::kDamagedProfile});
  ASSERT_EQ(0, logged.exitCode) << logged.err;
  EXPECT_EQ(plain.out, logged.out);
  const ProcessResult analysed =
      Run({"--demo", "--log", Path("analyse.log"), "analyse", test::kDamagedProfile});
  ASSERT_EQ(0, analysed.exitCode);
  EXPECT_EQ(ReadWholeFile(Path("analyse.log")), ReadWholeFile(Path("map.log")));
  // --json has no report for this command; the log stays out of both streams.
  const ProcessResult json = Run({"--demo", "--json", "map", test::kDamagedProfile});
  EXPECT_EQ(0, json.exitCode);
  EXPECT_EQ(plain.out, json.out);
  EXPECT_EQ("", json.err);
  EXPECT_EQ(0u, ReadWholeFile(Path("map.log"))
                    .find("*****************************************\n"
                          "Auslesen des Profils \"B\xC3\xBCro\"\n"));
}

struct TFailureCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  std::string message;  // the start of standard error
};

class CliMapFailureTest : public test::CliRunFixture,
                          public ::testing::WithParamInterface<TFailureCase> {
 protected:
  CliMapFailureTest() : CliRunFixture("brindel-map-failure-") {}
};

TEST_P(CliMapFailureTest, PrintsNoMap) {
  std::vector<std::string> args = GetParam().args;
  for (std::string& arg : args) {
    if (arg == "BROKEN") {
      // A text where "Auslesen" reads a list of section ids.
      std::string text = ReadWholeFile(DamagedFixture());
      text += "\r\n[HKEY_CURRENT_USER\\" + std::string(kMessagingTree) +
              "\\Kaputt\\9207f3e0a3b11019908b08002b2a56c2]\r\n\"01023d01\"=\"kaputt\"\r\n";
      std::ofstream(Path("broken.reg"), std::ios::binary) << text;
      arg = Path("broken.reg");
    }
  }
  const ProcessResult result = Run(args);
  EXPECT_EQ(GetParam().exitCode, result.exitCode);
  EXPECT_EQ("", result.out);
  EXPECT_EQ(0u, result.err.find(GetParam().message)) << result.err;
}

std::vector<TFailureCase> FailureCases() {
  std::vector<TFailureCase> rows = {
      {"UnknownProfile",
       {"--demo", "map", "Gibtsnicht"},
       1,
       "Fehler: Ein Profil \xE2\x80\x9EGibtsnicht\xE2\x80\x9C gibt es in "},
      {"AuslesenEndsWithAnError",
       {"--reg", "BROKEN", "--outlook-version", "14", "map", "Kaputt"},
       1,
       "Fehler: Ung\xC3\xBCltiger Datentyp f\xC3\xBCr '01023d01'"},
      {"NoProfileNamed", {"--demo", "map"}, 2, "Fehler: Pflichtangabe fehlt: PROFIL"}};
#ifndef _WIN32
  // On Windows the live registry is the source when none is named.
  rows.push_back(
      {"NoRegistry", {"map", test::kDamagedProfile}, 2, "Fehler: keine Registry angegeben."});
#endif
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Runs, CliMapFailureTest, ::testing::ValuesIn(FailureCases()),
                         RowName<TFailureCase>);

}  // namespace
}  // namespace brindel::cli
