// "Wiederherstellen" through the flow object: the selected profile put back as a
// backup holds it, with the guard, the locked box, the log and the boxes of
// "Löschen", and the backups a window offers for it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "app/RegistrySource.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "registry/RegAccess.h"
#include "support/Files.h"
#include "support/StoreFixture.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;
using platform::FromUtf8;
using platform::ToUtf8;
using Lines = std::vector<std::u16string>;

constexpr std::u16string_view kTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";

// The demo's two profiles, in a documents folder of the test's own.
class RestoreFlowTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    const std::string_view demo = DemoRegistryText();
    regfile::LoadRegText(std::span(reinterpret_cast<const std::uint8_t*>(demo.data()), demo.size()),
                         store_);
    temp_ = fs::path(FromUtf8(*platform::MakeTemporaryFolder("brindel-restore-flow-")));
    dlg_.cOutlookVersion = u"16";
    dlg_.FormCreate(FromUtf8(temp_.string()));
    dlg_.FormShow();
    view_.RunPosted();
  }
  void TearDown() override { fs::remove_all(temp_); }

  // The profile's tree as the backup writes it.
  std::string Export(std::u16string_view profile) {
    regfile::TExRegistry reg(registry::store::KEY_READ);
    if (!reg.Open(std::u16string(kTree) + u"\\" + std::u16string(profile), false))
      return {};
    std::unique_ptr<regfile::TMemoryStream> stream;
    EXPECT_TRUE(reg.ExportKey(u"", true, stream));
    return stream ? std::string(stream->Bytes()) : std::string();
  }
  void Repair(std::u16string_view profile) {
    ASSERT_TRUE(dlg_.SelectProfile(profile));
    ASSERT_TRUE(dlg_.Analyse());
    ASSERT_TRUE(dlg_.Repair());
    view_.messages.clear();
    view_.proven.clear();
  }
  std::u16string File(std::u16string_view name) const {
    return dlg_.cBackupFolder + std::u16string(name);
  }

  fs::path temp_;
  test::FakeMainView view_;
  TMainDlg dlg_{view_};
};

TEST_F(RestoreFlowTest, TheSelectedProfileComesBackAsItsFirstBackupHoldsIt) {
  const std::string before = Export(u"Büro");
  Repair(u"Büro");
  const std::string repaired = Export(u"Büro");
  ASSERT_NE(before, repaired);

  EXPECT_TRUE(dlg_.Restore(u""));
  EXPECT_EQ(before, Export(u"Büro"));
  EXPECT_TRUE(dlg_.LastRestore.Restored);
  EXPECT_EQ(File(u"Büro-original.reg"), dlg_.LastRestoreFile);
  EXPECT_EQ(repaired, test::ReadWholeFile(fs::path(File(u"Büro-vor-Wiederherstellung.reg"))));
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(TMsgDlgType::mtInformation, view_.messages[0].kind);
  EXPECT_EQ(u"Profil „Büro“ aus „" + File(u"Büro-original.reg") +
                u"“ wiederhergestellt; der vorige Stand liegt in „" +
                File(u"Büro-vor-Wiederherstellung.reg") + u"“.",
            view_.messages[0].text);
  EXPECT_EQ(Lines{u"Sicherung geprüft: 24 Schlüssel, 52 Werte"}, view_.proven);
  EXPECT_EQ((Lines{std::u16string(41, u'*'), u"Wiederherstellen des Profils \"Büro\"",
                   std::u16string(41, u'*'), u"aus „" + File(u"Büro-original.reg") + u"“",
                   u"Der vorige Stand ist gesichert in „" +
                       File(u"Büro-vor-Wiederherstellung.reg") + u"“ (16 Schlüssel, 38 Werte).",
                   u"Wiederhergestellt: 24 Schlüssel, 52 Werte wie in der Datei."}),
            view_.log);
  EXPECT_TRUE(view_.profilesEnabled);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_FALSE(dlg_.Busy());
}

// The box is locked, and the flow busy, while the restore runs, its boxes included.
TEST_F(RestoreFlowTest, RunsGuardedWithTheProfileBoxLocked) {
  Repair(u"Büro");
  bool locked = false;
  bool busy = false;
  bool second = true;
  view_.onShowMessage = [&] {
    locked = !view_.profilesEnabled;
    busy = dlg_.Busy();
    second = dlg_.Restore(u"");
  };
  EXPECT_TRUE(dlg_.Restore(u""));
  EXPECT_TRUE(locked);
  EXPECT_TRUE(busy);
  EXPECT_FALSE(second) << "a restore let through while the box is up does not start";
  EXPECT_EQ(1u, view_.messages.size());
  EXPECT_TRUE(view_.profilesEnabled);
}

// Restoring the profile last read ends its analysis; another profile's stays.
TEST_F(RestoreFlowTest, LoeschenWaitsForAuslesenOnlyAfterRestoringTheProfileLastRead) {
  Repair(u"Büro");
  ASSERT_TRUE(dlg_.SelectProfile(u"Outlook"));
  ASSERT_TRUE(dlg_.Analyse());
  ASSERT_TRUE(dlg_.SelectProfile(u"Büro"));
  EXPECT_TRUE(dlg_.Restore(u""));
  EXPECT_EQ(TMainState::Analysed, dlg_.State());
  EXPECT_TRUE(view_.deleteEnabled);
  EXPECT_TRUE(dlg_.Analysis.bListsCreated);

  ASSERT_TRUE(dlg_.Analyse());
  EXPECT_TRUE(dlg_.Restore(u""));
  EXPECT_EQ(TMainState::Ready, dlg_.State());
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_FALSE(dlg_.Analysis.bListsCreated);
  EXPECT_FALSE(dlg_.Repair()) << "no lists of the profile as it is now";
}

TEST_F(RestoreFlowTest, AFileOfAnotherProfileIsRefusedAndNothingChanges) {
  Repair(u"Büro");
  Repair(u"Outlook");
  const std::string outlook = Export(u"Outlook");
  ASSERT_TRUE(dlg_.SelectProfile(u"Outlook"));
  EXPECT_FALSE(dlg_.Restore(File(u"Büro.reg")));
  EXPECT_EQ(outlook, Export(u"Outlook"));
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_NE(std::u16string::npos, view_.messages[0].text.find(u"der nicht zum Profil gehört"));
  EXPECT_EQ(u"Nicht wiederhergestellt.", view_.log.back());
  EXPECT_TRUE(view_.proven.empty());
  EXPECT_TRUE(view_.profilesEnabled);
}

// A profile deleted since its backup is no longer listed; it is named instead.
TEST_F(RestoreFlowTest, AProfileThatIsNoLongerListedIsNamed) {
  const std::string before = Export(u"Büro");
  Repair(u"Büro");
  registry::TRegAccess reg;
  reg.UseRoot(registry::store::HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.DeleteKey(u"\\" + std::u16string(kTree) + u"\\Büro"));
  // The next run lists the other profile only.
  test::FakeMainView view;
  TMainDlg dlg(view);
  dlg.cOutlookVersion = u"16";
  dlg.FormCreate(FromUtf8(temp_.string()));
  dlg.FormShow();
  view.RunPosted();
  ASSERT_EQ(Lines{u"Outlook (Standard)"}, view.items);
  EXPECT_TRUE(dlg.Restore(u"", u"Büro"));
  EXPECT_EQ(before, Export(u"Büro"));
  EXPECT_EQ(u"", dlg.LastRestore.SavedFile) << "there was no state to save";
  EXPECT_EQ(0, view.selected) << "the selection stays";
}

// A registry that did not take the restore when it was written (one that cannot
// forget, as the live registry cannot) says so, and nothing counts as restored.
TEST_F(RestoreFlowTest, AWriteThatFailsIsNoRestore) {
  Repair(u"Büro");
  ASSERT_TRUE(store_.InjectFault(registry::store::HKEY_CURRENT_USER, u"",
                                 MemoryStore::Operation::Flush, 5));
  EXPECT_FALSE(dlg_.Restore(u""));
  EXPECT_FALSE(dlg_.LastRestore.Restored);
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_EQ(0u, view_.messages[0].text.find(
                    u"Die Änderungen an der Registry konnten nicht gespeichert werden: "));
  EXPECT_EQ(dlg_.LastRestore.Message, view_.messages[0].text);
  EXPECT_TRUE(view_.proven.empty());
}

TEST_F(RestoreFlowTest, NothingSelectedNothingRestored) {
  ASSERT_EQ(-1, view_.selected);
  EXPECT_FALSE(dlg_.Restore(u""));
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_TRUE(view_.log.empty());
}

// What a window offers to restore: the backups of the selected profile.
TEST_F(RestoreFlowTest, TheSelectedProfilesBackupsAreOffered) {
  EXPECT_TRUE(dlg_.SelectedProfileBackups().empty()) << "none selected";
  ASSERT_TRUE(dlg_.SelectProfile(u"Büro"));
  EXPECT_TRUE(dlg_.SelectedProfileBackups().empty()) << "none made";
  Repair(u"Büro");
  ASSERT_TRUE(dlg_.Restore(u""));
  const std::vector<profile::TBackupFile> files = dlg_.SelectedProfileBackups();
  ASSERT_EQ(3u, files.size());
  EXPECT_EQ(File(u"Büro-original.reg"), files[0].FileName);
  EXPECT_EQ(u"Stand vor der ersten Reparatur", files[0].Description);
  EXPECT_EQ(File(u"Büro.reg"), files[1].FileName);
  EXPECT_EQ(u"Stand vor der letzten Reparatur", files[1].Description);
  EXPECT_EQ(File(u"Büro-vor-Wiederherstellung.reg"), files[2].FileName);
  EXPECT_EQ(u"Stand vor der letzten Wiederherstellung", files[2].Description);
  EXPECT_EQ(fs::file_size(fs::path(files[1].FileName)), files[1].Size);
  ASSERT_TRUE(dlg_.SelectProfile(u"Outlook"));
  EXPECT_TRUE(dlg_.SelectedProfileBackups().empty());
}

}  // namespace
}  // namespace brindel::app
