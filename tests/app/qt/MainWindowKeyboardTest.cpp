// The window by keyboard: where the focus is at start and after each action, Tab past
// a disabled button and out of the report, Escape, and the access keys of the two
// buttons.

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "tests/app/qt/QtTests.h"
#include "tests/app/qt/WindowTestSupport.h"

namespace brindel::test {

// How the user presses a button.
enum class TPress { SpaceKey, MouseClick, AccessKey };

}  // namespace brindel::test

Q_DECLARE_METATYPE(brindel::test::TPress)

namespace brindel::test {

namespace {

// The key of a button's access key: the letter after its '&'.
Qt::Key AccessKeyOf(const QPushButton& button) {
  const QString text = button.text();
  const qsizetype mark = text.indexOf(QLatin1Char('&'));
  if (mark < 0 || mark + 1 >= text.size())
    return Qt::Key_unknown;
  return static_cast<Qt::Key>(text.at(mark + 1).toUpper().unicode());
}

void PressButton(QPushButton* button, TPress press) {
  switch (press) {
    case TPress::SpaceKey:
      button->setFocus();
      QTest::keyClick(button, Qt::Key_Space);
      break;
    case TPress::MouseClick:
      // A click by the mouse gives the button the focus.
      QTest::mouseClick(button, Qt::LeftButton);
      break;
    case TPress::AccessKey: {
      const Qt::Key key = AccessKeyOf(*button);
      QVERIFY(key != Qt::Key_unknown);
      // The button shows itself pressed for a moment and is clicked when it comes up.
      QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
      QTRY_VERIFY(!button->isDown());
      break;
    }
  }
}

// A window manager activates the window again when a box above it goes; the
// offscreen platform leaves that to the test.
bool BackFromTheBox(QWidget& window) {
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

void AddPresses() {
  QTest::addColumn<TPress>("press");
  QTest::newRow("space key") << TPress::SpaceKey;
  QTest::newRow("mouse click") << TPress::MouseClick;
  QTest::newRow("access key") << TPress::AccessKey;
}

}  // namespace

class MainWindowKeyboardTest : public QObject {
  Q_OBJECT

 private slots:
  void TheProfileBoxHasTheFocusAtStart_data();
  void TheProfileBoxHasTheFocusAtStart();
  void EscapeDoesNothing_data();
  void EscapeDoesNothing();
  void AuslesenHandsTheFocusToLoeschen_data() { AddPresses(); }
  void AuslesenHandsTheFocusToLoeschen();
  void LoeschenHandsTheFocusToAuslesenAndTabGoesOn_data() { AddPresses(); }
  void LoeschenHandsTheFocusToAuslesenAndTabGoesOn();
  void AFailedBackupLeavesTheFocusOnLoeschen();
  void TheButtonsCarryAccessKeysBesideTheirCaptions();
  void TheAccessKeyOfADisabledButtonDoesNothing();
};

void MainWindowKeyboardTest::TheProfileBoxHasTheFocusAtStart_data() {
  QTest::addColumn<QStringList>("fixtures");
  QTest::addColumn<int>("boxes");
  QTest::newRow("one profile") << QStringList{"healthy.reg"} << 0;
  QTest::newRow("two profiles") << QStringList{"healthy.reg", "new.reg"} << 0;
  // The information box had the focus; it comes back to the box.
  QTest::newRow("no profile, after the box") << QStringList{} << 1;
}

void MainWindowKeyboardTest::TheProfileBoxHasTheFocusAtStart() {
  QFETCH(QStringList, fixtures);
  QFETCH(int, boxes);
  TWindowRun run;
  for (const QString& fixture : fixtures)
    run.Load(fixture.toUtf8().constData());
  run.Start();
  QCOMPARE(run.user.boxes.size(), static_cast<std::size_t>(boxes));
  QVERIFY(BackFromTheBox(run.Window()));
  QCOMPARE(QApplication::focusWidget(), run.Profiles());
}

void MainWindowKeyboardTest::EscapeDoesNothing_data() {
  QTest::addColumn<QString>("control");
  QTest::newRow("in the report") << "Memo1";
  QTest::newRow("on Auslesen") << "btnStart";
  QTest::newRow("in the profile box") << "cbProfiles";
}

void MainWindowKeyboardTest::EscapeDoesNothing() {
  QFETCH(QString, control);
  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  TWindowRun::Click(run.StartButton());
  const QStringList log = run.ShownLog();
  QVERIFY(!log.isEmpty());
  auto* widget = run.Find<QWidget>(control.toUtf8().constData());
  widget->setFocus();
  QTest::keyClick(widget, Qt::Key_Escape);
  QTest::qWait(20);
  QVERIFY(run.Window().isVisible());
  QCOMPARE(QApplication::focusWidget(), widget);
  QCOMPARE(run.ShownLog(), log);
  QVERIFY(run.user.boxes.empty());
}

void MainWindowKeyboardTest::AuslesenHandsTheFocusToLoeschen() {
  QFETCH(TPress, press);
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  PressButton(run.StartButton(), press);
  QCOMPARE(run.ShownLog(), ExpectedLog(QStringLiteral("damaged.expected.txt")));
  QVERIFY(run.DeleteButton()->isEnabled());
  QCOMPARE(QApplication::focusWidget(), run.DeleteButton());
}

void MainWindowKeyboardTest::LoeschenHandsTheFocusToAuslesenAndTabGoesOn() {
  QFETCH(TPress, press);
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  TWindowRun::Click(run.StartButton());
  run.DeleteButton()->setFocus();
  PressButton(run.DeleteButton(), press);
  QVERIFY(QFileInfo::exists(run.BackupFolder() + QStringLiteral("Kaputt.log")));
  QVERIFY(!run.DeleteButton()->isEnabled());
  QCOMPARE(QApplication::focusWidget(), run.StartButton());
  // Tab passes the disabled "Löschen" by, over "Wiederherstellen…" and the tab strip to
  // the report, and leaves the report again without writing into it.
  const QStringList log = run.ShownLog();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), run.RestoreButton());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), run.Pages()->tabBar());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), run.Memo());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), run.Profiles());
  QCOMPARE(run.ShownLog(), log);
  QVERIFY(run.user.boxes.empty());
}

void MainWindowKeyboardTest::AFailedBackupLeavesTheFocusOnLoeschen() {
  TWindowRun run;
  run.Load("damaged.reg");
  // A file where the backup folder should be: the backup cannot be written.
  QFile blocker(run.Documents() + QStringLiteral("/Brindel"));
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  run.Start(u"14");
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  TWindowRun::Click(run.StartButton());
  PressButton(run.DeleteButton(), TPress::SpaceKey);
  QCOMPARE(run.user.boxes.size(), 1u);
  QVERIFY(run.DeleteButton()->isEnabled());
  QVERIFY(BackFromTheBox(run.Window()));
  QCOMPARE(QApplication::focusWidget(), run.DeleteButton());
}

void MainWindowKeyboardTest::TheButtonsCarryAccessKeysBesideTheirCaptions() {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  // The caption shown is the text without its '&', which underlines the letter after it.
  QCOMPARE(run.StartButton()->text(), QStringLiteral("&Auslesen"));
  QCOMPARE(AccessKeyOf(*run.StartButton()), Qt::Key_A);
  QCOMPARE(run.DeleteButton()->text(), QStringLiteral("&Löschen"));
  QCOMPARE(AccessKeyOf(*run.DeleteButton()), Qt::Key_L);
}

void MainWindowKeyboardTest::TheAccessKeyOfADisabledButtonDoesNothing() {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  QVERIFY(!run.DeleteButton()->isEnabled());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
  QVERIFY(!QFileInfo::exists(run.BackupFolder() + QStringLiteral("Kaputt.reg")));
  QVERIFY(run.ShownLog().isEmpty());
}

int RunMainWindowKeyboardTest(int argc, char** argv) {
  MainWindowKeyboardTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brindel::test

#include "MainWindowKeyboardTest.moc"
