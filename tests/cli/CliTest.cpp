#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/AnsiCodePage.h"
#include "platform/Text.h"
#include "support/CliRun.h"
#include "support/OwnMounts.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using test::ProcessResult;
using test::ReadWholeFile;

using test::Utf8Path;

const std::string kCli = BRINDEL_CLI;
constexpr const char* kDamaged = test::kDamagedProfile;
constexpr const char* kTree =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";

class CliTest : public test::CliRunFixture {
 protected:
  CliTest() : CliRunFixture("brindel-cli-") {}

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  // The demo saved as .reg text, for runs that start from a file.
  std::string DemoFile() {
    const ProcessResult saved = Run({"--demo", "--save-reg", Path("demo.reg"), "profiles"});
    EXPECT_EQ(0, saved.exitCode) << saved.err;
    return Path("demo.reg");
  }
};

TEST_F(CliTest, ProfilesListsTheDisplayFormsWithTheDefaultMarked) {
  const ProcessResult result = Run({"--demo", "profiles"});
  EXPECT_EQ(0, result.exitCode);
  EXPECT_EQ(std::string(kDamaged) + "\nOutlook (Standard)\n", result.out);
  EXPECT_EQ("", result.err);
}

TEST_F(CliTest, AnalysePrintsTheLogAndChangesNothing) {
  const std::string before = DemoFile();
  const ProcessResult result =
      Run({"--reg", before, "--outlook-version", "16", "--save-reg", Path("after.reg"),
           "--documents", Path("docs"), "analyse", kDamaged});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(0u,
            result.out.find("*****************************************\nAuslesen des Profils \"" +
                            std::string(kDamaged) + "\"\n"));
  EXPECT_NE(std::string::npos, result.out.find("zu löschen, da leer:\n"));
  EXPECT_NE(std::string::npos, result.out.find("Liste der tatsächlich verwendeten 19 GUIDs:\n"));
  EXPECT_EQ(ReadWholeFile(before), ReadWholeFile(Path("after.reg")));
  EXPECT_FALSE(fs::exists(Path("docs/Brindel"))) << "no backup without Löschen";
}

TEST_F(CliTest, RepairWritesBackupsAndTheLogAsTheWindowWould) {
  const ProcessResult result = Run(
      {"--demo", "--documents", Path("docs"), "--save-reg", Path("after.reg"), "repair", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  const fs::path folder = dir_ / "docs" / "Brindel";
  const std::string backup = ReadWholeFile(folder / Utf8Path(std::string(kDamaged) + ".reg"));
  EXPECT_EQ(0u, backup.find("REGEDIT4\r\n\r\n[" + std::string(kTree) + "\\B\xFCro]\r\n"))
      << "the backup is in the ANSI code page";
  EXPECT_EQ(backup, ReadWholeFile(folder / Utf8Path(std::string(kDamaged) + "-original.reg")));
  // The saved log is the printed log, in Windows-1252 with CR LF.
  std::string expectedLog;
  std::size_t start = 0;
  while (start < result.out.size()) {
    const std::size_t end = result.out.find('\n', start);
    expectedLog +=
        platform::ToAnsi(platform::FromUtf8(result.out.substr(start, end - start))) + "\r\n";
    start = end + 1;
  }
  EXPECT_EQ(expectedLog, ReadWholeFile(folder / Utf8Path(std::string(kDamaged) + ".log")));
  EXPECT_NE(std::string::npos, result.out.find("4 von 20 GUIDs wurden gelöscht.\n"));
  // The repaired tree no longer holds what was deleted.
  const std::string after = ReadWholeFile(Path("after.reg"));
  EXPECT_EQ(std::string::npos, after.find("\\B\xFCro\\5a89cc3fa6d8fe64d70c612c73cdcb86]"));
  EXPECT_NE(std::string::npos, after.find("\\Outlook\\0a0d020000000000c000000000000046]"));
}

TEST_F(CliTest, MissingDocumentsFolderFailsTheBackupAndDeletesNothing) {
  // Only the Brindel folder itself is made; a documents folder that is not there is
  // a mistake the user should see before anything is deleted.
  const ProcessResult result = Run({"--demo", "--documents", Path("nowhere"), "--save-reg",
                                    Path("after.reg"), "repair", kDamaged});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(std::string::npos,
            result.err.find("Information: Daten können NICHT gelöscht werden, da das Anlegen "
                            "eines Backups fehlschlug\n"));
  const std::string demo = DemoFile();
  EXPECT_EQ(ReadWholeFile(demo), ReadWholeFile(Path("after.reg")));
}

TEST_F(CliTest, SecondRepairKeepsTheFirstBackup) {
  ASSERT_EQ(0, Run({"--demo", "--documents", Path("docs"), "--save-reg", Path("after.reg"),
                    "repair", kDamaged})
                   .exitCode);
  const fs::path folder = dir_ / "docs" / "Brindel";
  const std::string original =
      ReadWholeFile(folder / Utf8Path(std::string(kDamaged) + "-original.reg"));
  ASSERT_EQ(0, Run({"--reg", Path("after.reg"), "--outlook-version", "16", "--documents",
                    Path("docs"), "repair", kDamaged})
                   .exitCode);
  EXPECT_EQ(original, ReadWholeFile(folder / Utf8Path(std::string(kDamaged) + "-original.reg")));
  EXPECT_NE(original, ReadWholeFile(folder / Utf8Path(std::string(kDamaged) + ".reg")));
}

#ifdef __linux__
// A documents folder with room for one backup only: a small RAM disk of its own,
// mounted for the run alone in a user and mount namespace. The first backup cannot be
// written, so nothing is deleted; the next run would otherwise make it from a
// repaired profile.
TEST_F(CliTest, FullDiskFailsTheBackupBeforeTheFirstBackupIsLost) {
  if (!test::CanMountOwnDisks(Path("docs")))
    GTEST_SKIP() << "no user namespace here to mount a small file system in";

  const std::string profileKey = std::string(kTree) + "\\" + kDamaged;
  ASSERT_EQ(0, Run({"--demo", "export", profileKey, Path("profile.reg")}).exitCode);
  const std::string profile = ReadWholeFile(Path("profile.reg"));
  const std::size_t pages = (profile.size() + 4095) / 4096;
  ASSERT_GE(pages, 2u) << "a page to spare must not take a second backup";
  // Room for the backup and a page more: the first backup does not fit beside it.
  const std::string size = std::to_string((pages + 1) * 4096);
  fs::create_directories(dir_ / "after");
  const ProcessResult result = test::RunWithOwnMounts(
      "mount -t tmpfs -o size=$4 none \"$1\" || exit 90\n"
      "\"$3\" --demo --documents \"$1\" repair \"$5\"\n"
      "code=$?\n"
      "cp -a \"$1/.\" \"$2\" && exit $code",
      {Path("docs"), Path("after"), kCli, size, kDamaged});
  EXPECT_EQ(1, result.exitCode) << result.err;
  // Why, with the file and the system's words, on the line before the fixed message.
  EXPECT_EQ("Fehler: Die Datei „" + Path("docs") + "/Brindel/" + kDamaged +
                "-original.reg“ kann nicht geschrieben werden: Auf dem Datenträger ist kein "
                "Platz mehr.\n"
                "Information: Daten können NICHT gelöscht werden, da das Anlegen eines Backups "
                "fehlschlug\n",
            result.err);
  EXPECT_EQ(std::string::npos, result.out.find("GUIDs wurden gelöscht")) << "nothing repaired";
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(dir_ / "after" / "Brindel"))
    files.push_back(entry.path().filename().string());
  EXPECT_EQ(std::vector<std::string>{std::string(kDamaged) + ".reg"}, files);
  EXPECT_EQ(profile,
            ReadWholeFile(dir_ / "after" / "Brindel" / Utf8Path(std::string(kDamaged) + ".reg")));
}
#endif

TEST_F(CliTest, BadRegFileIsAClearErrorAndWritesNothing) {
  Write("bad.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"v\"=hex:01,zz\r\n");
  const ProcessResult result = Run({"--reg", Path("bad.reg"), "--save-reg", Path("out.reg"),
                                    "--documents", Path("docs"), "repair", "Outlook"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ(0u, result.err.find("Fehler: ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Zeile 4")) << result.err;
  EXPECT_EQ("", result.out);
  EXPECT_FALSE(fs::exists(Path("out.reg")));
  EXPECT_FALSE(fs::exists(Path("docs/Brindel")));
}

TEST_F(CliTest, MissingFileAndUnknownProfileAreErrors) {
  ProcessResult result = Run({"--reg", Path("missing.reg"), "profiles"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find("missing.reg")) << result.err;

  result = Run({"--demo", "analyse", "Privat"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find("Fehler: Ein Profil „Privat“ gibt es in"))
      << result.err;
  EXPECT_EQ("", result.out);
}

// A profile is named as the registry matches key names, without regard to letter
// case; the log, the files and the report use the name as the registry spells it.
TEST_F(CliTest, ProfileNamesAreMatchedAsTheRegistryMatchesKeyNames) {
  ProcessResult result = Run({"--demo", "analyse", "b\xC3\x9CRO"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(0u,
            result.out.find("*****************************************\nAuslesen des Profils \"" +
                            std::string(kDamaged) + "\"\n"))
      << result.out;

  result = Run({"--demo", "--documents", Path("docs"), "--json", "repair", "OUTLOOK"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.out.find("\"profile\": \"Outlook\"")) << result.out;
  EXPECT_TRUE(fs::exists(dir_ / "docs" / "Brindel" / "Outlook.log"));
  EXPECT_TRUE(fs::exists(dir_ / "docs" / "Brindel" / "Outlook-original.reg"));
}

// restore prints its report as the log; a backup that is not there is named once.
TEST_F(CliTest, RestorePrintsItsReportAndNamesAMissingFileOnce) {
  ASSERT_EQ(0, Run({"--demo", "--documents", Path("docs"), "--save-reg", Path("repaired.reg"),
                    "repair", kDamaged})
                   .exitCode);
  ProcessResult result = Run({"--reg", Path("repaired.reg"), "--outlook-version", "16",
                              "--documents", Path("docs"), "restore", kDamaged});
  EXPECT_EQ(0, result.exitCode) << result.err;
  const std::string folder = (dir_ / "docs" / "Brindel" / "").string();
  EXPECT_EQ("*****************************************\nWiederherstellen des Profils \"" +
                std::string(kDamaged) + "\"\n*****************************************\naus „" +
                folder + kDamaged + "-original.reg“\nDer vorige Stand ist gesichert in „" + folder +
                kDamaged +
                "-vor-Wiederherstellung.reg“ (16 Schlüssel, 38 Werte).\n"
                "Wiederhergestellt: 24 Schlüssel, 52 Werte wie in der Datei.\n",
            result.out);
  EXPECT_EQ("Information: Profil „" + std::string(kDamaged) + "“ aus „" + folder + kDamaged +
                "-original.reg“ wiederhergestellt; der vorige Stand liegt in „" + folder +
                kDamaged +
                "-vor-Wiederherstellung.reg“.\n"
                "Information: Sicherung geprüft: 24 Schlüssel, 52 Werte\n",
            result.err);

  result = Run({"--demo", "--documents", Path("docs"), "restore", "Gibtsnicht"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ("Fehler: Die Datei „" + folder + "Gibtsnicht-original.reg“ wurde nicht gefunden.\n",
            result.err);
}

TEST_F(CliTest, NoProfileIsAFailure) {
  Write("empty.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n");
  const ProcessResult result =
      Run({"--reg", Path("empty.reg"), "--outlook-version", "16", "profiles"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ("Information: Es konnte kein Profil ermittelt werden!\n", result.err);
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  std::string reason;  // the German first line on standard error
};

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsageTest, WrongUsageExitsWithTwoAndAGermanHint) {
  const ProcessResult result = Run(GetParam().args);
  EXPECT_EQ(2, result.exitCode) << result.err;
  EXPECT_EQ(0u, result.err.find("Fehler: " + GetParam().reason + "\n")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("--help")) << result.err;
}

std::vector<UsageCase> UsageCases() {
  std::vector<UsageCase> rows{
      UsageCase{"no_command", {"--demo"}, "ein Befehl fehlt"},
      UsageCase{"unknown_option",
                {"--demo", "--frobnicate", "profiles"},
                "unbekannte Angaben: --frobnicate"},
      UsageCase{"missing_profile",
                {"--demo", "analyse"},
                "Bitte entweder ein PROFIL oder --all angeben."},
      UsageCase{"restore_without_profile", {"--demo", "restore"}, "Pflichtangabe fehlt: PROFIL"},
      UsageCase{"export_without_file",
                {"--demo", "export", "HKEY_CURRENT_USER"},
                "Pflichtangabe fehlt: DATEI"},
      UsageCase{"option_without_value", {"--reg"}, "falsche Zahl von Werten für --reg"},
      UsageCase{"version_not_a_number",
                {"--demo", "--outlook-version", "x", "profiles"},
                "--outlook-version: „x“ ist keine Outlook-Hauptversion (eine Zahl wie 16)"}};
#ifndef _WIN32
  // On Windows the live registry is the source when none is named.
  rows.push_back(UsageCase{"no_source",
                           {"profiles"},
                           "keine Registry angegeben. Mögliche Quellen: --demo, --reg DATEI, "
                           "--hive HKCU=DATEI oder --windows-root ORDNER --user NAME."});
#endif
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Cases, CliUsageTest, ::testing::ValuesIn(UsageCases()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CliTest, HelpAndVersion) {
  ProcessResult result = Run({"--help"});
  EXPECT_EQ(0, result.exitCode);
  EXPECT_NE(std::string::npos, result.out.find("Aufruf:"));
  EXPECT_NE(std::string::npos, result.out.find("repair"));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"repair", "--help"}, {"find", "--help"}}) {
    const std::string help = Run(args).out;
    EXPECT_NE(std::string::npos, help.find("\nOptionen:\n")) << help;
    for (const char* english : {"Options", "Subcommands", "POSITIONALS", "Positionals", "Usage",
                                "REQUIRED", "PROFILE", "FILE", ":POSITIVE"}) {
      EXPECT_EQ(std::string::npos, help.find(english)) << english << " in\n" << help;
    }
  }
  EXPECT_NE(std::string::npos, Run({"--help"}).out.find("\nBefehle:\n"));
  result = Run({"--version"});
  EXPECT_EQ(0, result.exitCode);
  EXPECT_NE(std::string::npos, result.out.find("1.1"));
}

TEST_F(CliTest, ExportWritesTheKeyAsTheBackupDoes) {
  const std::string key = std::string(kTree) + "\\Outlook";
  const ProcessResult result = Run({"--demo", "export", key, Path("outlook.reg")});
  ASSERT_EQ(0, result.exitCode) << result.err;
  const std::string text = ReadWholeFile(Path("outlook.reg"));
  EXPECT_EQ(0u, text.find("REGEDIT4\r\n\r\n[" + key + "]\r\n"));
  EXPECT_EQ(std::string::npos, text.find("B\xFCro"));

  EXPECT_EQ(1, Run({"--demo", "export", "HKEY_NOWHERE\\x", Path("x.reg")}).exitCode);
  EXPECT_EQ(1, Run({"--demo", "export", key + "\\Missing", Path("y.reg")}).exitCode);
  EXPECT_FALSE(fs::exists(Path("y.reg")));
}

TEST_F(CliTest, ImportAddsTheFileAndRefusesABadOneWhole) {
  Write("add.reg",
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Neu]\r\n\"Name\"=\"Wert\"\r\n"
        "\"Zahl\"=dword:0000002a\r\n");
  ProcessResult result =
      Run({"--demo", "--save-reg", Path("after.reg"), "import", Path("add.reg")});
  EXPECT_EQ(0, result.exitCode) << result.err;
  const std::string after = ReadWholeFile(Path("after.reg"));
  EXPECT_NE(std::string::npos, after.find("[HKEY_CURRENT_USER\\Software\\Neu]\r\n\"Name\"="
                                          "\"Wert\"\r\n\"Zahl\"=dword:0000002a\r\n"));

  // The second key line is refused; nothing of the file is applied.
  Write("bad.reg",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Teil]\r\n\"a\"=\"b\"\r\n[hkey_current_user\\x]"
        "\r\n");
  result = Run({"--demo", "--save-reg", Path("after2.reg"), "import", Path("bad.reg")});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find("Fehler: Syntax error in reg file")) << result.err;
  EXPECT_FALSE(fs::exists(Path("after2.reg")));

  Write("v4.reg", "Windows Registry Editor Version 4.00\r\n");
  result = Run({"--demo", "import", Path("v4.reg")});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ("Fehler: Bad file format.  Missing REGEDIT4 in first line.\n", result.err);

  // The export's other format: UTF-16 with its byte-order mark.
  std::string v5 = "\xFF\xFE";
  for (const char16_t unit : std::u16string(
           u"Windows Registry Editor Version 5.00\r\n\r\n"
           u"[HKEY_CURRENT_USER\\Software\\\u03A9]\r\n\"zwei\\nZeilen\"=\"\u4E2D\"\r\n")) {
    v5 += static_cast<char>(unit & 0xFF);
    v5 += static_cast<char>(unit >> 8);
  }
  Write("v5.reg", v5);
  result = Run({"--demo", "--save-reg", Path("after5.reg"), "import", Path("v5.reg")});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(0u, ReadWholeFile(Path("after5.reg")).find("\xFF\xFEW\0")) << "saved as Version 5.00";
}

TEST_F(CliTest, FindPrintsEveryMatchInSearchOrder) {
  const std::string profiles = std::string(kTree);
  ProcessResult result =
      Run({"--demo", "find", "--values", "--whole", "POP3 Server", profiles + "\\Outlook"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(
      "\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Outlook\\"
      "9375CFF0413111D3B88A00104B2A6676\\00000001\tPOP3 SERVER\n",
      result.out);
  result = Run({"--demo", "find", "--keys", "0000000", profiles + "\\Outlook"});
  EXPECT_EQ(0, result.exitCode);
  const std::string outlook = "\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Outlook\\";
  EXPECT_EQ(outlook + "0A0D020000000000C000000000000046\n" + outlook +
                "8503020000000000C000000000000046\n" + outlook +
                "9375CFF0413111D3B88A00104B2A6676\\00000001\n",
            result.out);
  EXPECT_EQ(1, Run({"--demo", "find", "x", "HKEY_CURRENT_USER\\Nirgends"}).exitCode);
}

TEST_F(CliTest, VersionsListsTheDemoInstallation) {
  const ProcessResult result = Run({"--demo", "versions"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(
      "Outlook 2016 (64 Bit)\tC:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE\n",
      result.out);
}

TEST_F(CliTest, WithoutOutlookTheStartUpSaysSoAndGoesOn) {
  // A registry without an installation: the error of the detection, then the tree of
  // the Windows Messaging Subsystem, where this file keeps its profile.
  Write("wms.reg",
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
        "Windows Messaging Subsystem\\Profiles\\Alt]\r\n\"x\"=dword:00000001\r\n");
  ProcessResult result = Run({"--reg", Path("wms.reg"), "profiles"});
  EXPECT_EQ(0, result.exitCode);
  EXPECT_EQ("Alt\n", result.out);
  EXPECT_EQ(
      "Fehler: Auf diesem Rechner kann die Software \"Microsoft® Outlook\" nicht ermittelt "
      "werden.\n",
      result.err);
  result = Run({"--reg", Path("wms.reg"), "versions"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ("", result.out);
}

TEST_F(CliTest, TwoInstallationsTakeTheHigherAndSaySo) {
  const std::string pe = BRINDEL_PE_FIXTURES;
  auto quoted = [](std::string path) {
    std::string text;
    for (char c : path)
      text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return text;
  };
  Write("two.reg",
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
        "Paths\\OUTLOOK.EXE]\r\n"
        "@=\"" +
            quoted(pe + "/version14-x86_64.exe") +
            "\"\r\n"
            "[HKEY_LOCAL_"
            "MACHINE\\SOFTWARE\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\SOFTWARE\\"
            "Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE]\r\n"
            "@=\"" +
            quoted(pe + "/outlook16-x86_64.exe") +
            "\"\r\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Neu]\r\n"
            "\"x\"=dword:00000001\r\n");
  ProcessResult result = Run({"--reg", Path("two.reg"), "versions"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("Outlook 2016 (32 Bit)\t" + pe + "/outlook16-x86_64.exe\nOutlook 2010 (32 Bit)\t" + pe +
                "/version14-x86_64.exe\n",
            result.out);
  result = Run({"--reg", Path("two.reg"), "profiles"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("Neu\n", result.out) << "the profiles of Outlook 2016";
  EXPECT_EQ(0u, result.err.find("Information: Zwei Outlook-Installationen gefunden (Outlook 2016 "
                                "(32 Bit), Outlook 2010 (32 Bit)); verwendet wird die höhere"))
      << result.err;
}

TEST_F(CliTest, FileVersionPrintsEveryProperty) {
  const std::string exe = std::string(BRINDEL_PE_FIXTURES) + "/outlook16-x86_64.exe";
  ProcessResult result = Run({"file-version", exe});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(0u, result.out.find("FileName=" + exe +
                                "\nIsVersionInfo=true\nMajorFileVersionMS=16\n"
                                "MinorFileVersionMS=0\nMajorFileVersionLS=4266\n"));
  EXPECT_NE(std::string::npos, result.out.find("\nFileFlags=11\nFileTypeAsString=VFT_APP\n"));
  EXPECT_NE(std::string::npos, result.out.find("\nIsFlagPreRelease=true\n"));
  EXPECT_EQ(40, std::count(result.out.begin(), result.out.end(), '\n'));
  EXPECT_EQ(result.out.size() - 1, result.out.rfind("PrivateBuild=private\n") + 20);

  result = Run({"file-version", Path("missing.exe")});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(std::string::npos, result.out.find("IsVersionInfo=false\n"));
  EXPECT_NE(std::string::npos, result.err.find("missing.exe"));
}

}  // namespace
}  // namespace brindel::cli
