// The page "Profil": the map that "Auslesen" made, each entry with its marks in words
// and in colour, the state after "Löschen", and the pages by keyboard.

#include <QApplication>
#include <QBrush>
#include <QTest>

#include <functional>

#include "app/MapLook.h"
#include "profile/ProfileMap.h"
#include "tests/app/qt/QtTests.h"
#include "tests/app/qt/WindowTestSupport.h"

namespace brindel::test {

namespace {

const QColor kRed(192, 0, 0);
const QColor kOrange(204, 102, 0);
const QColor kDarkYellow(140, 120, 0);
const QColor kBlue(0, 70, 180);
const QColor kGrey(112, 112, 112);

// The tree as indented text, as ProfileMapText writes a map.
QString TreeText(const QTreeWidget& tree) {
  QString text;
  const std::function<void(const QTreeWidgetItem&, int)> walk = [&](const QTreeWidgetItem& item,
                                                                    int level) {
    text += QString(2 * level, QLatin1Char(' ')) + item.text(0) + QLatin1Char('\n');
    for (int i = 0; i < item.childCount(); ++i)
      walk(*item.child(i), level + 1);
  };
  text += tree.topLevelItem(0)->text(0) + QLatin1Char('\n');
  for (int i = 1; i < tree.topLevelItemCount(); ++i)
    walk(*tree.topLevelItem(i), 0);
  return text;
}

// The first item whose text starts with `start`, anywhere in the tree.
QTreeWidgetItem* ItemStarting(const QTreeWidget& tree, const QString& start) {
  for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(&tree)); *it; ++it) {
    if ((*it)->text(0).startsWith(start))
      return *it;
  }
  return nullptr;
}

// Every item with children is open, so the whole map shows at once.
bool AllExpanded(const QTreeWidget& tree) {
  for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(&tree)); *it; ++it) {
    if ((*it)->childCount() > 0 && !(*it)->isExpanded())
      return false;
  }
  return true;
}

}  // namespace

class MainWindowMapTest : public QObject {
  Q_OBJECT

 private slots:
  void BeforeAuslesenThePageSaysWhatComes();
  void AuslesenShowsTheMapOfTheFlow();
  void EachMarkHasItsWordsAndItsColour_data();
  void EachMarkHasItsWordsAndItsColour();
  void LoeschenShowsWhatTheRepairDid();
  void ThePagesTurnByKeyboardAndTheTreeByArrows();
};

void MainWindowMapTest::BeforeAuslesenThePageSaysWhatComes() {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  QCOMPARE(run.Map()->topLevelItemCount(), 1);
  QCOMPARE(run.Map()->topLevelItem(0)->text(0), ToQString(app::kNoMapNote));
}

void MainWindowMapTest::AuslesenShowsTheMapOfTheFlow() {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  TWindowRun::Click(run.StartButton());
  QVERIFY(run.Dlg().ProfileMap.has_value());
  // The count line on top, then every entry with its marks, as the text of the map.
  QCOMPARE(run.Map()->topLevelItemCount(), 2);
  QCOMPARE(run.Map()->topLevelItem(0)->text(0), ToQString(run.Dlg().ProfileMap->CountLine));
  QCOMPARE(run.Map()->topLevelItem(1)->text(0), QStringLiteral("Profil „Kaputt“"));
  QCOMPARE(TreeText(*run.Map()), ToQString(profile::ProfileMapText(*run.Dlg().ProfileMap)));
  QVERIFY(AllExpanded(*run.Map()));
  // The report stays the page shown.
  QCOMPARE(run.Pages()->currentWidget(), run.Memo());
  QVERIFY(run.user.boxes.empty());
}

void MainWindowMapTest::EachMarkHasItsWordsAndItsColour_data() {
  QTest::addColumn<QString>("entry");
  QTest::addColumn<QString>("marks");
  QTest::addColumn<QColor>("colour");
  QTest::newRow("orphan section") << "Abschnitt e0000000000000000000000000000001"
                                  << "[wird gelöscht]" << kRed;
  QTest::newRow("deleted and empty") << "Abschnitt e1000000000000000000000000000002"
                                     << "[wird gelöscht; leer]" << kRed;
  QTest::newRow("unlinked provider") << "Provider a4000000000000000000000000000004"
                                     << "[nicht verknüpft]" << kOrange;
  QTest::newRow("faulty account") << "Konto 0000000a"
                                  << "[Konto fehlerhaft: keine Service UID hinterlegt]" << kOrange;
  QTest::newRow("repeated provider") << "Provider a1000000000000000000000000000001"
                                     << "[doppelt (3×)]" << kDarkYellow;
  QTest::newRow("protected and empty") << "Abschnitt 8503020000000000c000000000000046"
                                       << "[leer; geschützt]" << kBlue;
  QTest::newRow("unused with sub keys")
      << "Abschnitt e2000000000000000000000000000003"
      << "[nicht verwendet, bleibt: hat Unterschlüssel; leer]" << kGrey;
  // No mark, no colour of its own: the system's.
  QTest::newRow("service in use") << "Dienst b2000000000000000000000000000002"
                                  << "" << QColor();
}

void MainWindowMapTest::EachMarkHasItsWordsAndItsColour() {
  QFETCH(QString, entry);
  QFETCH(QString, marks);
  QFETCH(QColor, colour);
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  TWindowRun::Click(run.StartButton());
  const QTreeWidgetItem* item = ItemStarting(*run.Map(), entry);
  QVERIFY2(item, qPrintable(entry));
  if (marks.isEmpty()) {
    QVERIFY(!item->text(0).contains(QLatin1Char('[')));
    QCOMPARE(item->foreground(0).style(), Qt::NoBrush);
  } else {
    QVERIFY2(item->text(0).endsWith(QLatin1Char(' ') + marks), qPrintable(item->text(0)));
    QCOMPARE(item->foreground(0).color(), colour);
  }
}

void MainWindowMapTest::LoeschenShowsWhatTheRepairDid() {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  TWindowRun::Click(run.StartButton());
  const profile::TProfileMap read = *run.Dlg().ProfileMap;
  TWindowRun::Click(run.DeleteButton());
  QVERIFY(run.user.boxes.empty());
  QCOMPARE(TreeText(*run.Map()),
           ToQString(profile::ProfileMapText(profile::RepairedProfileMap(read))));
  QVERIFY(run.Map()->topLevelItem(0)->text(0).contains(QStringLiteral(" vor der Reparatur.")));
  const QTreeWidgetItem* orphan =
      ItemStarting(*run.Map(), QStringLiteral("Abschnitt e0000000000000000000000000000001"));
  QVERIFY(orphan);
  QVERIFY(orphan->text(0).endsWith(QStringLiteral(" [gelöscht]")));
  QCOMPARE(orphan->foreground(0).color(), kRed);
  QVERIFY(AllExpanded(*run.Map()));
}

void MainWindowMapTest::ThePagesTurnByKeyboardAndTheTreeByArrows() {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  QVERIFY(QTest::qWaitForWindowActive(&run.Window()));
  TWindowRun::Click(run.StartButton());
  QCOMPARE(QApplication::focusWidget(), run.DeleteButton());
  // From a button the page turns, and the focus stays where it is.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
  QCOMPARE(run.Pages()->currentWidget(), run.Map());
  QCOMPARE(QApplication::focusWidget(), run.DeleteButton());
  // Tab reaches the tree over the tab strip.
  run.Pages()->tabBar()->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), run.Map());
  // The arrows walk the tree: from the count line down into the profile, and Left
  // closes an entry.
  QCOMPARE(run.Map()->currentItem(), run.Map()->topLevelItem(0));
  QTest::keyClick(run.Map(), Qt::Key_Down);
  QTreeWidgetItem* profile = run.Map()->topLevelItem(1);
  QCOMPARE(run.Map()->currentItem(), profile);
  QTest::keyClick(run.Map(), Qt::Key_Left);
  QVERIFY(!profile->isExpanded());
  QTest::keyClick(run.Map(), Qt::Key_Right);
  QVERIFY(profile->isExpanded());
  QTest::keyClick(run.Map(), Qt::Key_Down);
  QCOMPARE(run.Map()->currentItem(), profile->child(0));
  // Escape does nothing here either.
  QTest::keyClick(run.Map(), Qt::Key_Escape);
  QVERIFY(run.Window().isVisible());
  QCOMPARE(QApplication::focusWidget(), run.Map());
  // From the page, the focus goes along to the page that comes: Ctrl+Shift+Tab back to
  // the report, Ctrl+Page Down on to the map again.
  QTest::keyClick(run.Map(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(run.Pages()->currentWidget(), run.Memo());
  QCOMPARE(QApplication::focusWidget(), run.Memo());
  QTest::keyClick(run.Memo(), Qt::Key_PageDown, Qt::ControlModifier);
  QCOMPARE(run.Pages()->currentWidget(), run.Map());
  QCOMPARE(QApplication::focusWidget(), run.Map());
  QVERIFY(run.user.boxes.empty());
}

int RunMainWindowMapTest(int argc, char** argv) {
  MainWindowMapTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace brindel::test

#include "MainWindowMapTest.moc"
