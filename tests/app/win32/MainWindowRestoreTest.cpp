// "Wiederherstellen…" in the Win32 window: the button beside the other two, the dialog
// with the profile's backups, "Andere Datei…", the question before the restore, and
// the restore through the flow with its report and its box. Driven by window messages
// and keys through the dialogs' own loops, as a user at the keyboard would.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/MapLook.h"
#include "app/RestoreChoice.h"
#include "regfile/ExRegistry.h"
#include "tests/app/win32/WindowTestSupport.h"

#include <windows.h>

namespace brindel::test {
namespace {

using Lines = std::vector<std::u16string>;

const std::u16string kOrphan = kMessagingTree + u"\\Kaputt\\e0000000000000000000000000000001";

// The damaged profile read and repaired: its two backups are in the backup folder,
// and the orphan section is gone.
void Repaired(TWindowRun& run) {
  run.Load("damaged.reg");
  run.Start(u"14");
  Click(run.StartButton());
  Click(run.DeleteButton());
  ASSERT_TRUE(run.user.boxes.empty());
  ASSERT_FALSE(run.KeyExists(kOrphan));
}

// The row a backup file gets in the dialog.
std::u16string Row(const std::u16string& file, std::u16string_view role) {
  return app::FileNameOnly(file) + u" | " + std::u16string(role) + u" | " +
         app::WrittenText(*app::FileWritten(file)) + u" | " +
         app::SizeText(std::filesystem::file_size(std::filesystem::path(file)));
}

// A profile's tree as a .reg file, as its backup would hold it.
std::u16string Exported(const std::u16string& tree, const std::u16string& file) {
  regfile::TExRegistry reg;
  if (!reg.OpenReadOnly(tree))
    return {};
  std::unique_ptr<regfile::TMemoryStream> stream;
  if (!reg.ExportKey(u"", true, stream) || !stream)
    return {};
  std::ofstream(std::filesystem::path(file), std::ios::binary) << stream->Bytes();
  return file;
}

TEST(MainWindowRestoreTest, TheButtonWaitsForAProfile) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  EXPECT_EQ(u"&Wiederherstellen…", Text(run.RestoreButton()));
  EXPECT_EQ(u'W', AccessKey(Text(run.RestoreButton())));
  EXPECT_FALSE(Enabled(run.RestoreButton()));
  // Alt+W does nothing while no profile is chosen.
  run.Press('W', true);
  EXPECT_TRUE(run.user.restoreDialogs.empty());
  run.Choose(1);
  EXPECT_TRUE(Enabled(run.RestoreButton()));
  // The access key opens the dialog of the profile chosen.
  run.Press('W', true);
  ASSERT_EQ(1u, run.user.restoreDialogs.size());
  EXPECT_EQ(u"Sicherungen des Profils „Outlook“ in „" + run.BackupFolder() + u"“:",
            run.user.restoreDialogs[0].heading);
  EXPECT_TRUE(run.user.boxes.empty());
}

TEST(MainWindowRestoreTest, TheDialogListsTheBackupsAndCancelChangesNothing) {
  TWindowRun run;
  Repaired(run);
  const Lines log = run.ShownLog();
  Click(run.RestoreButton());
  ASSERT_EQ(1u, run.user.restoreDialogs.size());
  const TShownRestoreDlg& shown = run.user.restoreDialogs[0];
  EXPECT_EQ(u"Profil wiederherstellen", shown.caption);
  EXPECT_EQ(
      (Lines{Row(run.BackupFolder() + u"Kaputt-original.reg", u"Stand vor der ersten Reparatur"),
             Row(run.BackupFolder() + u"Kaputt.reg", u"Stand vor der letzten Reparatur")}),
      shown.rows);
  EXPECT_EQ(0, shown.selected);
  EXPECT_TRUE(shown.listEnabled);
  EXPECT_TRUE(shown.restoreEnabled);
  EXPECT_EQ(app::win32::kLvBackups, shown.focus);
  EXPECT_EQ(app::win32::kBtnRestoreFile, shown.defaultButton);
  EXPECT_TRUE(shown.ownerDisabled);
  EXPECT_TRUE(shown.centred);
  // "Abbrechen": nothing happened, and the window takes input again.
  EXPECT_TRUE(run.user.boxes.empty());
  EXPECT_EQ(log, run.ShownLog());
  EXPECT_FALSE(run.KeyExists(kOrphan));
  EXPECT_TRUE(Enabled(run.Handle()));
}

TEST(MainWindowRestoreTest, EnterRestoresTheBackupAfterTheQuestion) {
  TWindowRun run;
  Repaired(run);
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::EnterOnRow, 0}};
  SetFocus(run.RestoreButton());
  run.Press(VK_SPACE);
  const std::u16string original = run.BackupFolder() + u"Kaputt-original.reg";
  const std::u16string saved = run.BackupFolder() + u"Kaputt-vor-Wiederherstellung.reg";
  ASSERT_EQ(2u, run.user.boxes.size());
  // The question names the profile, the file and its date, and where the state goes.
  const TShownBox& question = run.user.boxes[0];
  EXPECT_EQ(u"Profil wiederherstellen", question.title);
  EXPECT_EQ(TBoxIcon::Question, question.icon);
  EXPECT_EQ(app::RestoreQuestion(u"Kaputt", original, app::FileWritten(original), saved),
            question.text);
  EXPECT_EQ((Lines{u"&Wiederherstellen", u"Abbrechen"}), question.buttons);
  EXPECT_TRUE(question.ownerShownAndDisabled) << "the dialog waits for its question";
  // The flow restored the profile, wrote its report and showed the result.
  EXPECT_TRUE(run.KeyExists(kOrphan));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(saved)));
  const TShownBox& result = run.user.boxes[1];
  EXPECT_EQ(TBoxIcon::Information, result.icon);
  EXPECT_EQ(u"Profil „Kaputt“ aus „" + original +
                u"“ wiederhergestellt; der vorige Stand liegt in „" + saved + u"“.",
            result.text);
  const Lines log = run.ShownLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(u"Wiederherstellen des Profils \"Kaputt\"", log[1]);
  // The map of the profile as it was read no longer holds.
  const std::vector<TTreeItem> items = TreeItems(run.Map());
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ(app::kNoMapNote, items[0].text);
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(Enabled(run.RestoreButton()));
  EXPECT_EQ(run.RestoreButton(), Focus());
}

TEST(MainWindowRestoreTest, NoToTheQuestionLeavesTheDialogOpen) {
  TWindowRun run;
  Repaired(run);
  const Lines log = run.ShownLog();
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::EnterOnRow, 1},
                             {TRestoreAnswer::Kind::Escape, 0}};
  run.user.confirmations = {false};
  Click(run.RestoreButton());
  // Asked once about the second backup, answered no, and back in the dialog, which
  // Escape then closes.
  ASSERT_EQ(1u, run.user.boxes.size());
  EXPECT_NE(std::u16string::npos, run.user.boxes[0].text.find(u"Kaputt.reg“ vom "));
  ASSERT_EQ(2u, run.user.restoreDialogs.size());
  EXPECT_EQ(1, run.user.restoreDialogs[1].selected);
  EXPECT_FALSE(run.KeyExists(kOrphan));
  EXPECT_EQ(log, run.ShownLog());
  EXPECT_FALSE(run.BackupFileExists(u"Kaputt-vor-Wiederherstellung.reg"));
}

TEST(MainWindowRestoreTest, WithoutBackupsOnlyAnotherFileOrCancel) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  const std::u16string tree = kOfficeTree + u"\\Outlook";
  const std::u16string file = Exported(tree, run.Documents() + u"\\mitgebracht.reg");
  ASSERT_FALSE(file.empty());
  // What came since the file was made goes again.
  const std::u16string extra = tree + u"\\neu00000000000000000000000000000";
  run.PutText(extra, u"x", u"y");
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::OtherFile, 0}};
  run.Window().chosenFile = file;
  Click(run.RestoreButton());
  ASSERT_EQ(1u, run.user.restoreDialogs.size());
  const TShownRestoreDlg& shown = run.user.restoreDialogs[0];
  EXPECT_EQ(Lines{app::kNoBackups}, shown.rows);
  EXPECT_FALSE(shown.listEnabled);
  EXPECT_FALSE(shown.restoreEnabled);
  EXPECT_TRUE(shown.otherFileEnabled);
  EXPECT_EQ(app::win32::kBtnOtherFile, shown.focus);
  EXPECT_EQ(app::win32::kBtnOtherFile, shown.defaultButton);
  EXPECT_EQ(Lines{run.BackupFolder()}, run.Window().chooserFolders);
  // Asked, restored, and the result shown.
  ASSERT_EQ(2u, run.user.boxes.size());
  EXPECT_EQ(
      0u, run.user.boxes[0].text.find(
              u"Das Profil „Outlook“ so wiederherstellen, wie es die Datei „" + file + u"“ vom "));
  EXPECT_EQ(TBoxIcon::Information, run.user.boxes[1].icon);
  EXPECT_FALSE(run.KeyExists(extra));
  EXPECT_TRUE(run.BackupFileExists(u"Outlook-vor-Wiederherstellung.reg"));
}

TEST(MainWindowRestoreTest, ACancelledChooserLeavesTheDialogOpen) {
  TWindowRun run;
  Repaired(run);
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::OtherFile, 0}};
  Click(run.RestoreButton());
  // The chooser was asked in the backup folder and cancelled; the dialog stayed until
  // its "Abbrechen".
  EXPECT_EQ(Lines{run.BackupFolder()}, run.Window().chooserFolders);
  EXPECT_EQ(2u, run.user.restoreDialogs.size());
  EXPECT_TRUE(run.user.boxes.empty());
  EXPECT_FALSE(run.KeyExists(kOrphan));
}

TEST(MainWindowRestoreTest, AFileOfAnotherProfileIsRefusedInABox) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  run.Choose(0);
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::OtherFile, 0}};
  run.Window().chosenFile =
      Exported(kOfficeTree + u"\\Outlook", run.Documents() + u"\\outlook.reg");
  Click(run.RestoreButton());
  ASSERT_EQ(2u, run.user.boxes.size());
  const TShownBox& reason = run.user.boxes[1];
  EXPECT_EQ(TBoxIcon::Error, reason.icon);
  EXPECT_NE(std::u16string::npos, reason.text.find(u"der nicht zum Profil gehört"))
      << platform::ToUtf8(reason.text);
  ASSERT_FALSE(run.ShownLog().empty());
  EXPECT_EQ(u"Nicht wiederhergestellt.", run.ShownLog().back());
}

}  // namespace
}  // namespace brindel::test
