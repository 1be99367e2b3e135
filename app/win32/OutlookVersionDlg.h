#pragma once

#include <string_view>

#include "app/MainView.h"
#include "app/win32/Look.h"

struct HWND__;

namespace brindel::app::win32 {

class TOutlookVersionDlgProc;

// "Auswahl der Outlook Version": one button per installation, the higher one left.
// It has no cancel: closing it chooses the higher version, and Escape does nothing.
// The window is made hidden with the object and destroyed with it.
class TOutlookVersionDlg {
 public:
  // `Owner` stays disabled while the dialog is shown; none makes it stand alone.
  explicit TOutlookVersionDlg(HWND__* Owner = nullptr);
  ~TOutlookVersionDlg();
  TOutlookVersionDlg(const TOutlookVersionDlg&) = delete;
  TOutlookVersionDlg& operator=(const TOutlookVersionDlg&) = delete;

  // The captions of the two buttons: NameAndBit of the first and second installation.
  void SetInstallations(std::u16string_view First, std::u16string_view Second);
  // Shows the dialog in the middle of the screen and handles messages until it ends;
  // returns how it ended. A quit message ends it as the close box does and stays
  // queued for the program's own loop.
  TVersionChoice ShowModal();
  // How the dialog ended; Closed until a button was clicked.
  TVersionChoice Choice() const { return choice_; }
  HWND__* Handle() const { return hwnd_; }

 private:
  friend class TOutlookVersionDlgProc;

  void CreateControls();
  // The one click handler of both buttons; the button's tag is its installation's index.
  void btnOutlook0Click(HWND__* Sender);
  // The close box, Alt+F4 and the window menu's close: the higher version.
  void WMSysCommandClose();

  HWND__* owner_;
  HWND__* hwnd_ = nullptr;
  HWND__* Label1 = nullptr;
  // "Auswahl merken": shown, never read; the choice holds for this run only.
  HWND__* chkRemOVersion = nullptr;
  HWND__* btnOutlook0 = nullptr;
  HWND__* btnOutlook1 = nullptr;
  TFont windowFont_;
  TFont buttonFont_;

  TVersionChoice choice_ = TVersionChoice::Closed;
  bool bChosen = false;
  bool bEnded = false;
};

}  // namespace brindel::app::win32
