// Starts the real program on the demo registry, reads the damaged profile "Büro" as
// a user would (the arrow keys in the profile box, a click on "Auslesen") and saves
// a picture of the window. Usage: window_screenshot PNG-FILE
// scripts/screenshot runs it on the offscreen platform.

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
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

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::cerr << "Aufruf: window_screenshot BILD.png\n";
    return 2;
  }
  const QString picture = QString::fromLocal8Bit(argv[1]);
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
    saved = index >= 0 && window->grab().save(picture, "PNG");
    window->close();
  });
  look.start();
  // "Auslesen" writes nothing, so the documents folder need not exist; the label shows
  // a folder as on a user's machine.
  std::vector<std::string> arguments = {"brindel", "--demo", "--documents", "/home/anna/Dokumente"};
  std::vector<char*> programArgv;
  for (std::string& argument : arguments)
    programArgv.push_back(argument.data());
  programArgv.push_back(nullptr);
  const int code =
      brindel::app::qt::RunProgram(static_cast<int>(arguments.size()), programArgv.data());
  if (code != 0 || !saved) {
    std::cerr << "Das Bild konnte nicht gemacht werden.\n";
    return 1;
  }
  return 0;
}
