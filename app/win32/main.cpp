// brindel.exe: the window on Windows, over the live registry unless the command line
// names another.

#include <string>
#include <vector>

#include "app/win32/Look.h"
#include "app/win32/Program.h"
#include "platform/Text.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

namespace {

// The arguments as UTF-16 from Windows, so that no name is lost to the ANSI code page.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv)
    return arguments;
  for (int i = 0; i < count; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(brindel::platform::ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(argument.data()), argument.size())));
  }
  LocalFree(argv);
  return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  brindel::app::win32::BecomeDpiAware();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
  return brindel::app::win32::RunProgram(Utf8Arguments());
}
