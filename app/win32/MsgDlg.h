#pragma once

#include <string_view>

#include "app/MainView.h"

struct HWND__;

namespace brindel::app::win32 {

// The modal message box of every window: the title and icon of its kind, the text as
// it is and one "OK" button. Without an owner it serves before the main window exists.
// Returns when it is dismissed.
void ShowMsgDlg(std::u16string_view Msg, TMsgDlgType Kind, HWND__* Owner = nullptr);

}  // namespace brindel::app::win32
