// The version choice of the start-up with the real dialog: which installations it
// offers, how each way of ending it chooses, and the start-ups that need no dialog.

#include <QTest>

#include "tests/app/qt/QtTests.h"
#include "tests/app/qt/WindowTestSupport.h"

Q_DECLARE_METATYPE(brindel::test::TDialogAnswer)

namespace brindel::test {

namespace {

// Outlook 2016 (64 Bit) and Outlook 2010 (32 Bit, no Bitness value), each with a
// profile in its own profile tree.
void TwoInstallations(TWindowRun& run) {
  run.Install(1, "outlook16-x86_64.exe", u"16.0", u"x64");
  run.Install(2, "version14-x86_64.exe");
  run.Load("healthy.reg");
  run.Load("damaged.reg");
}

}  // namespace

class OutlookVersionDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void TwoInstallationsShowTheDialog();
  void EachWayOfEndingChoosesAVersion_data();
  void EachWayOfEndingChoosesAVersion();
  void RememberingTheChoiceHasNoEffect();
  void OneInstallationShowsNoDialog();
  void NoInstallationShowsTheErrorAndUsesTheMessagingTree();
};

void OutlookVersionDlgTest::TwoInstallationsShowTheDialog() {
  TWindowRun run;
  TwoInstallations(run);
  run.Start(std::nullopt);
  QCOMPARE(run.user.dialogs.size(), 1u);
  const TShownDialog& dialog = run.user.dialogs[0];
  QCOMPARE(dialog.caption, QStringLiteral("Auswahl der Outlook Version"));
  QCOMPARE(dialog.first, QStringLiteral("Outlook 2016 (64 Bit)"));
  QCOMPARE(dialog.second, QStringLiteral("Outlook 2010 (32 Bit)"));
  QCOMPARE(dialog.label,
           QStringLiteral("Auf diesem Rechner wurden zwei Outlook-Installationen gefunden! Wählen "
                          "Sie aus, welche Version Sie aktuell sichern bzw. wiederherstellen "
                          "wollen!"));
  QCOMPARE(dialog.checkBox, QStringLiteral("Auswahl merken"));
  QVERIFY(!dialog.checked);
  QCOMPARE(dialog.size, QSize(447, 211));
  QVERIFY(dialog.fixedSize);
  QCOMPARE(dialog.background, QColor(226, 231, 243));
  QCOMPARE(dialog.buttonFont.family(), QStringLiteral("Tahoma"));
  QCOMPARE(dialog.buttonFont.pointSize(), 10);
  QVERIFY(dialog.buttonFont.bold());
  QVERIFY(dialog.flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(!dialog.flags.testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(!dialog.flags.testFlag(Qt::WindowMaximizeButtonHint));
  QVERIFY(dialog.centred);
  QVERIFY(run.user.boxes.empty());
}

void OutlookVersionDlgTest::EachWayOfEndingChoosesAVersion_data() {
  QTest::addColumn<TDialogAnswer>("answer");
  QTest::addColumn<QString>("version");
  QTest::addColumn<QString>("profile");
  QTest::newRow("left button") << TDialogAnswer::First << "16"
                               << "Outlook (Standard)";
  QTest::newRow("right button") << TDialogAnswer::Second << "14"
                                << "Kaputt";
  QTest::newRow("close box") << TDialogAnswer::CloseBox << "16"
                             << "Outlook (Standard)";
  QTest::newRow("Escape, then close box") << TDialogAnswer::EscapeThenCloseBox << "16"
                                          << "Outlook (Standard)";
}

void OutlookVersionDlgTest::EachWayOfEndingChoosesAVersion() {
  QFETCH(TDialogAnswer, answer);
  QFETCH(QString, version);
  QFETCH(QString, profile);
  TWindowRun run;
  TwoInstallations(run);
  run.user.dialogAnswer = answer;
  run.Start(std::nullopt);
  QCOMPARE(run.user.dialogs.size(), 1u);
  if (answer == TDialogAnswer::EscapeThenCloseBox)
    QVERIFY(run.user.openAfterEscape);
  QCOMPARE(ToQString(run.Dlg().SelectedOutlookVersion), version);
  // The profiles of the chosen version's tree are offered.
  QCOMPARE(run.Items(), QStringList{profile});
  QVERIFY(run.StartButton()->isEnabled());
  QVERIFY(run.user.boxes.empty());
}

void OutlookVersionDlgTest::RememberingTheChoiceHasNoEffect() {
  {
    TWindowRun run;
    TwoInstallations(run);
    run.user.dialogAnswer = TDialogAnswer::TickThenSecond;
    run.Start(std::nullopt);
    QCOMPARE(ToQString(run.Dlg().SelectedOutlookVersion), QStringLiteral("14"));
  }
  // The next start asks again, with nothing ticked.
  TWindowRun run;
  TwoInstallations(run);
  run.Start(std::nullopt);
  QCOMPARE(run.user.dialogs.size(), 1u);
  QVERIFY(!run.user.dialogs[0].checked);
  QCOMPARE(ToQString(run.Dlg().SelectedOutlookVersion), QStringLiteral("16"));
}

void OutlookVersionDlgTest::OneInstallationShowsNoDialog() {
  TWindowRun run;
  // Registered twice, found once.
  run.Install(1, "outlook16-x86_64.exe", u"16.0", u"x64");
  run.Install(2, "outlook16-x86_64.exe");
  run.Load("healthy.reg");
  run.Load("damaged.reg");
  run.Start(std::nullopt);
  QVERIFY(run.user.dialogs.empty());
  QVERIFY(run.user.boxes.empty());
  QCOMPARE(ToQString(run.Dlg().SelectedOutlookVersion), QStringLiteral("16"));
  QCOMPARE(run.Items(), QStringList{QStringLiteral("Outlook (Standard)")});
}

void OutlookVersionDlgTest::NoInstallationShowsTheErrorAndUsesTheMessagingTree() {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("damaged.reg");
  run.Start(std::nullopt);
  QVERIFY(run.user.dialogs.empty());
  QCOMPARE(run.user.boxes.size(), 1u);
  QCOMPARE(run.user.boxes[0].text,
           QStringLiteral("Auf diesem Rechner kann die Software \"Microsoft® Outlook\" nicht "
                          "ermittelt werden."));
  QCOMPARE(run.user.boxes[0].title, QStringLiteral("Fehler"));
  QCOMPARE(run.user.boxes[0].icon, QMessageBox::Critical);
  QCOMPARE(ToQString(run.Dlg().SelectedOutlookVersion), QString());
  // The start-up goes on with the Windows Messaging Subsystem's profiles.
  QCOMPARE(ToQString(run.Dlg().RegTreeToUse), kMessagingTree);
  QCOMPARE(run.Items(), QStringList{QStringLiteral("Kaputt")});
  QVERIFY(run.StartButton()->isEnabled());
}

int RunOutlookVersionDlgTest(int argc, char** argv) {
  OutlookVersionDlgTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brindel::test

#include "OutlookVersionDlgTest.moc"
