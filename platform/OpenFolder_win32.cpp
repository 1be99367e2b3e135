#include <windows.h>

#include <shellapi.h>

#include <string>

#include "platform/OpenFolder.h"

namespace brindel::platform {

void OpenFolder(std::u16string_view folder, void* owner) {
  const std::wstring parameter = L"\"" + std::wstring(folder.begin(), folder.end()) + L"\"";
  ::ShellExecuteW(static_cast<HWND>(owner), L"open", L"explorer.exe", parameter.c_str(), nullptr,
                  SW_SHOWNORMAL);
}

}  // namespace brindel::platform
