#include "app/win32/MsgDlg.h"

#include <string>

#include "app/win32/Look.h"

#include <windows.h>

namespace brindel::app::win32 {

void ShowMsgDlg(std::u16string_view Msg, TMsgDlgType Kind, HWND Owner) {
  const std::wstring text = ToWide(Msg);
  const std::wstring title = ToWide(MsgDlgCaption(Kind));
  const UINT icon = Kind == TMsgDlgType::mtError ? MB_ICONERROR : MB_ICONINFORMATION;
  // Without an owner the box would hide behind nothing and have no task-bar button;
  // MB_SETFOREGROUND brings it up when the program starts with it.
  const UINT flags = MB_OK | icon | (Owner ? 0u : MB_SETFOREGROUND);
  MessageBoxW(Owner, text.c_str(), title.c_str(), flags);
}

}  // namespace brindel::app::win32
