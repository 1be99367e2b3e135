// The window tests: one program for all test classes, on the offscreen platform
// unless another one is asked for.

#include <QApplication>

#include "tests/app/qt/QtTests.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  int failed = 0;
  failed += brindel::test::RunMainWindowTest(argc, argv);
  failed += brindel::test::RunMainWindowKeyboardTest(argc, argv);
  failed += brindel::test::RunOutlookVersionDlgTest(argc, argv);
  failed += brindel::test::RunProgramTest(argc, argv);
  return failed == 0 ? 0 : 1;
}
