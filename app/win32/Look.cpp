#include "app/win32/Look.h"

#include <algorithm>

#include <windows.h>

namespace brindel::app::win32 {

std::wstring ToWide(std::u16string_view Text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(Text.data()), Text.size());
}

std::u16string FromWide(std::wstring_view Text) {
  return std::u16string(reinterpret_cast<const char16_t*>(Text.data()), Text.size());
}

std::u16string WindowText(HWND Window) {
  const int length = GetWindowTextLengthW(Window);
  if (length <= 0)
    return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(Window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return FromWide(text);
}

void BecomeDpiAware() {
  using TSetContext = BOOL(WINAPI*)(HANDLE);
  const auto setContext = reinterpret_cast<TSetContext>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  if (setContext && setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))))
    return;
  SetProcessDPIAware();
}

int WindowDpi(HWND Window) {
  // GetDpiForWindow exists from Windows 10 1607 on; the program runs on older ones too.
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow && Window) {
    const UINT dpi = getDpiForWindow(Window);
    if (dpi > 0)
      return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
  if (screen)
    ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int Scale(int Pixels, int Dpi) {
  return MulDiv(Pixels, Dpi, USER_DEFAULT_SCREEN_DPI);
}

TFont::TFont(TFontKind Kind, int Dpi) {
  const bool log = Kind == TFontKind::Log;
  const int points = Kind == TFontKind::Window ? 8 : 10;
  // A negative height asks for the character height, which is what a point size means.
  font_ = CreateFontW(-MulDiv(points, Dpi, 72), 0, 0, 0,
                      Kind == TFontKind::Button ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      static_cast<DWORD>(log ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_SWISS),
                      log ? L"Courier New" : L"Tahoma");
}

TFont::~TFont() {
  if (font_)
    DeleteObject(font_);
}

TFont::TFont(TFont&& Other) noexcept : font_(Other.font_) {
  Other.font_ = nullptr;
}

TFont& TFont::operator=(TFont&& Other) noexcept {
  if (this != &Other) {
    if (font_)
      DeleteObject(font_);
    font_ = Other.font_;
    Other.font_ = nullptr;
  }
  return *this;
}

void SetControlFont(HWND Control, const TFont& Font) {
  SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(Font.Handle()), FALSE);
}

void CenterOnScreen(HWND Window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromWindow(Window, MONITOR_DEFAULTTOPRIMARY), &monitor))
    return;
  RECT frame{};
  GetWindowRect(Window, &frame);
  const RECT& area = monitor.rcWork;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(Window, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FitIntoWorkArea(HWND Window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromWindow(Window, MONITOR_DEFAULTTONEAREST), &monitor))
    return;
  RECT frame{};
  GetWindowRect(Window, &frame);
  const RECT& area = monitor.rcWork;
  const int width = std::min<int>(frame.right - frame.left, area.right - area.left);
  const int height = std::min<int>(frame.bottom - frame.top, area.bottom - area.top);
  const int left = std::clamp<int>(frame.left, area.left, area.right - width);
  const int top = std::clamp<int>(frame.top, area.top, area.bottom - height);
  if (left == frame.left && top == frame.top && width == frame.right - frame.left &&
      height == frame.bottom - frame.top) {
    return;
  }
  SetWindowPos(Window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetClientSize(HWND Window, int Width, int Height) {
  RECT frame{0, 0, Width, Height};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(Window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(Window, GWL_EXSTYLE));
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  SetWindowPos(Window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A menu bar or a caption that wraps can take more than the estimate; correct once.
  RECT client{};
  GetClientRect(Window, &client);
  const int dw = Width - (client.right - client.left);
  const int dh = Height - (client.bottom - client.top);
  if (dw != 0 || dh != 0) {
    SetWindowPos(Window, nullptr, 0, 0, frame.right - frame.left + dw,
                 frame.bottom - frame.top + dh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

std::wstring PlainButtonCaption(std::u16string_view Text) {
  std::wstring caption;
  for (char16_t c : Text) {
    if (c == u'&')
      caption += L'&';
    caption += static_cast<wchar_t>(c);
  }
  return caption;
}

}  // namespace brindel::app::win32
