#include "app/win32/QuestionDlg.h"

#include <algorithm>
#include <string>

#include "app/win32/ControlIds.h"
#include "app/win32/Look.h"
#include "app/win32/ModalLoop.h"

#include <windows.h>

namespace brindel::app::win32 {

namespace {

constexpr int kWidth = 460;
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kButtonHeight = 25;

// The state of one question while it is shown.
struct TQuestion {
  bool ended = false;
  bool yes = false;
};

LRESULT CALLBACK QuestionProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* question = reinterpret_cast<TQuestion*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (!question)
    return DefWindowProcW(Window, Msg, WParam, LParam);
  switch (Msg) {
    case WM_COMMAND:
      switch (LOWORD(WParam)) {
        case kBtnYes:
        case IDOK:
          question->yes = true;
          question->ended = true;
          return 0;
        case kBtnNo:
        case IDCANCEL:
          question->ended = true;
          return 0;
        default:
          return 0;
      }
    case WM_CLOSE:
      question->ended = true;
      return 0;
    default:
      return DefWindowProcW(Window, Msg, WParam, LParam);
  }
}

void Register() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &QuestionProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kQuestionDlgClass;
    return RegisterClassExW(&windowClass) != 0;
  }();
  (void)registered;
}

}  // namespace

bool AskQuestion(HWND Owner, std::u16string_view Title, std::u16string_view Text,
                 std::u16string_view Yes, std::u16string_view No) {
  Register();
  TQuestion question;
  RECT ownerRect{};
  if (Owner)
    GetWindowRect(Owner, &ownerRect);
  // On the owner's monitor from the start, so that it gets that monitor's DPI.
  const HWND window = CreateWindowExW(
      WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kQuestionDlgClass, ToWide(Title).c_str(),
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, ownerRect.left, ownerRect.top, kWidth,
      200, Owner, nullptr, GetModuleHandleW(nullptr), &question);
  if (!window)
    return false;
  const int dpi = WindowDpi(window);
  const auto scale = [dpi](int pixels) { return Scale(pixels, dpi); };
  const TFont font(TFontKind::Window, dpi);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto control = [&](const wchar_t* className, const std::wstring& text, DWORD style, int id,
                           int left, int top, int width, int height) {
    const HWND child = CreateWindowExW(
        0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, left, top, width, height, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SetControlFont(child, font);
    return child;
  };

  // The text as high as it needs at this width.
  const std::wstring text = ToWide(Text);
  const int textLeft = scale(kMargin + kIconSize + kMargin);
  const int textWidth = scale(kWidth - kMargin) - textLeft;
  int textHeight = scale(kIconSize);
  if (HDC dc = GetDC(window)) {
    const HGDIOBJ old = SelectObject(dc, font.Handle());
    RECT needed{0, 0, textWidth, 0};
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    textHeight = std::max<int>(textHeight, needed.bottom);
  }
  const HWND icon = control(L"STATIC", L"", SS_ICON, kIcoQuestion, scale(kMargin), scale(kMargin),
                            scale(kIconSize), scale(kIconSize));
  SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_QUESTION)), 0);
  control(L"STATIC", text, SS_LEFT | SS_NOPREFIX, kLblQuestion, textLeft, scale(kMargin), textWidth,
          textHeight);
  const int buttonsTop = scale(kMargin) + textHeight + scale(2 * kMargin);
  const int noWidth = scale(90);
  const int yesWidth = scale(110);
  const int noLeft = scale(kWidth - kMargin) - noWidth;
  const HWND yes =
      control(L"BUTTON", ToWide(Yes), BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, kBtnYes,
              noLeft - scale(6) - yesWidth, buttonsTop, yesWidth, scale(kButtonHeight));
  control(L"BUTTON", ToWide(No), BS_PUSHBUTTON | WS_TABSTOP, kBtnNo, noLeft, buttonsTop, noWidth,
          scale(kButtonHeight));
  SetClientSize(window, scale(kWidth), buttonsTop + scale(kButtonHeight + kMargin));
  CenterOnScreen(window);
  RunModal(window, Owner, yes, question.ended);
  DestroyWindow(window);
  return question.yes;
}

}  // namespace brindel::app::win32
