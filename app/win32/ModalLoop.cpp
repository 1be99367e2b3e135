#include "app/win32/ModalLoop.h"

#include <windows.h>

namespace brindel::app::win32 {

void RunModal(HWND Window, HWND Owner, HWND FirstFocus, const bool& Ended) {
  const bool ownerEnabled = Owner && IsWindowEnabled(Owner);
  if (ownerEnabled)
    EnableWindow(Owner, FALSE);
  ShowWindow(Window, SW_SHOW);
  SetForegroundWindow(Window);
  if (FirstFocus)
    SetFocus(FirstFocus);
  MSG msg;
  while (!Ended && IsWindow(Window)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1)
      break;
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!IsDialogMessageW(Window, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (ownerEnabled)
    EnableWindow(Owner, TRUE);
  if (IsWindow(Window))
    ShowWindow(Window, SW_HIDE);
}

}  // namespace brindel::app::win32
