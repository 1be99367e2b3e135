// "Wiederherstellen…" in the window: the button beside the other two, the dialog with
// the profile's backups, "Andere Datei…", the question before the restore, and the
// restore through the flow with its report and its box. Driven by keyboard where a
// user would use one.

#include <QApplication>
#include <QFileInfo>
#include <QTest>

#include <fstream>
#include <memory>

#include "app/MapLook.h"
#include "app/RestoreChoice.h"
#include "profile/Backup.h"
#include "regfile/ExRegistry.h"
#include "tests/app/qt/QtTests.h"
#include "tests/app/qt/WindowTestSupport.h"

namespace brindel::test {

namespace {

const std::u16string kOrphan =
    FromQString(kMessagingTree) + u"\\Kaputt\\e0000000000000000000000000000001";

bool KeyExists(registry::store::MemoryStore& store, const std::u16string& path) {
  registry::store::HKEY key = 0;
  if (store.OpenKey(registry::store::HKEY_CURRENT_USER, path, registry::store::KEY_READ, key) != 0)
    return false;
  store.CloseKey(key);
  return true;
}

// A window manager activates the window again when a box above it goes; the
// offscreen platform leaves that to the test.
bool BackFromTheBoxes(QWidget& window) {
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

// The damaged profile read and repaired: its two backups are in the backup folder,
// and the orphan section is gone.
void Repaired(TWindowRun& run) {
  run.Load("damaged.reg");
  run.Start(u"14");
  TWindowRun::Click(run.StartButton());
  TWindowRun::Click(run.DeleteButton());
  QVERIFY(run.user.boxes.empty());
  QVERIFY(!KeyExists(run.store, kOrphan));
}

// The row a backup file gets in the dialog.
QString Row(const QString& file, const QString& role) {
  const std::u16string path = FromQString(file);
  return QFileInfo(file).fileName() + QStringLiteral(" | ") + role + QStringLiteral(" | ") +
         ToQString(app::WrittenText(*app::FileWritten(path))) + QStringLiteral(" | ") +
         ToQString(app::SizeText(static_cast<std::uintmax_t>(QFileInfo(file).size())));
}

// A profile's tree as a .reg file, as its backup would hold it.
QString Exported(const std::u16string& tree, const QString& file) {
  regfile::TExRegistry reg(registry::store::KEY_READ);
  if (!reg.Open(tree, false))
    return {};
  std::unique_ptr<regfile::TMemoryStream> stream;
  if (!reg.ExportKey(u"", true, stream) || !stream)
    return {};
  std::ofstream(file.toStdString(), std::ios::binary) << stream->Bytes();
  return file;
}

}  // namespace

class MainWindowRestoreTest : public QObject {
  Q_OBJECT

 private slots:
  void TheButtonWaitsForAProfile();
  void TheDialogListsTheBackupsAndCancelChangesNothing();
  void EnterRestoresTheBackupAfterTheQuestion();
  void NoToTheQuestionLeavesTheDialogOpen();
  void WithoutBackupsOnlyAnotherFileOrCancel();
  void ACancelledChooserLeavesTheDialogOpen();
  void AFileOfAnotherProfileIsRefusedInABox();
};

void MainWindowRestoreTest::TheButtonWaitsForAProfile() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  QCOMPARE(run.RestoreButton()->text(), QStringLiteral("&Wiederherstellen…"));
  QVERIFY(!run.RestoreButton()->isEnabled());
  // Alt+W does nothing while no profile is chosen.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
  QVERIFY(run.user.restoreDialogs.empty());
  run.Choose(1);
  QVERIFY(run.RestoreButton()->isEnabled());
  // The access key opens the dialog of the profile chosen.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
  QTRY_COMPARE(run.user.restoreDialogs.size(), 1u);
  QCOMPARE(run.user.restoreDialogs[0].heading,
           QStringLiteral("Sicherungen des Profils „Outlook“ in „%1“:").arg(run.BackupFolder()));
  QVERIFY(run.user.boxes.empty());
}

void MainWindowRestoreTest::TheDialogListsTheBackupsAndCancelChangesNothing() {
  TWindowRun run;
  Repaired(run);
  const QStringList log = run.ShownLog();
  TWindowRun::Click(run.RestoreButton());
  QCOMPARE(run.user.restoreDialogs.size(), 1u);
  const TShownRestoreDlg& shown = run.user.restoreDialogs[0];
  QCOMPARE(shown.title, QStringLiteral("Profil wiederherstellen"));
  QCOMPARE(shown.rows, (QStringList{Row(run.BackupFolder() + QStringLiteral("Kaputt-original.reg"),
                                        QStringLiteral("Stand vor der ersten Reparatur")),
                                    Row(run.BackupFolder() + QStringLiteral("Kaputt.reg"),
                                        QStringLiteral("Stand vor der letzten Reparatur"))}));
  QVERIFY(shown.listEnabled);
  QVERIFY(shown.restoreEnabled);
  QCOMPARE(shown.focus, QStringLiteral("lvBackups"));
  QCOMPARE(shown.defaultButton, QStringLiteral("btnRestore"));
  // "Abbrechen": nothing happened.
  QVERIFY(run.user.boxes.empty());
  QCOMPARE(run.ShownLog(), log);
  QVERIFY(!KeyExists(run.store, kOrphan));
  QVERIFY(BackFromTheBoxes(run.Window()));
  QCOMPARE(QApplication::focusWidget(), run.RestoreButton());
}

void MainWindowRestoreTest::EnterRestoresTheBackupAfterTheQuestion() {
  TWindowRun run;
  Repaired(run);
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::EnterOnRow, 0}};
  run.RestoreButton()->setFocus();
  QTest::keyClick(run.RestoreButton(), Qt::Key_Space);
  const QString original = run.BackupFolder() + QStringLiteral("Kaputt-original.reg");
  const QString saved = run.BackupFolder() + QStringLiteral("Kaputt-vor-Wiederherstellung.reg");
  QCOMPARE(run.user.boxes.size(), 2u);
  // The question names the profile, the file and its date, and where the state goes.
  const TShownBox& question = run.user.boxes[0];
  QCOMPARE(question.title, QStringLiteral("Profil wiederherstellen"));
  QCOMPARE(question.icon, QMessageBox::Question);
  QCOMPARE(question.text, ToQString(app::RestoreQuestion(u"Kaputt", FromQString(original),
                                                         app::FileWritten(FromQString(original)),
                                                         FromQString(saved))));
  QCOMPARE(question.buttons,
           (QStringList{QStringLiteral("&Wiederherstellen"), QStringLiteral("Abbrechen")}));
  // The flow restored the profile, wrote its report and showed the result.
  QVERIFY(KeyExists(run.store, kOrphan));
  QVERIFY(QFileInfo::exists(saved));
  const TShownBox& result = run.user.boxes[1];
  QCOMPARE(result.icon, QMessageBox::Information);
  QCOMPARE(result.text,
           QStringLiteral("Profil „Kaputt“ aus „%1“ wiederhergestellt; der vorige Stand liegt in "
                          "„%2“.")
               .arg(original, saved));
  QCOMPARE(run.ShownLog().mid(0, 2),
           (QStringList{QString(41, QLatin1Char('*')),
                        QStringLiteral("Wiederherstellen des Profils \"Kaputt\"")}));
  // The map of the profile as it was read no longer holds.
  QCOMPARE(run.Map()->topLevelItemCount(), 1);
  QCOMPARE(run.Map()->topLevelItem(0)->text(0), ToQString(app::kNoMapNote));
  QVERIFY(!run.DeleteButton()->isEnabled());
  QVERIFY(run.RestoreButton()->isEnabled());
  QVERIFY(BackFromTheBoxes(run.Window()));
  QCOMPARE(QApplication::focusWidget(), run.RestoreButton());
}

void MainWindowRestoreTest::NoToTheQuestionLeavesTheDialogOpen() {
  TWindowRun run;
  Repaired(run);
  const QStringList log = run.ShownLog();
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::EnterOnRow, 1},
                             {TRestoreAnswer::Kind::Escape, 0}};
  run.user.confirmations = {false};
  TWindowRun::Click(run.RestoreButton());
  // Asked once, answered no, and back in the dialog, which Escape then closes.
  QCOMPARE(run.user.boxes.size(), 1u);
  QCOMPARE(run.user.restoreDialogs.size(), 2u);
  QVERIFY(!KeyExists(run.store, kOrphan));
  QCOMPARE(run.ShownLog(), log);
  QVERIFY(
      !QFileInfo::exists(run.BackupFolder() + QStringLiteral("Kaputt-vor-Wiederherstellung.reg")));
}

void MainWindowRestoreTest::WithoutBackupsOnlyAnotherFileOrCancel() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  const std::u16string tree = FromQString(kOfficeTree) + u"\\Outlook";
  const QString file = Exported(tree, run.Documents() + QStringLiteral("/mitgebracht.reg"));
  QVERIFY(!file.isEmpty());
  // What came since the file was made goes again.
  const std::u16string extra = tree + u"\\neu00000000000000000000000000000";
  run.Put(extra, u"x", u"y", registry::store::HKEY_CURRENT_USER);
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::OtherFile, 0}};
  run.user.otherFile = file;
  TWindowRun::Click(run.RestoreButton());
  QCOMPARE(run.user.restoreDialogs.size(), 1u);
  const TShownRestoreDlg& shown = run.user.restoreDialogs[0];
  QCOMPARE(shown.rows, QStringList{ToQString(app::kNoBackups)});
  QVERIFY(!shown.listEnabled);
  QVERIFY(!shown.restoreEnabled);
  QVERIFY(shown.otherFileEnabled);
  QCOMPARE(shown.focus, QStringLiteral("btnOtherFile"));
  QCOMPARE(shown.defaultButton, QStringLiteral("btnOtherFile"));
  QCOMPARE(run.user.chooserFolders.size(), 1);
  // Asked, restored, and the result shown.
  QCOMPARE(run.user.boxes.size(), 2u);
  QVERIFY(run.user.boxes[0].text.startsWith(
      QStringLiteral("Das Profil „Outlook“ so wiederherstellen, wie es die Datei „%1“ vom ")
          .arg(file)));
  QCOMPARE(run.user.boxes[1].icon, QMessageBox::Information);
  QVERIFY(!KeyExists(run.store, extra));
  QVERIFY(
      QFileInfo::exists(run.BackupFolder() + QStringLiteral("Outlook-vor-Wiederherstellung.reg")));
}

void MainWindowRestoreTest::ACancelledChooserLeavesTheDialogOpen() {
  TWindowRun run;
  Repaired(run);
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::OtherFile, 0}};
  TWindowRun::Click(run.RestoreButton());
  // The chooser opened in the backup folder and was cancelled; the dialog stayed until
  // its "Abbrechen".
  QCOMPARE(run.user.chooserFolders, QStringList{QDir(run.BackupFolder()).absolutePath()});
  QCOMPARE(run.user.restoreDialogs.size(), 2u);
  QVERIFY(run.user.boxes.empty());
  QVERIFY(!KeyExists(run.store, kOrphan));
}

void MainWindowRestoreTest::AFileOfAnotherProfileIsRefusedInABox() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  run.Choose(0);
  const QString other = Exported(FromQString(kOfficeTree) + u"\\Outlook",
                                 run.Documents() + QStringLiteral("/outlook.reg"));
  run.user.restoreAnswers = {{TRestoreAnswer::Kind::OtherFile, 0}};
  run.user.otherFile = other;
  TWindowRun::Click(run.RestoreButton());
  QCOMPARE(run.user.boxes.size(), 2u);
  const TShownBox& reason = run.user.boxes[1];
  QCOMPARE(reason.icon, QMessageBox::Critical);
  QVERIFY2(reason.text.contains(QStringLiteral("der nicht zum Profil gehört")),
           qPrintable(reason.text));
  QCOMPARE(run.ShownLog().back(), QStringLiteral("Nicht wiederhergestellt."));
}

int RunMainWindowRestoreTest(int argc, char** argv) {
  MainWindowRestoreTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brindel::test

#include "MainWindowRestoreTest.moc"
