// "Löschen" through the flow object: backup, repair, the saved log and the states,
// on whole fixture profiles and on the cases that must delete nothing.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "regfile/StoreExport.h"
#include "support/Files.h"
#include "support/SameLog.h"
#include "support/StoreFixture.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;
using platform::FromUtf8;
using platform::ToUtf8;
using registry::store::HKEY_CURRENT_USER;
using registry::store::MemoryStore;
using Lines = std::vector<std::u16string>;

constexpr std::u16string_view kOfficeTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kMessagingTree =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr std::u16string_view kBackupFailed =
    u"Daten können NICHT gelöscht werden, da das Anlegen eines Backups fehlschlug";

using test::ReadWholeFile;

// The log file as it must be: each line in Windows-1252 followed by CR LF. The texts
// here use only ASCII and Latin-1 letters, which Windows-1252 keeps at their codes.
std::string Windows1252Lines(const Lines& lines) {
  std::string bytes;
  for (const auto& line : lines) {
    for (char16_t c : line) {
      EXPECT_TRUE(c < 0x80 || (c >= 0xA0 && c <= 0xFF)) << "no Latin-1 letter: " << int(c);
      bytes.push_back(static_cast<char>(c));
    }
    bytes += "\r\n";
  }
  return bytes;
}

using test::SameLog;

// The whole of HKEY_CURRENT_USER as .reg text.
std::string ExportAll(MemoryStore& store) {
  regfile::TMemoryStream stream;
  EXPECT_TRUE(regfile::SaveStoreAsReg(store, {HKEY_CURRENT_USER}, stream));
  return std::string(stream.Bytes());
}

// The export of one key tree, as a backup of it must read.
std::string ExportTree(MemoryStore& store, std::u16string_view path) {
  registry::store::ScopedCurrentStore current(store);
  regfile::TExRegistry reg(registry::store::KEY_READ);
  reg.UseRoot(HKEY_CURRENT_USER);
  EXPECT_TRUE(reg.Open(path, false));
  std::unique_ptr<regfile::TMemoryStream> stream;
  EXPECT_TRUE(reg.ExportKey(u"", true, stream));
  return stream ? std::string(stream->Bytes()) : std::string();
}

// Every file below a folder, as paths relative to it.
std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  if (!fs::exists(folder))
    return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// A flow object over its own store, with a documents folder of its own in a fresh
// temporary folder: the backup folder is <temp>/docs/Brindel/.
class LoeschenTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    const auto folder = platform::MakeTemporaryFolder("brindel-loeschen-");
    ASSERT_TRUE(folder.has_value());
    temp_ = fs::path(platform::FromUtf8(*folder));
    documents_ = temp_ / "docs";
    fs::create_directory(documents_);
  }
  void TearDown() override {
    // Read-only files and folders do not stop the clean-up.
    for (const auto& entry : fs::recursive_directory_iterator(temp_))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(temp_);
  }

  void Load(const std::string& fixture) {
    regfile::LoadRegTextFile(FromUtf8(test::ProfileFixture(fixture)), store_);
  }

  // Start-up over the given profile tree, with the profile `name` chosen.
  void Start(std::u16string_view tree, std::u16string_view name) {
    dlg_.cProfilesTree = std::u16string(tree);
    dlg_.FormCreate(FromUtf8(documents_.string()));
    dlg_.FormShow();
    view_.RunPosted();
    for (int i = 0; i < dlg_.StrList.Count(); ++i) {
      if (dlg_.StrList[i].ProfilName == name) {
        view_.SelectProfile(i);
        dlg_.cbProfilesChange();
      }
    }
    ASSERT_GE(view_.SelectedProfile(), 0) << "no profile " << ToUtf8(name);
  }

  // Deletes a key with everything below it.
  void DeleteTree(const std::u16string& path) {
    registry::store::HKEY key = 0;
    ASSERT_EQ(0, store_.OpenKey(HKEY_CURRENT_USER, path, registry::store::KEY_ALL_ACCESS, key));
    std::u16string name;
    while (store_.EnumKey(key, 0, name) == 0)
      DeleteTree(path + u"\\" + name);
    store_.CloseKey(key);
    ASSERT_EQ(0, store_.DeleteKey(HKEY_CURRENT_USER, path, 0));
  }

  fs::path Backup() const { return documents_ / "Brindel"; }
  fs::path File(std::string_view profile, std::string_view suffix) const {
    return Backup() / (std::string(profile) + std::string(suffix));
  }

  fs::path temp_;
  fs::path documents_;
  test::FakeMainView view_;
  TMainDlg dlg_{view_};
};

// --- Whole runs on fixture profiles --------------------------------------------------

struct TRunCase {
  const char* name;
  const char* regFile;
  std::u16string_view tree;
  const char* profile;
  const char* analysisLog;
  const char* repairLog;
  // Loaded over regFile, the registry as the repair must leave it; null when the
  // repair changes nothing.
  const char* repairedReg;
};

void PrintTo(const TRunCase& row, std::ostream* out) {
  *out << row.name;
}

class WholeRunTest : public LoeschenTest, public ::testing::WithParamInterface<TRunCase> {};

TEST_P(WholeRunTest, LogRegistryBackupAndLogFile) {
  const TRunCase& c = GetParam();
  Load(c.regFile);
  const std::u16string profileTree = std::u16string(c.tree) + u"\\" + FromUtf8(c.profile);
  const std::string before = ExportTree(store_, profileTree);

  Start(c.tree, FromUtf8(c.profile));
  dlg_.btnStartClick();
  ASSERT_TRUE(view_.deleteEnabled);
  dlg_.btnDeleteClick();
  ASSERT_TRUE(view_.messages.empty()) << ToUtf8(view_.messages[0].text);

  Lines expected = test::ReadProfileLog(c.analysisLog);
  const Lines repair = test::ReadProfileLog(c.repairLog);
  expected.insert(expected.end(), repair.begin(), repair.end());
  EXPECT_TRUE(SameLog(expected, view_.log));

  MemoryStore repaired;
  regfile::LoadRegTextFile(FromUtf8(test::ProfileFixture(c.regFile)), repaired);
  if (c.repairedReg)
    regfile::LoadRegTextFile(FromUtf8(test::ProfileFixture(c.repairedReg)), repaired);
  EXPECT_EQ(ExportAll(repaired), ExportAll(store_));

  // Both backups hold the profile as it was before the repair.
  EXPECT_EQ(before, ReadWholeFile(File(c.profile, ".reg")));
  EXPECT_EQ(before, ReadWholeFile(File(c.profile, "-original.reg")));
  EXPECT_EQ(Windows1252Lines(expected), ReadWholeFile(File(c.profile, ".log")));
  EXPECT_EQ(
      (std::vector<std::string>{std::string(c.profile) + "-original.reg",
                                std::string(c.profile) + ".log", std::string(c.profile) + ".reg"}),
      FilesBelow(Backup()));

  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_FALSE(dlg_.Analysis.bListsCreated);
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, WholeRunTest,
    ::testing::Values(TRunCase{"Healthy", "healthy.reg", kOfficeTree, "Outlook",
                               "healthy.expected.txt", "healthy.repair.txt", nullptr},
                      TRunCase{"Damaged", "damaged.reg", kMessagingTree, "Kaputt",
                               "damaged.expected.txt", "damaged.repair.txt",
                               "damaged.repaired.reg"},
                      TRunCase{"WithoutSections", "new.reg", kOfficeTree, "Neu", "new.expected.txt",
                               "new.repair.txt", nullptr},
                      TRunCase{"UnlistedAccounts", "accounts.reg", kOfficeTree, "Konten",
                               "accounts.expected.txt", "accounts.repair.txt",
                               "accounts.repaired.reg"}),
    [](const ::testing::TestParamInfo<TRunCase>& row) { return std::string(row.param.name); });

TEST_F(LoeschenTest, BackupOfAProfileWithoutSectionsIsItsKeyLine) {
  Load("new.reg");
  Start(kOfficeTree, u"Neu");
  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  EXPECT_EQ(
      "REGEDIT4\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Neu]\r\n\r\n",
      ReadWholeFile(File("Neu", ".reg")));
}

// The log file holds what the view holds: a line the user changed, and a letter that
// Windows-1252 lacks written as "?".
// A profile name as long as the backup folder takes: "-original.reg" behind it just
// fits the system's 255 bytes of a file name, so the temporary files written beside
// the backups must not be longer than that.
TEST_F(LoeschenTest, LongestProfileNameThatFitsIsBackedUp) {
  const std::u16string name(242, u'x');
  MakeKey(std::u16string(kOfficeTree) + u"\\" + name + u"\\0a0d020000000000c000000000000046");
  Start(kOfficeTree, name);
  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  EXPECT_TRUE(view_.messages.empty())
      << ToUtf8(view_.messages.front().text) << " " << ToUtf8(view_.backupReasons.front());
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
  const std::string file = ToUtf8(name);
  for (const char* tail : {".reg", "-original.reg", ".log"})
    EXPECT_TRUE(fs::exists(Backup() / (file + tail))) << tail;
}

TEST_F(LoeschenTest, LogFileIsWhatTheViewHolds) {
  Load("new.reg");
  Start(kOfficeTree, u"Neu");
  dlg_.btnStartClick();
  view_.log[1] = u"Geprüft von Ōno";
  dlg_.btnDeleteClick();
  const std::string bytes = ReadWholeFile(File("Neu", ".log"));
  EXPECT_EQ(
      "*****************************************\r\nGepr\xFC"
      "ft von ?no\r\n",
      bytes.substr(0, 60));
  EXPECT_EQ(std::string::npos, bytes.find("\xEF\xBB\xBF"));
}

// --- The backup files over several runs ----------------------------------------------

TEST_F(LoeschenTest, SecondRunReplacesTheBackupAndKeepsTheFirst) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  const std::string first = ReadWholeFile(File("Kaputt", "-original.reg"));
  const std::string repaired = ExportTree(store_, dlg_.Analysis.ProfileTree);
  ASSERT_NE(first, repaired);

  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  EXPECT_EQ(first, ReadWholeFile(File("Kaputt", "-original.reg")));
  EXPECT_EQ(repaired, ReadWholeFile(File("Kaputt", ".reg")));
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(LoeschenTest, ReadOnlyOldBackupIsReplaced) {
  Load("healthy.reg");
  fs::create_directories(Backup());
  for (const char* suffix : {".reg", ".log"}) {
    std::ofstream(File("Outlook", suffix)) << "alt";
    fs::permissions(File("Outlook", suffix), fs::perms::owner_read | fs::perms::group_read);
  }
  Start(kOfficeTree, u"Outlook");
  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(ExportTree(store_, dlg_.Analysis.ProfileTree), ReadWholeFile(File("Outlook", ".reg")));
  EXPECT_EQ(ReadWholeFile(File("Outlook", ".reg")),
            ReadWholeFile(File("Outlook", "-original.reg")));
  EXPECT_EQ(0u, ReadWholeFile(File("Outlook", ".log")).find("*****"));
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
}

TEST_F(LoeschenTest, RemovedFirstBackupIsWrittenAgain) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  fs::remove(File("Kaputt", "-original.reg"));
  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  EXPECT_EQ(ReadWholeFile(File("Kaputt", ".reg")), ReadWholeFile(File("Kaputt", "-original.reg")));
}

// --- Backups that fail: nothing is deleted -------------------------------------------

// What a failed backup must leave: the box, the registry and the files as they were,
// "Löschen" ready for another try over the same lists.
class FailedBackupTest : public LoeschenTest {
 protected:
  void ExpectNothingDone(const std::string& registryBefore) {
    ASSERT_EQ(1u, view_.messages.size());
    EXPECT_EQ(kBackupFailed, view_.messages[0].text);
    EXPECT_EQ(TMsgDlgType::mtInformation, view_.messages[0].kind);
    EXPECT_EQ(registryBefore, ExportAll(store_));
    EXPECT_TRUE(view_.deleteEnabled);
    EXPECT_TRUE(view_.startEnabled);
    EXPECT_TRUE(dlg_.Analysis.bListsCreated);
    EXPECT_EQ(TMainState::Analysed, dlg_.State());
    // No repair line was logged.
    EXPECT_EQ(u"{d9734f19-8cfb-411d-bc59-833e334fcb5e}", view_.log.back());
  }
};

TEST_F(FailedBackupTest, VanishedProfileKeyDeletesNothingAndKeepsTheOldBackups) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  fs::create_directories(Backup());
  std::ofstream(File("Kaputt", ".reg")) << "voriges Backup";
  std::ofstream(File("Kaputt", "-original.reg")) << "erstes Backup";
  // The profile goes away between "Auslesen" and "Löschen"; a repair now would
  // create its provider section anew.
  DeleteTree(dlg_.Analysis.ProfileTree);
  ASSERT_FALSE(KeyExists(dlg_.Analysis.ProfileTree));
  const std::string before = ExportAll(store_);

  dlg_.btnDeleteClick();
  ExpectNothingDone(before);
  EXPECT_EQ("voriges Backup", ReadWholeFile(File("Kaputt", ".reg")));
  EXPECT_EQ("erstes Backup", ReadWholeFile(File("Kaputt", "-original.reg")));
  EXPECT_FALSE(fs::exists(File("Kaputt", ".log")));
}

// An export that fails leaves no file behind to become the first backup, and the
// previous backup stays.
TEST_F(FailedBackupTest, FailedExportKeepsThePreviousBackupAndMakesNoFirstOne) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  fs::create_directories(Backup());
  std::ofstream(File("Kaputt", ".reg")) << "voriges Backup";
  const std::string before = ExportAll(store_);
  // The key opens, but a section's information cannot be read: the export fails
  // half-way.
  const std::u16string section = dlg_.Analysis.ProfileTree + u"\\b1000000000000000000000000000001";
  ASSERT_TRUE(
      store_.InjectFault(HKEY_CURRENT_USER, section, MemoryStore::Operation::QueryInfo, 1450));
  dlg_.btnDeleteClick();
  store_.InjectFault(HKEY_CURRENT_USER, section, MemoryStore::Operation::QueryInfo, 0);
  ExpectNothingDone(before);
  EXPECT_EQ("voriges Backup", ReadWholeFile(File("Kaputt", ".reg")));
  EXPECT_FALSE(fs::exists(File("Kaputt", "-original.reg")));
  EXPECT_EQ((std::vector<std::string>{"Kaputt.reg"}), FilesBelow(Backup()));

  // Once the export works again, "Löschen" runs over the same lists.
  view_.messages.clear();
  dlg_.btnDeleteClick();
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(ReadWholeFile(File("Kaputt", ".reg")), ReadWholeFile(File("Kaputt", "-original.reg")));
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
}

TEST_F(FailedBackupTest, BackupFolderThatCannotBeMadeFailsTheBackup) {
  Load("damaged.reg");
  // The documents folder does not exist, and only the last level is created.
  fs::remove(documents_);
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  const std::string before = ExportAll(store_);
  dlg_.btnDeleteClick();
  ExpectNothingDone(before);
  EXPECT_TRUE(FilesBelow(temp_).empty());
}

// A profile key name is put into file names; one that is no plain file name would
// write outside the backup folder, or nowhere.
struct TNameCase {
  const char* name;
  std::u16string_view profile;
};

void PrintTo(const TNameCase& row, std::ostream* out) {
  *out << row.name;
}

class ProfileNameTest : public FailedBackupTest, public ::testing::WithParamInterface<TNameCase> {};

TEST_P(ProfileNameTest, NoPlainFileNameFailsTheBackup) {
  const std::u16string tree = u"Software\\Profiles";
  const std::u16string profileTree = tree + u"\\" + std::u16string(GetParam().profile);
  // An unused section that a repair would delete.
  Put(profileTree + u"\\e0000000000000000000000000000001", u"001e3001", registry::store::REG_SZ,
      test::Utf16Bytes(u"Verwaist"));
  Start(tree, GetParam().profile);
  dlg_.btnStartClick();
  ASSERT_TRUE(view_.deleteEnabled);
  const std::string before = ExportAll(store_);
  dlg_.btnDeleteClick();
  ExpectNothingDone(before);
  EXPECT_TRUE(KeyExists(profileTree + u"\\e0000000000000000000000000000001"));
  EXPECT_EQ((std::vector<std::string>{}), FilesBelow(temp_));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProfileNameTest,
    ::testing::Values(TNameCase{"Dot", u"."}, TNameCase{"DotDot", u".."}, TNameCase{"Slash", u"/"},
                      TNameCase{"ParentPath", u"../../Outlook"}, TNameCase{"SubFolder", u"a/b"},
                      TNameCase{"ControlCharacter", u"Out\u0001look"},
                      TNameCase{"LineBreak", u"Outlook\n"}),
    [](const ::testing::TestParamInfo<TNameCase>& row) { return std::string(row.param.name); });

// A key that cannot be read would be left out of the export; the repair could then
// delete what no backup holds.
TEST_F(FailedBackupTest, SectionThatCannotBeReadFailsTheBackup) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  // An unused section, which the repair deletes.
  const std::u16string section = dlg_.Analysis.ProfileTree + u"\\e0000000000000000000000000000001";
  ASSERT_TRUE(
      store_.SetProtection(HKEY_CURRENT_USER, section, MemoryStore::Protection::Unreadable));
  const std::string before = ExportAll(store_);
  dlg_.btnDeleteClick();
  ExpectNothingDone(before);
  store_.SetProtection(HKEY_CURRENT_USER, section, MemoryStore::Protection::None);
  EXPECT_TRUE(KeyExists(section));
  EXPECT_EQ((std::vector<std::string>{}), FilesBelow(Backup()));
}

// The first backup is the only copy of the profile as it was before any repair: when
// it cannot be written, nothing is deleted.
TEST_F(FailedBackupTest, FirstBackupThatCannotBeWrittenFailsTheBackup) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  const std::string profile = ExportTree(store_, dlg_.Analysis.ProfileTree);
  const std::string before = ExportAll(store_);
  // A folder holds the name, as a disk without room would refuse the file.
  fs::create_directories(File("Kaputt", "-original.reg"));
  dlg_.btnDeleteClick();
  ExpectNothingDone(before);
  EXPECT_EQ(profile, ReadWholeFile(File("Kaputt", ".reg")));
  EXPECT_FALSE(fs::exists(File("Kaputt", ".log")));

  // With room for it, the next try writes it from the profile, still as it was.
  fs::remove(File("Kaputt", "-original.reg"));
  view_.messages.clear();
  dlg_.btnDeleteClick();
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(profile, ReadWholeFile(File("Kaputt", "-original.reg")));
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
}

// --- What a run that was killed or ran out of room left behind -----------------------

// A first backup that such a run left: a whole one stays, whatever it holds; one left
// empty or cut short is made anew from the profile, which that run did not repair.
struct TFirstBackupCase {
  const char* name;
  // What is in the file, given the export of the profile as it is.
  std::string (*content)(const std::string& profile);
  bool kept;
};

void PrintTo(const TFirstBackupCase& row, std::ostream* out) {
  *out << row.name;
}

class LeftFirstBackupTest : public LoeschenTest,
                            public ::testing::WithParamInterface<TFirstBackupCase> {};

TEST_P(LeftFirstBackupTest, IsKeptOnlyWhenWhole) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  const std::string profile = ExportTree(store_, dlg_.Analysis.ProfileTree);
  const std::string left = GetParam().content(profile);
  fs::create_directories(Backup());
  std::ofstream(File("Kaputt", "-original.reg"), std::ios::binary) << left;
  dlg_.btnDeleteClick();
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
  EXPECT_EQ(GetParam().kept ? left : profile, ReadWholeFile(File("Kaputt", "-original.reg")));
  EXPECT_EQ(profile, ReadWholeFile(File("Kaputt", ".reg")));
}

INSTANTIATE_TEST_SUITE_P(
    Files, LeftFirstBackupTest,
    ::testing::Values(
        TFirstBackupCase{"Empty", [](const std::string&) { return std::string(); }, false},
        TFirstBackupCase{"CutInAValue",
                         [](const std::string& profile) {
                           return profile.substr(0, profile.find("=hex:") + 10);
                         },
                         false},
        TFirstBackupCase{
            "CutAfterAKeyLine",
            [](const std::string& profile) { return profile.substr(0, profile.find("]\r\n") + 3); },
            false},
        // Written by an earlier run, before a repair changed the profile.
        TFirstBackupCase{"WholeFromAnEarlierRun",
                         [](const std::string&) {
                           return std::string(
                               "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\"
                               "Office\\15.0\\Outlook\\Profiles\\Kaputt]\r\n\"a\"=\"b\"\r\n\r\n");
                         },
                         true}),
    [](const ::testing::TestParamInfo<TFirstBackupCase>& row) {
      return std::string(row.param.name);
    });

// A run killed between writing one of its files and renaming it leaves the new file
// beside it; the next run for that profile removes it, also when its own backup
// fails. Another profile's file waits for a run of that profile, which may be
// writing it right now.
class LeftTemporaryFilesTest : public LoeschenTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LeftTemporaryFilesTest, AreRemovedByTheNextRun) {
  const bool backupWorks = GetParam();
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  fs::create_directories(Backup());
  // The temporary file a killed run leaves beside each of these.
  const auto left = [this](const char* name) {
    return fs::path(platform::TemporaryFileOf((Backup() / name).string())).filename().string();
  };
  for (const char* name : {"Kaputt.reg", "Kaputt-original.reg", "Kaputt.log", "Anders.reg"}) {
    std::ofstream(Backup() / left(name)) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software";
  }
  if (!backupWorks)
    DeleteTree(dlg_.Analysis.ProfileTree);
  dlg_.btnDeleteClick();
  EXPECT_EQ(backupWorks ? TMainState::Repaired : TMainState::Analysed, dlg_.State());
  std::vector<std::string> expected{left("Anders.reg")};
  if (backupWorks) {
    for (const char* name : {"Kaputt-original.reg", "Kaputt.log", "Kaputt.reg"})
      expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, FilesBelow(Backup()));
}

INSTANTIATE_TEST_SUITE_P(Runs, LeftTemporaryFilesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& row) {
                           return std::string(row.param ? "BackupWorks" : "BackupFails");
                         });

// --- Errors in the repair --------------------------------------------------------------

TEST_F(LoeschenTest, RefusedWriteEndsTheRepairUnsavedWithLoeschenDisabled) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER,
                                 dlg_.Analysis.ProfileTree + u"\\9207f3e0a3b11019908b08002b2a56c2",
                                 MemoryStore::Operation::SetValue, 5));
  dlg_.btnDeleteClick();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(u"Fehler beim Setzen der Daten für '01023d00'", view_.messages[0].text);
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  // The unused sections were deleted; the removal of unlinked providers ended at its
  // first entry.
  const Lines tail(view_.log.end() - 5, view_.log.end());
  EXPECT_EQ((Lines{u"4 von 14 GUIDs wurden gelöscht.", u"", std::u16string(41, u'*'),
                   u"nicht verknüpfte Einträge aus 9207 und 9375 entfernen ",
                   u"a2000000000000000000000000000002"}),
            tail);
  EXPECT_FALSE(KeyExists(dlg_.Analysis.ProfileTree + u"\\e0000000000000000000000000000001"));
  EXPECT_FALSE(fs::exists(File("Kaputt", ".log")));
  EXPECT_TRUE(fs::exists(File("Kaputt", ".reg")));
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_TRUE(view_.startEnabled);

  // "Löschen" does not run again over these lists, even when called.
  view_.messages.clear();
  const Lines log = view_.log;
  dlg_.btnDeleteClick();
  EXPECT_EQ(log, view_.log);
  EXPECT_TRUE(view_.messages.empty());
  // "Auslesen" starts over.
  dlg_.btnStartClick();
  EXPECT_TRUE(view_.deleteEnabled);
}

TEST_F(LoeschenTest, ListValueOfTheWrongKindEndsTheRepair) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  Put(dlg_.Analysis.ProfileTree + u"\\9207f3e0a3b11019908b08002b2a56c2", u"01023d02",
      registry::store::REG_SZ, test::Utf16Bytes(u"kaputt"));
  dlg_.btnDeleteClick();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(u"Ungültiger Datentyp für '01023d02'", view_.messages[0].text);
  EXPECT_FALSE(fs::exists(File("Kaputt", ".log")));
  EXPECT_FALSE(view_.deleteEnabled);
  // The first unlinked entry was taken out of the lists before 01023d02, and only it.
  EXPECT_EQ(u"a2000000000000000000000000000002", view_.log.back());
  EXPECT_EQ(Get(dlg_.Analysis.ProfileTree + u"\\9207f3e0a3b11019908b08002b2a56c2", u"01023d01"),
            (std::pair<std::int64_t, test::Bytes>{registry::store::REG_BINARY, {}}));
}

// --- "Löschen" runs once over the lists of one "Auslesen" -----------------------------

TEST_F(LoeschenTest, ClicksDuringTheBackupDoNothing) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  struct {
    bool startEnabled = true;
    bool deleteEnabled = true;
    bool profilesEnabled = true;
    std::size_t logLines = 0;
  } during;
  view_.onProcessMessages = [&] {
    during.logLines = view_.log.size();
    during.profilesEnabled = view_.profilesEnabled;
    dlg_.btnDeleteClick();
    dlg_.btnStartClick();
    dlg_.FormClick();
    view_.SelectProfile(0);
    dlg_.cbProfilesChange();
    view_.SelectProfile(0);
    during.startEnabled = view_.startEnabled;
    during.deleteEnabled = view_.deleteEnabled;
    EXPECT_TRUE(dlg_.Analysis.bListsCreated);
  };
  dlg_.btnDeleteClick();
  EXPECT_EQ(1, view_.processed);
  EXPECT_FALSE(during.startEnabled);
  EXPECT_FALSE(during.deleteEnabled);
  EXPECT_FALSE(during.profilesEnabled);
  EXPECT_TRUE(view_.profilesEnabled);
  EXPECT_TRUE(view_.messages.empty());
  // The selection change cleared the log, as it always does; the repair logged once.
  Lines expected = test::ReadProfileLog("damaged.repair.txt");
  EXPECT_TRUE(SameLog(expected, view_.log));
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_FALSE(view_.deleteEnabled);
}

// The profile box is locked while "Löschen" runs, its boxes included, and unlocked on
// every way out of it.
struct TWayOutCase {
  const char* name;
  // Prepares the way out, once "Auslesen" ran.
  void (*prepare)(TMainDlg& dlg, MemoryStore& store, const fs::path& backupFolder);
  TMainState state;
};

void PrintTo(const TWayOutCase& row, std::ostream* out) {
  *out << row.name;
}

class ProfileBoxLockTest : public LoeschenTest,
                           public ::testing::WithParamInterface<TWayOutCase> {};

TEST_P(ProfileBoxLockTest, IsUnlockedOnEveryWayOut) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  GetParam().prepare(dlg_, store_, Backup());
  int calls = 0;
  int unlocked = 0;
  const auto look = [&] {
    ++calls;
    unlocked += view_.profilesEnabled ? 1 : 0;
  };
  view_.onProcessMessages = look;
  view_.onShowMessage = look;
  dlg_.btnDeleteClick();
  EXPECT_GT(calls, 0);
  EXPECT_EQ(0, unlocked) << "the box was open while Löschen ran";
  EXPECT_TRUE(view_.profilesEnabled);
  EXPECT_EQ(GetParam().state, dlg_.State());
}

INSTANTIATE_TEST_SUITE_P(
    WaysOut, ProfileBoxLockTest,
    ::testing::Values(TWayOutCase{"Repaired", [](TMainDlg&, MemoryStore&, const fs::path&) {},
                                  TMainState::Repaired},
                      TWayOutCase{"BackupFailed",
                                  [](TMainDlg&, MemoryStore&, const fs::path& backupFolder) {
                                    // A file where the backup folder would be.
                                    std::ofstream(backupFolder) << "x";
                                  },
                                  TMainState::Analysed},
                      TWayOutCase{"RepairError",
                                  [](TMainDlg& dlg, MemoryStore& store, const fs::path&) {
                                    store.InjectFault(HKEY_CURRENT_USER,
                                                      dlg.Analysis.ProfileTree +
                                                          u"\\9207f3e0a3b11019908b08002b2a56c2",
                                                      MemoryStore::Operation::SetValue, 5);
                                  },
                                  TMainState::Ready},
                      TWayOutCase{"ReadOnly",
                                  [](TMainDlg& dlg, MemoryStore&, const fs::path&) {
                                    dlg.cReadOnlyReason =
                                        u"Die Hive-Datei ist nur zum Lesen geöffnet.";
                                  },
                                  TMainState::Analysed}),
    [](const ::testing::TestParamInfo<TWayOutCase>& row) { return std::string(row.param.name); });

TEST_F(LoeschenTest, AfterTheBackgroundClickLoeschenDoesNothing) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  dlg_.FormClick();
  const std::string before = ExportAll(store_);
  const Lines log = view_.log;
  dlg_.btnDeleteClick();
  EXPECT_EQ(before, ExportAll(store_));
  EXPECT_EQ(log, view_.log);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(0, view_.processed);
  EXPECT_TRUE(FilesBelow(temp_).empty());
  EXPECT_FALSE(view_.deleteEnabled);
}

TEST_F(LoeschenTest, SecondLoeschenWithoutAuslesenDoesNothing) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  dlg_.btnDeleteClick();
  const std::string after = ExportAll(store_);
  const std::string logFile = ReadWholeFile(File("Kaputt", ".log"));
  const Lines log = view_.log;
  dlg_.btnDeleteClick();
  EXPECT_EQ(after, ExportAll(store_));
  EXPECT_EQ(log, view_.log);
  EXPECT_EQ(logFile, ReadWholeFile(File("Kaputt", ".log")));
  EXPECT_EQ(1, view_.processed);
}

// After a change of selection "Löschen" still works on the profile last read, and
// saves the log under that profile's name.
TEST_F(LoeschenTest, LoeschenAfterASelectionChangeRepairsTheProfileLastRead) {
  Load("healthy.reg");
  Load("new.reg");
  Start(kOfficeTree, u"Outlook");
  dlg_.btnStartClick();
  view_.SelectProfile(0);
  dlg_.cbProfilesChange();
  dlg_.btnDeleteClick();
  EXPECT_TRUE(fs::exists(File("Outlook", ".log")));
  EXPECT_FALSE(fs::exists(File("Neu", ".log")));
  EXPECT_EQ(Windows1252Lines(test::ReadProfileLog("healthy.repair.txt")),
            ReadWholeFile(File("Outlook", ".log")));
}

// The registry took the repair at once (the live registry does); its log file cannot
// be written then. The box says what happened: the repair is saved, the backup holds
// the state before it, only the log file is missing.
TEST_F(LoeschenTest, ALogThatCannotBeWrittenAfterTheRepairSaysTheRepairIsSaved) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  const std::string before = ExportTree(store_, dlg_.Analysis.ProfileTree);
  // A folder where the log file would be.
  fs::create_directories(File("Kaputt", ".log"));
  EXPECT_FALSE(dlg_.Repair());
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  const std::u16string expected = u"Die Reparatur ist in der Registry gespeichert, und „" +
                                  FromUtf8(File("Kaputt", ".reg").string()) +
                                  u"“ hält den Stand davor. Nur die Protokolldatei „" +
                                  FromUtf8(File("Kaputt", ".log").string()) +
                                  u"“ kann nicht geschrieben werden: ";
  EXPECT_EQ(expected, view_.messages[0].text.substr(0, expected.size()));
  EXPECT_GT(view_.messages[0].text.size(), expected.size()) << "the system's reason";
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_FALSE(KeyExists(dlg_.Analysis.ProfileTree + u"\\e0000000000000000000000000000001"));
  EXPECT_EQ(before, ReadWholeFile(File("Kaputt", ".reg")));
  EXPECT_TRUE(fs::is_directory(File("Kaputt", ".log")));
  EXPECT_EQ((std::vector<std::string>{"Kaputt-original.reg", "Kaputt.reg"}), FilesBelow(Backup()))
      << "no log left beside its place";
}

// --- Profiles whose file names would meet ---------------------------------------------

// "Outlook-original.reg" is the first backup of "Outlook" and nothing else: the profile
// "Outlook-original" keeps its files under a name of its own, and "Outlook" can be
// restored from its first backup after both were repaired.
TEST_F(LoeschenTest, ProfilesWhoseFileNamesWouldMeetKeepTheirOwnBackups) {
  const std::u16string tree(kOfficeTree);
  for (const auto* name : {u"Outlook", u"Outlook-original"}) {
    Put(tree + u"\\" + name + u"\\0a0d020000000000c000000000000046", u"Marke",
        registry::store::REG_SZ, test::Utf16Bytes(name));
    // An unused section, which the repair deletes.
    MakeKey(tree + u"\\" + name + u"\\e0000000000000000000000000000001");
  }
  const std::string outlook = ExportTree(store_, tree + u"\\Outlook");
  const std::string other = ExportTree(store_, tree + u"\\Outlook-original");
  Start(kOfficeTree, u"Outlook");
  for (const auto* name : {u"Outlook", u"Outlook-original"}) {
    ASSERT_TRUE(dlg_.SelectProfile(name));
    ASSERT_TRUE(dlg_.Analyse());
    ASSERT_TRUE(dlg_.Repair()) << ToUtf8(view_.messages.at(0).text);
  }
  EXPECT_EQ((std::vector<std::string>{"Outlook-original.reg", "Outlook-original~-original.reg",
                                      "Outlook-original~.log", "Outlook-original~.reg",
                                      "Outlook.log", "Outlook.reg"}),
            FilesBelow(Backup()));
  EXPECT_EQ(outlook, ReadWholeFile(File("Outlook", "-original.reg")));
  EXPECT_EQ(other, ReadWholeFile(File("Outlook-original~", "-original.reg")));

  ASSERT_TRUE(dlg_.SelectProfile(u"Outlook"));
  EXPECT_TRUE(dlg_.Restore(u"")) << ToUtf8(view_.messages.back().text);
  EXPECT_EQ(outlook, ExportTree(store_, tree + u"\\Outlook"));
}

// A first backup that an earlier version wrote for another profile under this one's
// name is neither replaced nor taken as this profile's: the backup fails and says so.
TEST_F(LoeschenTest, AFirstBackupOfAnotherProfileIsNeitherReplacedNorTaken) {
  const std::u16string tree(kOfficeTree);
  Put(tree + u"\\Outlook\\e0000000000000000000000000000001", u"Marke", registry::store::REG_SZ,
      test::Utf16Bytes(u"x"));
  fs::create_directories(Backup());
  const std::string others =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + ToUtf8(tree) + "\\Outlook-original]\r\n\r\n";
  std::ofstream(File("Outlook", "-original.reg"), std::ios::binary) << others;
  Start(kOfficeTree, u"Outlook");
  dlg_.btnStartClick();
  const std::string before = ExportAll(store_);
  dlg_.btnDeleteClick();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(kBackupFailed, view_.messages[0].text);
  EXPECT_EQ(before, ExportAll(store_));
  EXPECT_EQ(TMainState::Analysed, dlg_.State());
  ASSERT_EQ(1u, view_.backupReasons.size());
  EXPECT_EQ(u"Die Datei „" + FromUtf8(File("Outlook", "-original.reg").string()) +
                u"“ hält das Profil „Outlook-original“, nicht „Outlook“; sie wird nicht "
                u"ersetzt. Bitte sie an einen anderen Ort legen.",
            view_.backupReasons[0]);
  EXPECT_EQ(others, ReadWholeFile(File("Outlook", "-original.reg")));
  EXPECT_FALSE(fs::exists(File("Outlook", ".reg")));
}

TEST_F(LoeschenTest, RefusedFlushLeavesTheLogUnsaved) {
  Load("damaged.reg");
  Start(kMessagingTree, u"Kaputt");
  dlg_.btnStartClick();
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"", MemoryStore::Operation::Flush, 5));
  dlg_.btnDeleteClick();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_EQ(0u, view_.messages[0].text.find(
                    u"Die Änderungen an der Registry konnten nicht gespeichert werden: "));
  EXPECT_FALSE(fs::exists(File("Kaputt", ".log")));
  EXPECT_FALSE(view_.deleteEnabled);
}

}  // namespace
}  // namespace brindel::app
