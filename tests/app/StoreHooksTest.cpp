// How "Löschen" and "Wiederherstellen" hand their changes to a store that keeps them
// until they are written (offline hives): written at the end, forgotten when the
// action fails half-way, refused at once when the registry opened read-only.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/MainDlg.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "regfile/RegText.h"
#include "support/StoreFixture.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;
using registry::store::HKEY_CURRENT_USER;
using registry::store::MemoryStore;

// A session that counts what the flow asks of it and fails its flush on demand.
class CountingSession : public TStoreSession {
 public:
  std::u16string Flush() override {
    ++flushes;
    return flushFailure;
  }
  std::u16string Commit() override { return {}; }
  void Discard() override { ++discards; }
  bool CanDiscard() const override { return true; }

  int flushes = 0;
  int discards = 0;
  std::u16string flushFailure;
};

class StoreHooksTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    regfile::LoadRegTextFile(
        platform::FromUtf8(std::string(BRINDEL_FIXTURES) + "/profiles/damaged.reg"), store_);
    docs_ = fs::temp_directory_path() /
            ("brindel-hooks-" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(docs_);
    fs::create_directories(docs_);
    dlg_.cOutlookVersion = u"";  // the fixture keeps its profile in the Messaging tree
    dlg_.cStoreSession = &session_;
  }
  void TearDown() override { fs::remove_all(docs_); }
  // Start-up and "Auslesen" of the only profile of the fixture.
  void Analyse() {
    dlg_.FormCreate(platform::FromUtf8(docs_.string()));
    dlg_.FormShow();
    view_.RunPosted();
    ASSERT_EQ(1u, view_.items.size());
    dlg_.btnStartClick();
    ASSERT_EQ(TMainState::Analysed, dlg_.State());
  }
  bool LogSaved() const {
    for (const auto& entry : fs::recursive_directory_iterator(docs_)) {
      if (entry.path().extension() == ".log")
        return true;
    }
    return false;
  }

  CountingSession session_;
  test::FakeMainView view_;
  TMainDlg dlg_{view_};
  fs::path docs_;
};

TEST_F(StoreHooksTest, ChangesAreWrittenOnceAtTheEnd) {
  Analyse();
  dlg_.btnDeleteClick();
  EXPECT_EQ(TMainState::Repaired, dlg_.State());
  EXPECT_EQ(1, session_.flushes);
  EXPECT_EQ(0, session_.discards);
  EXPECT_TRUE(LogSaved());
}

TEST_F(StoreHooksTest, AFailedWriteForgetsTheRepairAndSavesNoLog) {
  session_.flushFailure = u"Die Hive-Datei 'NTUSER.DAT' kann nicht geschrieben werden.";
  Analyse();
  dlg_.btnDeleteClick();
  EXPECT_EQ(1, session_.discards);
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(
      u"Die Änderungen an der Registry konnten nicht gespeichert werden: Die Hive-Datei "
      u"'NTUSER.DAT' kann nicht geschrieben werden.",
      view_.messages[0].text);
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_FALSE(LogSaved());
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_TRUE(view_.startEnabled);
}

TEST_F(StoreHooksTest, ARepairEndedByTheRegistryIsForgottenToo) {
  Analyse();
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER,
                                 u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows "
                                 u"Messaging Subsystem\\Profiles\\Kaputt\\"
                                 u"9207f3e0a3b11019908b08002b2a56c2",
                                 MemoryStore::Operation::SetValue,
                                 registry::store::ERROR_ACCESS_DENIED));
  dlg_.btnDeleteClick();
  EXPECT_EQ(0, session_.flushes);
  EXPECT_EQ(1, session_.discards);
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(0u, view_.messages[0].text.find(u"Fehler beim Setzen der Daten für '"));
}

// The log is written beside its place before the registry takes the repair: with no
// room for it, the repair is forgotten, and nothing says it was done.
TEST_F(StoreHooksTest, ALogThatCannotBeWrittenForgetsTheRepair) {
  Analyse();
  const std::u16string log = profile::LogFileName(dlg_.cBackupFolder, dlg_.TavixFiles->ProfilName);
  // A folder where the log is written before it takes its place.
  fs::create_directories(platform::TemporaryFileOf(platform::ToUtf8(log)));
  EXPECT_FALSE(dlg_.Repair());
  EXPECT_EQ(0, session_.flushes) << "the registry took the repair";
  EXPECT_EQ(1, session_.discards);
  ASSERT_EQ(1u, view_.messages.size());
  const std::u16string& text = view_.messages[0].text;
  EXPECT_EQ(0u, text.find(u"Die Protokolldatei „" + log + u"“ kann nicht geschrieben werden: "))
      << platform::ToUtf8(text);
  EXPECT_TRUE(
      text.ends_with(u" Die Reparatur wurde deshalb verworfen; die Registry ist unverändert."));
  EXPECT_NE(TMainState::Repaired, dlg_.State());
  EXPECT_FALSE(LogSaved());
}

TEST_F(StoreHooksTest, ReadOnlyRegistryRefusesLoeschenBeforeTheBackup) {
  dlg_.cReadOnlyReason =
      u"Die Hive-Datei ist nur zum Lesen geöffnet. Reparieren ist deshalb nicht "
      u"möglich, nur Auslesen.";
  Analyse();
  dlg_.btnDeleteClick();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(dlg_.cReadOnlyReason, view_.messages[0].text);
  EXPECT_EQ(TMainState::Analysed, dlg_.State());
  EXPECT_FALSE(fs::exists(docs_ / "Brindel")) << "no backup, no change";
  EXPECT_EQ(0, session_.flushes);
}

TEST_F(StoreHooksTest, TheRefusalBoxStillBelongsToLoeschen) {
  dlg_.cReadOnlyReason = u"Die Hive-Datei ist nur zum Lesen geöffnet.";
  Analyse();
  bool busyDuringBox = false;
  view_.onShowMessage = [&] { busyDuringBox = dlg_.Busy(); };
  EXPECT_FALSE(dlg_.Repair());
  EXPECT_TRUE(busyDuringBox);
  EXPECT_FALSE(dlg_.Busy());
}

// A restore the registry does not take when it is written is forgotten, and reported
// as failed: no "wiederhergestellt", the reason in the error box.
TEST_F(StoreHooksTest, ARestoreThatCannotBeWrittenIsForgotten) {
  Analyse();
  dlg_.btnDeleteClick();
  ASSERT_EQ(TMainState::Repaired, dlg_.State());
  session_.flushFailure = u"Die Hive-Datei 'NTUSER.DAT' kann nicht geschrieben werden.";
  view_.messages.clear();
  view_.proven.clear();
  EXPECT_FALSE(dlg_.Restore(u""));
  EXPECT_EQ(2, session_.flushes);
  EXPECT_EQ(1, session_.discards);
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_EQ(u"Die Wiederherstellung aus „" + dlg_.LastRestoreFile +
                u"“ schlug fehl: Die Hive-Datei 'NTUSER.DAT' kann nicht geschrieben werden. "
                u"Es wurde nichts geändert.",
            view_.messages[0].text);
  EXPECT_FALSE(dlg_.LastRestore.Restored);
  EXPECT_EQ(u"Nicht wiederhergestellt.", view_.log.back());
  EXPECT_TRUE(view_.proven.empty());
}

TEST_F(StoreHooksTest, ReadOnlyRegistryRefusesTheRestoreBeforeAnyFile) {
  dlg_.cReadOnlyReason = u"Die Hive-Datei ist nur zum Lesen geöffnet.";
  Analyse();
  EXPECT_FALSE(dlg_.Restore(u""));
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(dlg_.cReadOnlyReason, view_.messages[0].text);
  EXPECT_EQ(u"", dlg_.LastRestoreFile);
  EXPECT_FALSE(fs::exists(docs_ / "Brindel")) << "not even the state before was saved";
  EXPECT_EQ(0, session_.flushes);
}

}  // namespace
}  // namespace brindel::app
