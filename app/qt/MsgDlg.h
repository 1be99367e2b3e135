#pragma once

#include <string_view>

#include "app/MainView.h"

class QWidget;

namespace brindel::app::qt {

// The modal message box of every window: the title and icon of its kind, the text
// as it is (never read as markup) and one "OK" button, centred on the screen.
// Returns when it is dismissed.
void ShowMsgDlg(std::u16string_view Msg, TMsgDlgType Kind, QWidget* Owner = nullptr);

}  // namespace brindel::app::qt
