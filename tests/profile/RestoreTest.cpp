// A true restore: the profile put back exactly as a backup holds it, the state before
// saved and proven first, and a file that belongs elsewhere refused.

#include "profile/Restore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "profile/ProfileAnalysis.h"
#include "profile/Repair.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "support/RecordingLog.h"
#include "support/SameLog.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

namespace fs = std::filesystem;
using namespace registry::store;

constexpr std::u16string_view kProfiles =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
const std::u16string kTree = std::u16string(kProfiles) + u"\\Kaputt";

class RestoreTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    folder_ = platform::FromUtf8(*platform::MakeTemporaryFolder("brindel-restore-")) +
              platform::kPathDelimiter;
    regfile::LoadRegTextFile(platform::FromUtf8(test::ProfileFixture("damaged.reg")), store_);
  }
  void TearDown() override { fs::remove_all(fs::path(folder_)); }

  // The profile as .reg text, as the backup writes it.
  std::string Export() {
    regfile::TExRegistry registry(KEY_READ);
    EXPECT_TRUE(registry.Open(kTree, false));
    std::unique_ptr<regfile::TMemoryStream> stream;
    EXPECT_TRUE(registry.ExportKey(u"", true, stream));
    return stream ? std::string(stream->Bytes()) : std::string();
  }
  // "Löschen": the backup, then the repair.
  void Repair() {
    test::TRecordingLog log;
    TProfileAnalysis analysis(log);
    analysis.Analyse(kProfiles, u"Kaputt");
    ASSERT_TRUE(CreateBackup(kTree, u"Kaputt", folder_, nullptr));
    RepairProfile(analysis);
  }
  std::u16string File(std::u16string_view tail) const {
    return folder_ + u"Kaputt" + std::u16string(tail);
  }
  void WriteText(const std::u16string& file, const std::string& text) {
    std::ofstream(fs::path(file), std::ios::binary) << text;
  }
  TRestoreResult Restore(const std::u16string& file,
                         const std::function<bool()>& discard = nullptr) {
    return RestoreProfile(kTree, u"Kaputt", folder_, file, store_, discard);
  }

  std::u16string folder_;
};

TEST_F(RestoreTest, ARepairedProfileComesBackExactlyAndWhatCameSinceGoes) {
  const std::string before = Export();
  Repair();
  MakeKey(kTree + u"\\neu00000000000000000000000000000");
  const std::string repaired = Export();
  ASSERT_NE(before, repaired);

  const TRestoreResult result = Restore(File(u"-original.reg"));
  EXPECT_TRUE(result.Restored) << platform::ToUtf8(result.Message);
  EXPECT_EQ(u"", result.Message);
  EXPECT_EQ(before, Export()) << "export before the repair = export after the restore";
  EXPECT_TRUE(result.RestoredProof.Proven);
  // The state before the restore is saved, proven, and holds the repaired profile.
  EXPECT_EQ(File(u"-vor-Wiederherstellung.reg"), result.SavedFile);
  EXPECT_TRUE(result.SavedProof.Proven);
  std::ifstream saved(fs::path(result.SavedFile), std::ios::binary);
  EXPECT_EQ(repaired, std::string(std::istreambuf_iterator<char>(saved), {}));
}

TEST_F(RestoreTest, AFileThatDoesNotBelongToTheProfileIsRefusedAndNothingChanges) {
  const std::string before = Export();
  const std::string header =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + platform::ToUtf8(kTree) + "]\r\n\r\n";
  struct Case {
    const char* name;
    std::string text;
    std::u16string message;
  };
  const Case cases[] = {
      {"key_outside", header + "[HKEY_CURRENT_USER\\Software\\Anderes]\r\n\"x\"=\"y\"\r\n",
       u"enthält den Schlüssel „Software\\Anderes“, der nicht zum Profil gehört"},
      {"other_root", header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n", u"„SOFTWARE“"},
      {"value_above_the_tree",
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\"x\"=\"y\"\r\n\r\n" + header.substr(12),
       u"„Software“, der nicht zum Profil gehört"},
      {"another_profile",
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + platform::ToUtf8(kProfiles) + "\\Anders]\r\n",
       u"Anders“, der nicht zum Profil gehört"},
      {"not_a_reg_file", "kein REGEDIT4\r\n", u"lässt sich nicht einlesen"},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    WriteText(File(u"-fremd.reg"), row.text);
    const TRestoreResult result = Restore(File(u"-fremd.reg"));
    EXPECT_FALSE(result.Restored);
    EXPECT_NE(std::u16string::npos, result.Message.find(row.message))
        << platform::ToUtf8(result.Message);
    EXPECT_EQ(u"", result.SavedFile) << "nothing saved before the file was checked";
    EXPECT_EQ(before, Export());
  }
}

// A file that is not there is named once, in the words of the reader that missed it.
TEST_F(RestoreTest, AMissingFileIsNamedOnce) {
  const std::u16string missing = File(u"-fehlt.reg");
  const TRestoreResult result = Restore(missing);
  EXPECT_FALSE(result.Restored);
  EXPECT_EQ(u"Die Datei „" + missing + u"“ wurde nicht gefunden.", result.Message);
  EXPECT_EQ(u"", result.SavedFile);
}

// The saved state is what undoes a restore; restoring from it must not replace it
// with the current state before it is read.
TEST_F(RestoreTest, RestoringTheSavedStateUndoesTheRestore) {
  const std::string before = Export();
  Repair();
  const std::string repaired = Export();
  ASSERT_TRUE(Restore(File(u"-original.reg")).Restored);
  ASSERT_EQ(before, Export());

  const TRestoreResult undone = Restore(File(u"-vor-Wiederherstellung.reg"));
  EXPECT_TRUE(undone.Restored) << platform::ToUtf8(undone.Message);
  EXPECT_EQ(repaired, Export()) << "the profile as the saved state held it";
  EXPECT_TRUE(undone.RestoredProof.Proven);
  // The file now holds the state this restore replaced, so a second undo goes back.
  EXPECT_EQ(File(u"-vor-Wiederherstellung.reg"), undone.SavedFile);
  EXPECT_TRUE(undone.SavedProof.Proven);
  std::ifstream saved(fs::path(undone.SavedFile), std::ios::binary);
  EXPECT_EQ(before, std::string(std::istreambuf_iterator<char>(saved), {}));
}

// A file from elsewhere may come before any repair made the backup folder: the folder
// itself is made for the saved state, as the backup makes it; a missing parent is not.
TEST_F(RestoreTest, AFileFromElsewhereIsRestoredBeforeAnyBackupFolderExists) {
  const std::string before = Export();
  const std::u16string file = folder_ + u"mitgebracht.reg";
  WriteText(file, before);
  MakeKey(kTree + u"\neu00000000000000000000000000000");
  const std::u16string backups = folder_ + u"Brindel" + platform::kPathDelimiter;
  const TRestoreResult result = RestoreProfile(kTree, u"Kaputt", backups, file, store_, nullptr);
  EXPECT_TRUE(result.Restored) << platform::ToUtf8(result.Message);
  EXPECT_EQ(before, Export());
  EXPECT_EQ(backups + u"Kaputt-vor-Wiederherstellung.reg", result.SavedFile);
  EXPECT_TRUE(result.SavedProof.Proven);

  const std::u16string nowhere =
      folder_ + u"fehlt" + platform::kPathDelimiter + u"Brindel" + platform::kPathDelimiter;
  const TRestoreResult refused = RestoreProfile(kTree, u"Kaputt", nowhere, file, store_, nullptr);
  EXPECT_FALSE(refused.Restored);
  EXPECT_EQ(0u, refused.Message.find(u"Der Sicherungsordner „" + nowhere +
                                     u"“ kann nicht angelegt werden: "))
      << platform::ToUtf8(refused.Message);
  EXPECT_NE(std::u16string::npos, refused.Message.find(u" Es wurde nichts geändert."));
  EXPECT_FALSE(fs::exists(fs::path(nowhere)));
}

TEST_F(RestoreTest, AFailureHalfWayPutsTheSavedStateBack) {
  Repair();
  const std::string repaired = Export();
  // Creating the profile's key fails once, after its tree was deleted; the store cannot
  // forget, so the saved state is imported back.
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, kProfiles, MemoryStore::Operation::Create,
                                 ERROR_ACCESS_DENIED));
  const TRestoreResult result = Restore(File(u"-original.reg"), [this] {
    store_.InjectFault(HKEY_CURRENT_USER, kProfiles, MemoryStore::Operation::Create, 0);
    return false;
  });
  EXPECT_FALSE(result.Restored);
  EXPECT_TRUE(result.SavedStateImported);
  EXPECT_EQ(0u, result.Message.find(u"Die Wiederherstellung aus „"))
      << platform::ToUtf8(result.Message);
  EXPECT_NE(std::u16string::npos, result.Message.find(u"Der vorige Stand wurde aus „"));
  EXPECT_EQ(repaired, Export()) << "the profile as it was before the restore";
}

TEST_F(RestoreTest, AStoreThatCanForgetIsAskedFirst) {
  Repair();
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, kProfiles, MemoryStore::Operation::Create,
                                 ERROR_ACCESS_DENIED));
  bool asked = false;
  const TRestoreResult result = Restore(File(u"-original.reg"), [&] {
    asked = true;
    return true;
  });
  EXPECT_TRUE(asked);
  EXPECT_FALSE(result.SavedStateImported);
  EXPECT_NE(std::u16string::npos, result.Message.find(u" Es wurde nichts geändert."));
}

}  // namespace
}  // namespace brindel::profile
