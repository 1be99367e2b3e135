// Which backup files count as whole (the first backup is kept only when it is one),
// what the files of a profile are named, so that no two profiles share one, and
// which of them a window can offer to restore.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "profile/Backup.h"

namespace brindel::profile {
namespace {

// An export as the backup writes it: header, key lines, values, an empty line after
// each key.
const std::string kExport =
    "REGEDIT4\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Profiles\\Outlook]\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Profiles\\Outlook\\9207f3e0a3b11019908b08002b2a56c2]\r\n"
    "\"01023d00\"=hex:a1,00,00,00,00,00,00,00,00,00,00,00,00,00,00,01\r\n"
    "\"001e3001\"=\"Zeile eins\\r\\nZeile zwei\"\r\n\r\n";

// The same in UTF-16 with its byte-order mark, as regedit writes Version 5.00.
std::string Utf16(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

struct TCompleteCase {
  const char* name;
  std::string bytes;
  bool complete;
};

void PrintTo(const TCompleteCase& row, std::ostream* out) {
  *out << row.name;
}

class IsCompleteBackupTest : public ::testing::TestWithParam<TCompleteCase> {};

TEST_P(IsCompleteBackupTest, Decides) {
  EXPECT_EQ(GetParam().complete, IsCompleteBackup(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Files, IsCompleteBackupTest,
    ::testing::Values(
        TCompleteCase{"WholeExport", kExport, true},
        TCompleteCase{"KeyWithoutValues",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Profiles\\Neu]\r\n\r\n", true},
        // A profile tree other than today's is still a whole backup of that profile.
        TCompleteCase{"AnotherProfileTree",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\"
                      "Outlook\\Profiles\\Outlook]\r\n\"a\"=dword:00000001\r\n\r\n",
                      true},
        TCompleteCase{
            "Version5InUtf16",
            Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Profiles\\Outlook]\r\n\"a\"=\"b\"\r\n\r\n"),
            true},
        TCompleteCase{"Empty", "", false}, TCompleteCase{"HeaderOnly", "REGEDIT4\r\n\r\n", false},
        TCompleteCase{"CutInTheHeader", "REGED", false},
        TCompleteCase{"CutInTheKeyLine", kExport.substr(0, 30), false},
        TCompleteCase{"CutAfterTheKeyLine", kExport.substr(0, kExport.find("]\r\n") + 3), false},
        TCompleteCase{"CutAfterAValueLine", kExport.substr(0, kExport.find("01\r\n") + 4), false},
        TCompleteCase{"CutInAValue", kExport.substr(0, kExport.size() - 9), false},
        TCompleteCase{"LastLineBreakMissing", kExport.substr(0, kExport.size() - 2), false},
        TCompleteCase{"ZerosWhereTheEndWas",
                      kExport.substr(0, kExport.size() - 20) + std::string(20, '\0'), false},
        TCompleteCase{"NoRegFile", "Hallo\r\n\r\n", false},
        TCompleteCase{"NoKeyLine", "REGEDIT4\r\n\r\n\"a\"=\"b\"\r\n\r\n", false}),
    [](const ::testing::TestParamInfo<TCompleteCase>& row) { return std::string(row.param.name); });

TEST(BackupProfileNameTest, IsTheLastNameOfTheFirstKeyLineOfAWholeBackup) {
  EXPECT_EQ(u"Outlook", BackupProfileName(kExport));
  EXPECT_EQ(u"Outlook", BackupProfileName(Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                                                "[HKEY_CURRENT_USER\\Software\\Profiles\\Outlook]"
                                                "\r\n\r\n")));
  EXPECT_EQ(u"", BackupProfileName(kExport.substr(0, 30))) << "cut short";
  EXPECT_EQ(u"", BackupProfileName("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n"));
}

// --- The names of a profile's files ---------------------------------------------------

struct TStemCase {
  const char* name;
  std::u16string_view profile;
  std::u16string_view stem;
};

void PrintTo(const TStemCase& row, std::ostream* out) {
  *out << row.name;
}

class BackupStemTest : public ::testing::TestWithParam<TStemCase> {};

TEST_P(BackupStemTest, IsTheNameUnlessItEndsInATail) {
  EXPECT_EQ(GetParam().stem, BackupStem(GetParam().profile));
}

INSTANTIATE_TEST_SUITE_P(
    Names, BackupStemTest,
    ::testing::Values(TStemCase{"Plain", u"Outlook", u"Outlook"},
                      TStemCase{"FirstTail", u"Outlook-original", u"Outlook-original~"},
                      TStemCase{"FirstTailInCapitals", u"Outlook-ORIGINAL", u"Outlook-ORIGINAL~"},
                      TStemCase{"SavedStateTail", u"Outlook-vor-Wiederherstellung",
                                u"Outlook-vor-Wiederherstellung~"},
                      TStemCase{"TailAlone", u"-original", u"-original~"},
                      // The stem of "Outlook-original" must not be a profile's own name.
                      TStemCase{"TailAndTilde", u"Outlook-original~", u"Outlook-original~~"},
                      TStemCase{"TildeAlone", u"Outlook~", u"Outlook~"},
                      TStemCase{"TailInside", u"Outlook-original-2", u"Outlook-original-2"},
                      TStemCase{"TailWithoutHyphen", u"Outlookoriginal", u"Outlookoriginal"},
                      TStemCase{"UmlautInTheTail", u"Büro-vor-WIEDERHERSTELLUNG",
                                u"Büro-vor-WIEDERHERSTELLUNG~"}),
    [](const ::testing::TestParamInfo<TStemCase>& row) { return std::string(row.param.name); });

// Every file of every profile has a name of its own, also where the disk ignores
// letter case: no profile's file is another profile's. (Two names that differ only in
// case are one key to the registry.)
TEST(BackupNamesTest, NoTwoProfilesShareAFile) {
  const std::vector<std::u16string> profiles = {u"Outlook",
                                                u"Outlook-original",
                                                u"outlook-Original",
                                                u"Outlook-original~",
                                                u"Outlook~",
                                                u"Outlook-original-original",
                                                u"Outlook-vor-Wiederherstellung",
                                                u"Outlook-vor-Wiederherstellung-original",
                                                u"Outlook-original-vor-Wiederherstellung",
                                                u"Outlook.reg",
                                                u"Outlook.log",
                                                u"-original",
                                                u"~"};
  std::vector<std::pair<std::u16string, std::u16string>> files;  // upper-cased name, profile
  for (const std::u16string& profile : profiles) {
    for (const std::u16string& file :
         {CurrentBackupName(u"", profile), FirstBackupName(u"", profile), LogFileName(u"", profile),
          SavedStateName(u"", profile)}) {
      files.emplace_back(platform::UpperCase(file), profile);
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (platform::SameTextIgnoreCase(files[i].second, files[j].second))
        continue;
      EXPECT_NE(files[i].first, files[j].first)
          << platform::ToUtf8(files[i].second) << " and " << platform::ToUtf8(files[j].second);
    }
  }
}

TEST(BackupNamesTest, APlainNameKeepsTheFamiliarFiles) {
  EXPECT_EQ(u"/b/Outlook.reg", CurrentBackupName(u"/b/", u"Outlook"));
  EXPECT_EQ(u"/b/Outlook-original.reg", FirstBackupName(u"/b/", u"Outlook"));
  EXPECT_EQ(u"/b/Outlook.log", LogFileName(u"/b/", u"Outlook"));
  EXPECT_EQ(u"/b/Outlook-vor-Wiederherstellung.reg", SavedStateName(u"/b/", u"Outlook"));
  EXPECT_EQ(u"/b/Outlook-original~.reg", CurrentBackupName(u"/b/", u"Outlook-original"));
  EXPECT_EQ(u"/b/Outlook-original~-original.reg", FirstBackupName(u"/b/", u"Outlook-original"));
}

// --- The backups a window offers ------------------------------------------------------

class ProfileBackupsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = platform::FromUtf8(*platform::MakeTemporaryFolder("brindel-backups-")) +
              platform::kPathDelimiter;
  }
  void TearDown() override { std::filesystem::remove_all(std::filesystem::path(folder_)); }
  void Write(const std::u16string& name, std::size_t size) {
    std::ofstream(std::filesystem::path(folder_ + name), std::ios::binary)
        << std::string(size, 'x');
  }

  std::u16string folder_;
};

TEST_F(ProfileBackupsTest, ListsTheFilesThatAreThereWithRoleSizeAndDate) {
  const auto before = std::chrono::system_clock::now() - std::chrono::minutes(1);
  Write(u"Outlook-vor-Wiederherstellung.reg", 30);
  Write(u"Outlook.reg", 20);
  Write(u"Outlook-original.reg", 10);
  // Another profile's files, and the log, are no backups of this one.
  Write(u"Outlook-original~.reg", 40);
  Write(u"Outlook.log", 50);
  const std::vector<TBackupFile> files = ProfileBackups(folder_, u"Outlook");
  ASSERT_EQ(3u, files.size());
  EXPECT_EQ(TBackupRole::First, files[0].Role);
  EXPECT_EQ(u"Stand vor der ersten Reparatur", files[0].Description);
  EXPECT_EQ(folder_ + u"Outlook-original.reg", files[0].FileName);
  EXPECT_EQ(10u, files[0].Size);
  EXPECT_EQ(TBackupRole::Current, files[1].Role);
  EXPECT_EQ(u"Stand vor der letzten Reparatur", files[1].Description);
  EXPECT_EQ(20u, files[1].Size);
  EXPECT_EQ(TBackupRole::SavedState, files[2].Role);
  EXPECT_EQ(u"Stand vor der letzten Wiederherstellung", files[2].Description);
  EXPECT_EQ(folder_ + u"Outlook-vor-Wiederherstellung.reg", files[2].FileName);
  EXPECT_EQ(30u, files[2].Size);
  for (const TBackupFile& file : files) {
    EXPECT_GT(file.Written, before);
    EXPECT_LT(file.Written, std::chrono::system_clock::now() + std::chrono::minutes(1));
  }
}

TEST_F(ProfileBackupsTest, MissingFilesAreLeftOut) {
  EXPECT_TRUE(ProfileBackups(folder_, u"Outlook").empty());
  Write(u"Outlook.reg", 5);
  // A folder where a file would be is no backup.
  std::filesystem::create_directory(std::filesystem::path(folder_ + u"Outlook-original.reg"));
  const std::vector<TBackupFile> files = ProfileBackups(folder_, u"Outlook");
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ(TBackupRole::Current, files[0].Role);
}

}  // namespace
}  // namespace brindel::profile
