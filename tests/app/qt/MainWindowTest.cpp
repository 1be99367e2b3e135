// The real window, driven offscreen through the store: start-up, "Auslesen",
// "Löschen", the log that the user may edit, and the clicks around them.

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QMetaObject>
#include <QScrollBar>
#include <QTest>

#include "app/qt/Look.h"
#include "tests/app/qt/QtTests.h"
#include "tests/app/qt/WindowTestSupport.h"

namespace brindel::test {

namespace {

constexpr char16_t kDamagedValue[] = u"\\9207f3e0a3b11019908b08002b2a56c2";

// The bytes of a saved log: each line and CR LF, in the ANSI code page. The logs of
// these tests hold Latin-1 letters only, where the code page and Latin-1 agree.
QByteArray SavedLog(const QStringList& lines) {
  QByteArray bytes;
  for (const QString& line : lines)
    bytes += line.toLatin1() + "\r\n";
  return bytes;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return "(missing " + path.toUtf8() + ")";
  return file.readAll();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void LaysOutTheControls_data();
  void LaysOutTheControls();
  void TheReportAndTheMapFillThePagesBelowTheTabs();
  void ShowsTheWindowFontsAndTheLogView();
  void AProportionalMatchFallsBackToTheFixedFont();
  void NoProfileShowsTheInformationOnceAfterTheWindowIsShown();
  void OneProfileIsSelectedAndAuslesenEnabled();
  void TwoProfilesWaitForAChoice();
  void AuslesenFillsTheLogAsTheAnalysisWritesIt_data();
  void AuslesenFillsTheLogAsTheAnalysisWritesIt();
  void SelectionChangeClearsTheLogAndLeavesLoeschen();
  void LoeschenSavesTheLogAndDisablesItself();
  void TheLogEditedByHandIsWhatTheFileHolds();
  void FailingBackupShowsTheInformationAndKeepsLoeschen();
  void ErrorInAStepShowsTheErrorBoxAndTheWindowStaysUsable();
  void LoeschenTakesNoSecondAction();
  void LabelOpensTheBackupFolderAndOnlyTheBackgroundReleasesTheLists();
};

void MainWindowTest::LaysOutTheControls_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("geometry");
  QTest::newRow("Panel1") << "Panel1" << QRect(0, 0, 754, 81);
  QTest::newRow("cbProfiles") << "cbProfiles" << QRect(24, 23, 297, 21);
  QTest::newRow("btnStart") << "btnStart" << QRect(342, 21, 75, 25);
  QTest::newRow("btnDelete") << "btnDelete" << QRect(423, 21, 75, 25);
  // The third button after the other two, wider for its longer caption.
  QTest::newRow("btnRestore") << "btnRestore" << QRect(504, 21, 110, 25);
  // The pages take the place of the report below the panel.
  QTest::newRow("tabPages") << "tabPages" << QRect(0, 81, 754, 542);
}

void MainWindowTest::LaysOutTheControls() {
  QFETCH(QString, name);
  QFETCH(QRect, geometry);
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  QCOMPARE(run.Window().size(), QSize(754, 623));
  auto* widget = run.Window().findChild<QWidget*>(name);
  QVERIFY(widget);
  QCOMPARE(widget->geometry(), geometry);
}

void MainWindowTest::TheReportAndTheMapFillThePagesBelowTheTabs() {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  auto* tabs = run.Find<QTabWidget>("tabPages");
  QCOMPARE(tabs->count(), 2);
  QCOMPARE(tabs->tabText(0), QStringLiteral("Bericht"));
  QCOMPARE(tabs->tabText(1), QStringLiteral("Profil"));
  QCOMPARE(tabs->currentWidget(), run.Memo());
  // As wide as the window, from the tab strip down to the window's bottom edge.
  const int top = 81 + tabs->tabBar()->height();
  const auto placeInWindow = [&](QWidget* page) {
    return QRect(page->mapTo(&run.Window(), QPoint(0, 0)), page->size());
  };
  QVERIFY(tabs->tabBar()->height() > 10);
  QCOMPARE(placeInWindow(run.Memo()), QRect(0, top, 754, 623 - top));
  tabs->setCurrentIndex(1);
  QCOMPARE(placeInWindow(run.Map()), QRect(0, top, 754, 623 - top));
  // The report keeps its font.
  QCOMPARE(run.Memo()->font(), app::qt::LogFont());
}

void MainWindowTest::ShowsTheWindowFontsAndTheLogView() {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  QCOMPARE(run.Window().windowTitle(), QStringLiteral("Brindel 1.1 [170825]"));
  QCOMPARE(run.Window().font().family(), QStringLiteral("Tahoma"));
  QCOMPARE(run.Window().font().pointSize(), 8);
  // An '&' marks the access key and is not shown.
  QCOMPARE(run.StartButton()->text(), QStringLiteral("&Auslesen"));
  QCOMPARE(run.DeleteButton()->text(), QStringLiteral("&Löschen"));
  QVERIFY(!run.Profiles()->isEditable());
  QPlainTextEdit* memo = run.Memo();
  QCOMPARE(memo->font().pointSize(), 10);
  // What the user sees: every character as wide as the next, whatever face the
  // system gave for Courier New.
  const QFontMetricsF metrics(memo->font());
  QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')),
           metrics.horizontalAdvance(QLatin1Char('W')));
  QCOMPARE(metrics.horizontalAdvance(QLatin1Char('0')),
           metrics.horizontalAdvance(QLatin1Char('W')));
  QVERIFY(!memo->isReadOnly());
  QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // The label shows the folder alone, at its place on the panel.
  QCOMPARE(run.Label()->text(), run.BackupFolder());
  QCOMPARE(run.Label()->pos(), QPoint(24, 56));
}

void MainWindowTest::AProportionalMatchFallsBackToTheFixedFont() {
  // DejaVu Sans is installed with the build's packages and is proportional.
  QFont proportional(QStringLiteral("DejaVu Sans"), 10);
  QVERIFY(!app::qt::IsMonospaced(proportional));
  const QFont chosen = app::qt::MonospacedOr(proportional);
  QVERIFY(app::qt::IsMonospaced(chosen));
  QCOMPARE(chosen.pointSize(), 10);
}

void MainWindowTest::NoProfileShowsTheInformationOnceAfterTheWindowIsShown() {
  TWindowRun run;
  run.Start();
  QCOMPARE(run.user.boxes.size(), 1u);
  const TShownBox& box = run.user.boxes[0];
  QCOMPARE(box.text, QStringLiteral("Es konnte kein Profil ermittelt werden!"));
  QCOMPARE(box.title, QStringLiteral("Informationen"));
  QCOMPARE(box.icon, QMessageBox::Information);
  QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
  QVERIFY(box.centred);
  // The start-up ran from the posted message, once the window was on screen.
  QVERIFY(box.mainWindowVisible);
  QCOMPARE(run.Profiles()->count(), 0);
  QVERIFY(!run.StartButton()->isEnabled());
  QVERIFY(!run.DeleteButton()->isEnabled());
  QTest::qWait(50);
  QCOMPARE(run.user.boxes.size(), 1u);
}

void MainWindowTest::OneProfileIsSelectedAndAuslesenEnabled() {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  QCOMPARE(run.Items(), QStringList{QStringLiteral("Outlook")});
  QCOMPARE(run.Profiles()->currentIndex(), 0);
  QVERIFY(run.StartButton()->isEnabled());
  QVERIFY(!run.DeleteButton()->isEnabled());
  QVERIFY(run.user.boxes.empty());
}

void MainWindowTest::TwoProfilesWaitForAChoice() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  QCOMPARE(run.Items(), (QStringList{QStringLiteral("Neu"), QStringLiteral("Outlook (Standard)")}));
  // Not even the default profile is selected.
  QCOMPARE(run.Profiles()->currentIndex(), -1);
  QVERIFY(!run.StartButton()->isEnabled());
  run.Choose(1);
  QVERIFY(run.StartButton()->isEnabled());
  QVERIFY(!run.DeleteButton()->isEnabled());
}

void MainWindowTest::AuslesenFillsTheLogAsTheAnalysisWritesIt_data() {
  QTest::addColumn<QString>("fixture");
  QTest::addColumn<QString>("version");
  QTest::addColumn<QString>("expected");
  QTest::newRow("healthy Office profile") << "healthy.reg"
                                          << "16"
                                          << "healthy.expected.txt";
  QTest::newRow("damaged Messaging profile") << "damaged.reg"
                                             << "14"
                                             << "damaged.expected.txt";
  QTest::newRow("profile without sections") << "new.reg"
                                            << "16"
                                            << "new.expected.txt";
}

void MainWindowTest::AuslesenFillsTheLogAsTheAnalysisWritesIt() {
  QFETCH(QString, fixture);
  QFETCH(QString, version);
  QFETCH(QString, expected);
  TWindowRun run;
  run.Load(fixture.toUtf8().constData());
  run.Start(FromQString(version));
  QCOMPARE(run.Profiles()->currentIndex(), 0);
  TWindowRun::Click(run.StartButton());
  QCOMPARE(run.ShownLog(), ExpectedLog(expected));
  QVERIFY(run.DeleteButton()->isEnabled());
  // A second "Auslesen" starts afresh.
  TWindowRun::Click(run.StartButton());
  QCOMPARE(run.ShownLog(), ExpectedLog(expected));
  QVERIFY(run.user.boxes.empty());
}

void MainWindowTest::SelectionChangeClearsTheLogAndLeavesLoeschen() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  run.Choose(1);
  TWindowRun::Click(run.StartButton());
  QVERIFY(!run.ShownLog().isEmpty());
  QVERIFY(run.DeleteButton()->isEnabled());
  run.Choose(0);
  QCOMPARE(run.Memo()->toPlainText(), QString());
  QVERIFY(run.StartButton()->isEnabled());
  QVERIFY(run.DeleteButton()->isEnabled());
}

void MainWindowTest::LoeschenSavesTheLogAndDisablesItself() {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  TWindowRun::Click(run.StartButton());
  TWindowRun::Click(run.DeleteButton());
  QVERIFY(run.user.boxes.empty());
  QVERIFY(!run.DeleteButton()->isEnabled());
  QVERIFY(run.StartButton()->isEnabled());
  QVERIFY(QFileInfo::exists(run.BackupFolder() + QStringLiteral("Kaputt.reg")));
  QVERIFY(QFileInfo::exists(run.BackupFolder() + QStringLiteral("Kaputt-original.reg")));
  // The log holds the analysis and what the repair did, and the file holds the log.
  const QStringList log = run.ShownLog();
  const QStringList analysis = ExpectedLog(QStringLiteral("damaged.expected.txt"));
  QVERIFY(log.size() > analysis.size());
  QCOMPARE(log.mid(0, analysis.size()), analysis);
  QCOMPARE(ReadFile(run.BackupFolder() + QStringLiteral("Kaputt.log")), SavedLog(log));
  // The repair removed what the analysis found: an orphan section is gone.
  registry::store::HKEY key = 0;
  QCOMPARE(
      run.store.OpenKey(registry::store::HKEY_CURRENT_USER,
                        FromQString(kMessagingTree) + u"\\Kaputt\\e0000000000000000000000000000001",
                        registry::store::KEY_READ, key),
      2);
}

void MainWindowTest::TheLogEditedByHandIsWhatTheFileHolds() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  TWindowRun::Click(run.StartButton());
  const QStringList analysis = run.ShownLog();
  // The user writes a note above the report and deletes its first line of asterisks.
  QPlainTextEdit* memo = run.Memo();
  QTest::keyClick(memo, Qt::Key_Home, Qt::ControlModifier);
  TWindowRun::Type(memo, QStringLiteral("Geprüft: Anna"));
  QTest::keyClick(memo, Qt::Key_Return);
  QTest::keyClick(memo, Qt::Key_End, Qt::ShiftModifier);
  QTest::keyClick(memo, Qt::Key_Delete);
  QTest::keyClick(memo, Qt::Key_Delete);
  QStringList edited = analysis;
  edited[0] = QStringLiteral("Geprüft: Anna");
  QCOMPARE(run.ShownLog(), edited);
  TWindowRun::Click(run.DeleteButton());
  QVERIFY(run.user.boxes.empty());
  const QStringList saved = run.ShownLog();
  QCOMPARE(saved.mid(0, edited.size()), edited);
  QCOMPARE(ReadFile(run.BackupFolder() + QStringLiteral("Outlook.log")), SavedLog(saved));
}

void MainWindowTest::FailingBackupShowsTheInformationAndKeepsLoeschen() {
  TWindowRun run;
  run.Load("damaged.reg");
  // A file where the backup folder should be: the backup cannot be written.
  QFile blocker(run.Documents() + QStringLiteral("/Brindel"));
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  run.Start(u"14");
  TWindowRun::Click(run.StartButton());
  const QStringList analysis = run.ShownLog();
  TWindowRun::Click(run.DeleteButton());
  QCOMPARE(run.user.boxes.size(), 1u);
  // The fixed text, and why on a second line.
  QCOMPARE(
      run.user.boxes[0].text,
      QStringLiteral("Daten können NICHT gelöscht werden, da das Anlegen eines Backups fehlschlug\n"
                     "An der Stelle des Sicherungsordners „%1/Brindel/“ steht eine Datei.")
          .arg(run.Documents()));
  QCOMPARE(run.user.boxes[0].title, QStringLiteral("Informationen"));
  QCOMPARE(run.user.boxes[0].icon, QMessageBox::Information);
  QVERIFY(run.DeleteButton()->isEnabled());
  QVERIFY(run.StartButton()->isEnabled());
  QCOMPARE(run.ShownLog(), analysis);
  // Nothing was deleted.
  registry::store::HKEY key = 0;
  QCOMPARE(
      run.store.OpenKey(registry::store::HKEY_CURRENT_USER,
                        FromQString(kMessagingTree) + u"\\Kaputt\\e0000000000000000000000000000001",
                        registry::store::KEY_READ, key),
      0);
  run.store.CloseKey(key);
  // Once the way is free, "Löschen" works.
  QVERIFY(QFile::remove(run.Documents() + QStringLiteral("/Brindel")));
  TWindowRun::Click(run.DeleteButton());
  QCOMPARE(run.user.boxes.size(), 1u);
  QVERIFY(!run.DeleteButton()->isEnabled());
}

void MainWindowTest::ErrorInAStepShowsTheErrorBoxAndTheWindowStaysUsable() {
  TWindowRun run;
  run.Load("healthy.reg");
  const std::u16string section = FromQString(kOfficeTree) + u"\\Outlook" + kDamagedValue;
  // A text where the analysis reads a list of section ids.
  run.Put(section, u"01023d01", u"kaputt", registry::store::HKEY_CURRENT_USER);
  run.Start();
  TWindowRun::Click(run.StartButton());
  QCOMPARE(run.user.boxes.size(), 1u);
  QCOMPARE(run.user.boxes[0].text, QStringLiteral("Ungültiger Datentyp für '01023d01'"));
  QCOMPARE(run.user.boxes[0].title, QStringLiteral("Fehler"));
  QCOMPARE(run.user.boxes[0].icon, QMessageBox::Critical);
  QCOMPARE(run.user.boxes[0].buttons, QStringList{QStringLiteral("OK")});
  QVERIFY(run.user.boxes[0].centred);
  // The log shows how far it got; the window stays open and usable.
  QCOMPARE(run.ShownLog().back(), QStringLiteral("Auslesen der Adressbuch-Provider 01023d01:"));
  QVERIFY(run.Window().isVisible());
  QVERIFY(!run.DeleteButton()->isEnabled());
  QVERIFY(run.StartButton()->isEnabled());
  registry::store::HKEY key = 0;
  QCOMPARE(run.store.OpenKey(registry::store::HKEY_CURRENT_USER, section,
                             registry::store::KEY_ALL_ACCESS, key),
           0);
  QCOMPARE(run.store.SetValue(key, u"01023d01", registry::store::REG_BINARY, {}), 0);
  run.store.CloseKey(key);
  TWindowRun::Click(run.StartButton());
  QCOMPARE(run.user.boxes.size(), 1u);
  QVERIFY(run.DeleteButton()->isEnabled());
}

void MainWindowTest::LoeschenTakesNoSecondAction() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  run.Choose(1);
  TWindowRun::Click(run.StartButton());
  const QStringList analysis = run.ShownLog();
  // What the user does while the backup lets the window handle its messages.
  bool ran = false;
  bool buttonsDisabled = false;
  QTimer::singleShot(0, &run.Window(), [&] {
    ran = true;
    buttonsDisabled = !run.StartButton()->isEnabled() && !run.DeleteButton()->isEnabled() &&
                      !run.RestoreButton()->isEnabled();
    TWindowRun::Click(run.StartButton());
    TWindowRun::Click(run.DeleteButton());
    TWindowRun::Click(run.RestoreButton());
    QTest::keyClick(run.Profiles(), Qt::Key_Up);
    // Even a click that reaches the buttons' signals starts nothing.
    QMetaObject::invokeMethod(run.StartButton(), "clicked", Q_ARG(bool, false));
    QMetaObject::invokeMethod(run.DeleteButton(), "clicked", Q_ARG(bool, false));
    QMetaObject::invokeMethod(run.RestoreButton(), "clicked", Q_ARG(bool, false));
    run.Window().close();
  });
  TWindowRun::Click(run.DeleteButton());
  QVERIFY(ran);
  QVERIFY(buttonsDisabled);
  QVERIFY(run.user.boxes.empty());
  QVERIFY(run.user.restoreDialogs.empty());
  QVERIFY(run.Window().isVisible());
  QCOMPARE(run.Profiles()->currentIndex(), 1);
  QVERIFY(run.Profiles()->isEnabled());
  QCOMPARE(run.Dlg().State(), app::TMainState::Repaired);
  const QStringList log = run.ShownLog();
  QCOMPARE(log.mid(0, analysis.size()), analysis);
  QCOMPARE(ReadFile(run.BackupFolder() + QStringLiteral("Outlook.log")), SavedLog(log));
  QVERIFY(!run.DeleteButton()->isEnabled());
  QVERIFY(run.StartButton()->isEnabled());
}

void MainWindowTest::LabelOpensTheBackupFolderAndOnlyTheBackgroundReleasesTheLists() {
  // A stand-in for the desktop's opener that writes down its arguments.
  QTemporaryDir bin;
  const QString record = bin.path() + QStringLiteral("/arguments");
  QFile opener(bin.path() + QStringLiteral("/xdg-open"));
  QVERIFY(opener.open(QIODevice::WriteOnly));
  opener.write("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + record.toUtf8() + ".tmp'\nmv '" +
               record.toUtf8() + ".tmp' '" + record.toUtf8() + "'\n");
  opener.close();
  opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8() + ":" + path);

  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  TWindowRun::Click(run.StartButton());
  TWindowRun::Click(run.Label());
  QTRY_VERIFY(QFileInfo::exists(record));
  qputenv("PATH", path);
  QCOMPARE(ReadFile(record), "1\n" + run.BackupFolder().toUtf8() + "\n");
  // Clicks on the label, the panel and the disabled controls do not reach the
  // window's background: the lists of the analysis stay.
  TWindowRun::Click(run.Find<QWidget>("Panel1"));
  run.StartButton()->setEnabled(false);
  TWindowRun::Click(run.StartButton());
  run.StartButton()->setEnabled(true);
  QVERIFY(run.DeleteButton()->isEnabled());
  QVERIFY(run.Dlg().Analysis.bListsCreated);
  // A click on the background itself releases them, and "Löschen" waits for the next
  // "Auslesen".
  TWindowRun::Click(&run.Window());
  QVERIFY(!run.Dlg().Analysis.bListsCreated);
  QVERIFY(!run.DeleteButton()->isEnabled());
}

int RunMainWindowTest(int argc, char** argv) {
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brindel::test

#include "MainWindowTest.moc"
