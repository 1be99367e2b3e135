// brindel: the window on Linux, over the registry named on the command line.

#include <QApplication>

#include "app/qt/Program.h"

int main(int argc, char** argv) {
  // QApplication takes its own arguments out of argv; the rest are Brindel's.
  QApplication application(argc, argv);
  return brindel::app::qt::RunProgram(argc, argv);
}
