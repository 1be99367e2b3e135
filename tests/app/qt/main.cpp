// The window tests: one program for all test classes, on the offscreen platform with
// two screens unless another platform is asked for.

#include <QApplication>
#include <QTemporaryFile>

#include "tests/app/qt/QtTests.h"

namespace {

// The offscreen platform's screens: one of 1280 x 1024 at 100 %, as the Windows tests
// have, and right of it one of 1280 x 900 at 150 %, where the window's design does
// not fit (853 x 600 in the window's pixels).
constexpr char kScreens[] = R"({
  "screens": [
    {"name": "Bildschirm 1", "x": 0, "y": 0, "width": 1280, "height": 1024,
     "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
    {"name": "Bildschirm 2", "x": 1280, "y": 0, "width": 1280, "height": 900,
     "logicalDpi": 144, "logicalBaseDpi": 96, "dpr": 1}
  ]
})";

}  // namespace

int main(int argc, char** argv) {
  QTemporaryFile screens;
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.isEmpty() || platform == "offscreen") {
    if (screens.open() && screens.write(kScreens) > 0 && screens.flush())
      qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    else
      qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  int failed = 0;
  failed += brindel::test::RunMainWindowTest(argc, argv);
  failed += brindel::test::RunMainWindowKeyboardTest(argc, argv);
  failed += brindel::test::RunMainWindowScreenTest(argc, argv);
  failed += brindel::test::RunMainWindowMapTest(argc, argv);
  failed += brindel::test::RunMainWindowRestoreTest(argc, argv);
  failed += brindel::test::RunOutlookVersionDlgTest(argc, argv);
  failed += brindel::test::RunProgramTest(argc, argv);
  return failed == 0 ? 0 : 1;
}
