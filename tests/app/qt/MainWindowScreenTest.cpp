// The window's size on screens of other scales: within the screen's available area
// when it opens there and when it is moved there. Qt scales the window's pixels by
// the screen's factor; a screen of 1280 x 900 at 150 % has 853 x 600 of them.

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "tests/app/qt/QtTests.h"
#include "tests/app/qt/WindowTestSupport.h"

namespace brindel::test {

namespace {

const QSize kDesign(754, 623);

// The screen at 150 %, beside the first one.
QScreen* ScaledScreen() {
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->devicePixelRatio() > 1.0 || screen->logicalDotsPerInch() > 96.0)
      return screen;
  }
  return nullptr;
}

}  // namespace

class MainWindowScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensWithinTheScreen_data();
  void OpensWithinTheScreen();
  void FollowsAMoveToAScreenOfAnotherScale();
};

void MainWindowScreenTest::OpensWithinTheScreen_data() {
  QTest::addColumn<bool>("scaled");
  QTest::newRow("100 %") << false;
  QTest::newRow("150 %") << true;
}

void MainWindowScreenTest::OpensWithinTheScreen() {
  QFETCH(bool, scaled);
  QScreen* screen = scaled ? ScaledScreen() : QGuiApplication::primaryScreen();
  QVERIFY(screen);
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start(u"16", screen);
  QCOMPARE(run.Window().screen(), screen);
  const QRect area = screen->availableGeometry();
  QVERIFY2(area.contains(run.Window().frameGeometry()),
           qPrintable(QStringLiteral("%1 x %2 on %3 x %4")
                          .arg(run.Window().width())
                          .arg(run.Window().height())
                          .arg(area.width())
                          .arg(area.height())));
  // The frame around the window, none on the offscreen platform.
  const QSize frame = run.Window().frameGeometry().size() - run.Window().size();
  QCOMPARE(run.Window().size(), kDesign.boundedTo(area.size() - frame));
}

void MainWindowScreenTest::FollowsAMoveToAScreenOfAnotherScale() {
  QScreen* scaled = ScaledScreen();
  QVERIFY(scaled);
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start(u"16", QGuiApplication::primaryScreen());
  QCOMPARE(run.Window().size(), kDesign);
  run.Window().move(scaled->availableGeometry().topLeft());
  QTRY_COMPARE(run.Window().screen(), scaled);
  const QRect area = scaled->availableGeometry();
  QTRY_VERIFY(area.contains(run.Window().frameGeometry()));
  // The panel keeps its design; the report takes what is left.
  QCOMPARE(run.Find<QWidget>("btnDelete")->geometry(), QRect(423, 21, 75, 25));
  QCOMPARE(run.Find<QWidget>("btnRestore")->geometry(), QRect(504, 21, 110, 25));
  QCOMPARE(run.Memo()->mapTo(&run.Window(), run.Memo()->rect().bottomRight()),
           run.Window().rect().bottomRight());
}

int RunMainWindowScreenTest(int argc, char** argv) {
  MainWindowScreenTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brindel::test

#include "MainWindowScreenTest.moc"
