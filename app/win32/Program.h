#pragma once

#include <string>
#include <vector>

#include "app/win32/MainWindow.h"
#include "app/win32/OutlookVersionDlg.h"

namespace brindel::app::win32 {

// The windows the program creates at start, in this order: the main window and one
// selection dialog that stays hidden for the whole run (the dialog of the start-up
// is a new one each time).
struct TProgramWindows {
  explicit TProgramWindows(const TMainWindow::TSettings& Settings) : MainDlg(Settings) {}

  TMainWindow MainDlg;
  TOutlookVersionDlg OutlookVersionDlg;
};

// The GUI program: reads the options from the command line (`Utf8Args` as main gets
// them, the program's name first), opens the registry they name (the live registry
// when they name none), shows the main window and runs the event loop until it is
// closed. Help and wrong usage are shown in message boxes, as the program has no
// console. Returns the exit code.
int RunProgram(const std::vector<std::string>& Utf8Args);

}  // namespace brindel::app::win32
