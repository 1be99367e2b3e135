// Starts the real program on the demo registry, reads the damaged profile "Büro" as
// a user would (the arrow keys in the profile box, a click on "Auslesen") and saves
// pictures: the window with the report and, with two more files, the window with the
// page "Profil" and, after "Löschen", the restore dialog with the backups it made.
// Usage: window_screenshot [--documents ORDNER] BERICHT.png [PROFIL.png WIEDERHERSTELLEN.png]
// With three pictures the documents folder must exist. scripts/screenshot runs it on
// the offscreen platform.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <iostream>
#include <string>
#include <vector>

#include "app/qt/MainWindow.h"
#include "app/qt/Program.h"

namespace {

using brindel::app::TMainState;
using brindel::app::qt::TMainWindow;

TMainWindow* StartedWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* window = qobject_cast<TMainWindow*>(widget);
    if (window && window->isVisible() && window->Dlg().State() != TMainState::Starting) {
      return window;
    }
  }
  return nullptr;
}

QWidget* ShownRestoreDialog() {
  QWidget* modal = QApplication::activeModalWidget();
  return modal && modal->isVisible() && modal->objectName() == QLatin1String("RestoreDlg")
             ? modal
             : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QStringList arguments = QApplication::arguments().mid(1);
  // "Auslesen" writes nothing, so for the first picture the documents folder need not
  // exist: the label shows a folder as on a user's machine.
  QString documents = QStringLiteral("/home/anna/Dokumente");
  if (arguments.size() >= 2 && arguments[0] == QLatin1String("--documents")) {
    documents = arguments[1];
    arguments = arguments.mid(2);
  }
  if (arguments.size() != 1 && arguments.size() != 3) {
    std::cerr << "Aufruf: window_screenshot [--documents ORDNER] BERICHT.png [PROFIL.png "
                 "WIEDERHERSTELLEN.png]\n";
    return 2;
  }
  bool saved = false;
  QTimer look;
  look.setInterval(20);
  QObject::connect(&look, &QTimer::timeout, [&] {
    TMainWindow* window = StartedWindow();
    if (!window)
      return;
    look.stop();
    auto* profiles = window->findChild<QComboBox*>(QStringLiteral("cbProfiles"));
    const int index = profiles->findText(QStringLiteral("Büro"));
    while (index >= 0 && profiles->currentIndex() < index)
      QTest::keyClick(profiles, Qt::Key_Down);
    while (index >= 0 && profiles->currentIndex() > index)
      QTest::keyClick(profiles, Qt::Key_Up);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnStart")), Qt::LeftButton);
    QApplication::processEvents();
    saved = index >= 0 && window->grab().save(arguments[0], "PNG");
    if (saved && arguments.size() == 3) {
      // The page "Profil", as a click on its tab shows it.
      QTabBar* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabPages"))->tabBar();
      QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
      QApplication::processEvents();
      saved = window->grab().save(arguments[1], "PNG");
      // "Löschen" makes the backups the restore dialog lists; the dialog's picture is
      // taken from its own loop and the dialog cancelled.
      QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnDelete")),
                        Qt::LeftButton);
      bool dialogSaved = false;
      QTimer dialog;
      dialog.setInterval(20);
      QObject::connect(&dialog, &QTimer::timeout, [&] {
        QWidget* shown = ShownRestoreDialog();
        if (!shown)
          return;
        dialog.stop();
        QApplication::processEvents();
        dialogSaved = shown->grab().save(arguments[2], "PNG");
        static_cast<QDialog*>(shown)->reject();
      });
      dialog.start();
      QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnRestore")),
                        Qt::LeftButton);
      saved = saved && dialogSaved;
    }
    window->close();
  });
  look.start();
  std::vector<std::string> programArguments = {"brindel", "--demo", "--documents",
                                               documents.toStdString()};
  std::vector<char*> programArgv;
  for (std::string& argument : programArguments)
    programArgv.push_back(argument.data());
  programArgv.push_back(nullptr);
  const int code =
      brindel::app::qt::RunProgram(static_cast<int>(programArguments.size()), programArgv.data());
  if (code != 0 || !saved) {
    std::cerr << "Das Bild konnte nicht gemacht werden.\n";
    return 1;
  }
  return 0;
}
