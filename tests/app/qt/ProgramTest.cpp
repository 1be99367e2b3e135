// The GUI program as started from the command line: its options, the registry it
// opens and the windows it creates.

#include <QTest>

#include <string>
#include <vector>

#include "app/qt/Program.h"
#include "tests/app/qt/QtTests.h"
#include "tests/app/qt/WindowTestSupport.h"

namespace brindel::test {

namespace {

// Runs the program with these arguments (after the program name).
int Run(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "brindel");
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int code = app::qt::RunProgram(static_cast<int>(arguments.size()), argv.data());
  return code;
}

}  // namespace

class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void NoSourceExplainsHowToNameOneAndEnds();
  void WrongUsageIsShownAndEnds_data();
  void WrongUsageIsShownAndEnds();
  void DemoShowsTheWindowBesideAHiddenDialog();
};

void ProgramTest::NoSourceExplainsHowToNameOneAndEnds() {
  TModalAnswerer user;
  QCOMPARE(Run({}), 2);
  QCOMPARE(user.boxes.size(), 1u);
  const QString text = user.boxes[0].text;
  QCOMPARE(user.boxes[0].title, QStringLiteral("Informationen"));
  for (const char* option :
       {"--demo", "--reg DATEI", "--hive HKCU=DATEI", "--windows-root ORDNER --user NAME"}) {
    QVERIFY2(text.contains(QLatin1String(option)), option);
  }
  QVERIFY(!user.boxes[0].mainWindowVisible);
}

void ProgramTest::WrongUsageIsShownAndEnds_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<QString>("message");
  // 2 for wrong usage, as brindel-cli; 1 for a source that cannot be used.
  QTest::addColumn<int>("status");
  QTest::newRow("unknown option") << QStringList{"--gibt-es-nicht"} << "unbekannte Angaben" << 2;
  QTest::newRow("missing .reg file")
      << QStringList{"--reg", "/gibt/es/nicht.reg"} << "/gibt/es/nicht.reg" << 1;
  QTest::newRow("two kinds of registry") << QStringList{"--demo", "--hive", "HKCU=/tmp/NTUSER.DAT"}
                                         << "nur eine Art von Registry" << 1;
}

void ProgramTest::WrongUsageIsShownAndEnds() {
  QFETCH(QStringList, arguments);
  QFETCH(QString, message);
  QFETCH(int, status);
  TModalAnswerer user;
  std::vector<std::string> argv;
  for (const QString& argument : arguments)
    argv.push_back(argument.toStdString());
  QCOMPARE(Run(argv), status);
  QCOMPARE(user.boxes.size(), 1u);
  QCOMPARE(user.boxes[0].title, QStringLiteral("Fehler"));
  QVERIFY2(user.boxes[0].text.contains(message), qPrintable(user.boxes[0].text));
  QVERIFY(!user.boxes[0].mainWindowVisible);
}

void ProgramTest::DemoShowsTheWindowBesideAHiddenDialog() {
  TModalAnswerer user;
  QTemporaryDir documents;
  QStringList items;
  bool hiddenDialog = false;
  QTimer look;
  look.setInterval(5);
  connect(&look, &QTimer::timeout, this, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* window = qobject_cast<app::qt::TMainWindow*>(widget);
      if (!window || !window->isVisible() || window->Dlg().State() == app::TMainState::Starting) {
        continue;
      }
      for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other->objectName() == QLatin1String("OutlookVersionDlg") && !other->isVisible()) {
          hiddenDialog = true;
        }
      }
      auto* box = window->findChild<QComboBox*>(QStringLiteral("cbProfiles"));
      for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
      look.stop();
      window->close();
    }
  });
  look.start();
  QCOMPARE(Run({"--demo", "--documents", documents.path().toStdString()}), 0);
  QVERIFY(hiddenDialog);
  QCOMPARE(items, (QStringList{QStringLiteral("Büro"), QStringLiteral("Outlook (Standard)")}));
  QVERIFY(user.dialogs.empty());
  QVERIFY(user.boxes.empty());
}

int RunProgramTest(int argc, char** argv) {
  ProgramTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brindel::test

#include "ProgramTest.moc"
