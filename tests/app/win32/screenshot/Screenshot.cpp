// Starts the Windows window on the demo registry, reads the damaged profile "Büro" as
// a user would (the profile picked in the box, a click on "Auslesen") and saves
// pictures as 24-bit BMP files: the window's client area with the report, the same
// with the page "Profil", and, after "Löschen", the restore dialog with the backups it
// made. Usage: window_screenshot_win32 BERICHT.bmp [PROFIL.bmp WIEDERHERSTELLEN.bmp]

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "app/RegistrySource.h"
#include "app/win32/ControlIds.h"
#include "app/win32/MainWindow.h"
#include "registry/store/RegistryStore.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

namespace {

using brindel::app::TMainState;
using brindel::app::win32::TMainWindow;

struct TSearch {
  int id;
  HWND found;
};

BOOL CALLBACK VisitChild(HWND child, LPARAM param) {
  auto& search = *reinterpret_cast<TSearch*>(param);
  if (GetDlgCtrlID(child) != search.id)
    return TRUE;
  search.found = child;
  return FALSE;
}

HWND FindControl(HWND parent, int id) {
  TSearch search{id, nullptr};
  EnumChildWindows(parent, &VisitChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A message box would wait for a user who is not there: it is answered, and the
// picture is not made.
bool answeredABox = false;

BOOL CALLBACK AnswerBox(HWND window, LPARAM) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (IsWindowVisible(window) && std::wstring(name) == L"#32770") {
    answeredABox = true;
    SendMessageW(window, WM_COMMAND, IDOK, 0);
  }
  return TRUE;
}

void CALLBACK AnswerBoxes(HWND, UINT, UINT_PTR, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), &AnswerBox, 0);
}

// A part of the screen, as drawn, into a 24-bit bitmap file.
bool SaveScreenPart(const RECT& part, const std::wstring& file) {
  const POINT origin{part.left, part.top};
  const int width = part.right - part.left;
  const int height = part.bottom - part.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  // What the screen shows: Wine's PrintWindow draws no child windows. The window is
  // the only one on the program's screen.
  const bool printed =
      BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY) != FALSE;
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) *
                                   static_cast<std::size_t>(height));
  const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                             reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!printed || rows != height)
    return false;

  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  header.bfSize = static_cast<DWORD>(header.bfOffBits + pixels.size());
  info.biSizeImage = static_cast<DWORD>(pixels.size());
  FILE* out = _wfopen(file.c_str(), L"wb");
  if (!out)
    return false;
  const bool written = std::fwrite(&header, sizeof(header), 1, out) == 1 &&
                       std::fwrite(&info, sizeof(info), 1, out) == 1 &&
                       std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return std::fclose(out) == 0 && written;
}

// The client area, as drawn on the screen.
bool SaveClientArea(HWND window, const std::wstring& file) {
  RECT client{};
  GetClientRect(window, &client);
  MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
  return SaveScreenPart(client, file);
}

// The window's whole frame, as drawn on the screen.
bool SaveWindow(HWND window, const std::wstring& file) {
  RECT frame{};
  GetWindowRect(window, &frame);
  return SaveScreenPart(frame, file);
}

// Lets the windows paint themselves and reach the screen.
void Settle(TMainWindow& window, HWND drawn) {
  RedrawWindow(drawn, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  for (int i = 0; i < 10; ++i) {
    Sleep(50);
    window.ProcessMessages();
  }
}

// The restore dialog's picture, taken from a timer while its own loop runs, and the
// dialog cancelled afterwards.
std::wstring restorePicture;
bool restorePictureSaved = false;
int restoreTicks = 0;

void CALLBACK TakeRestorePicture(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND dialog = FindWindowW(brindel::app::win32::kRestoreDlgClass, nullptr);
  if (!dialog || !IsWindowVisible(dialog))
    return;
  // A few ticks for it to paint and reach the screen.
  if (++restoreTicks < 10)
    return;
  KillTimer(nullptr, timer);
  RedrawWindow(dialog, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(200);
  restorePictureSaved = SaveWindow(dialog, restorePicture);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

int MakePictures(const std::vector<std::wstring>& files) {
  // The demo as --demo opens it, with the documents folder of a user's machine, made
  // in the picture's own Wine prefix for the backups of "Löschen".
  brindel::app::TRunOptions options;
  options.Demo = true;
  options.Documents = "C:\\Users\\anna\\Documents";
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(L"C:\\Users\\anna\\Documents"),
                                      ignored);
  brindel::app::TRegistrySource source = brindel::app::OpenRegistrySource(options, false);
  const brindel::registry::store::ScopedCurrentStore current(*source.Store);

  const UINT_PTR timer = SetTimer(nullptr, 0, 20, &AnswerBoxes);
  TMainWindow window([&](brindel::app::TMainDlg& Dlg) {
    return brindel::app::ApplyRunOptions(options, source, Dlg);
  });
  window.Show();
  while (window.Dlg().State() == TMainState::Starting && !answeredABox)
    window.ProcessMessages();

  const HWND profiles = FindControl(window.Handle(), brindel::app::win32::kCbProfiles);
  const LRESULT index = SendMessageW(profiles, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(L"B\u00fcro"));
  if (index == CB_ERR) {
    KillTimer(nullptr, timer);
    return 1;
  }
  // As the user picks it: the box selects it and tells the window.
  SendMessageW(profiles, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(profiles), WM_COMMAND,
               MAKEWPARAM(brindel::app::win32::kCbProfiles, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(profiles));
  SendMessageW(FindControl(window.Handle(), brindel::app::win32::kBtnStart), BM_CLICK, 0, 0);
  window.ProcessMessages();
  // The window reaches the screen a moment after it has painted itself.
  Settle(window, window.Handle());
  bool saved = !answeredABox && SaveClientArea(window.Handle(), files[0]);
  if (saved && files.size() == 3) {
    // The page "Profil", as a click on its tab shows it.
    const HWND tabs = FindControl(window.Handle(), brindel::app::win32::kTabPages);
    SendMessageW(tabs, TCM_SETCURSEL, 1, 0);
    NMHDR change{tabs, static_cast<UINT_PTR>(brindel::app::win32::kTabPages),
                 static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(window.Handle(), WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
    Settle(window, window.Handle());
    saved = !answeredABox && SaveClientArea(window.Handle(), files[1]);
    // "Löschen" makes the backups that the restore dialog lists.
    SendMessageW(FindControl(window.Handle(), brindel::app::win32::kBtnDelete), BM_CLICK, 0, 0);
    Settle(window, window.Handle());
    restorePicture = files[2];
    const UINT_PTR pictureTimer = SetTimer(nullptr, 0, 50, &TakeRestorePicture);
    SendMessageW(FindControl(window.Handle(), brindel::app::win32::kBtnRestore), BM_CLICK, 0, 0);
    KillTimer(nullptr, pictureTimer);
    saved = saved && restorePictureSaved && !answeredABox;
  }
  KillTimer(nullptr, timer);
  return saved ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv || (count != 2 && count != 4)) {
    std::fputs("Aufruf: window_screenshot_win32 BERICHT.bmp [PROFIL.bmp WIEDERHERSTELLEN.bmp]\n",
               stderr);
    return 2;
  }
  const std::vector<std::wstring> files(argv + 1, argv + count);
  LocalFree(argv);
  int code = 1;
  try {
    code = MakePictures(files);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
  }
  if (code != 0)
    std::fputs("Das Bild konnte nicht gemacht werden.\n", stderr);
  return code;
}
