#pragma once

#include "app/qt/MainWindow.h"
#include "app/qt/OutlookVersionDlg.h"

namespace brindel::app::qt {

// The windows the program creates at start, in this order: the main window and one
// selection dialog that stays hidden for the whole run (the dialog of the start-up
// is a new one each time).
struct TProgramWindows {
  explicit TProgramWindows(const TMainWindow::TSettings& Settings) : MainDlg(Settings) {}

  TMainWindow MainDlg;
  TOutlookVersionDlg OutlookVersionDlg;
};

// The GUI program: reads the registry-source options from the command line (what
// QApplication left of it), opens that registry, shows the main window and runs the
// event loop until it is closed. Returns the exit code. Needs a QApplication.
int RunProgram(int argc, char** argv);

}  // namespace brindel::app::qt
