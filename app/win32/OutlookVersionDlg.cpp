#include "app/win32/OutlookVersionDlg.h"

#include <algorithm>
#include <string>

#include "app/win32/ControlIds.h"

#include <windows.h>

namespace brindel::app::win32 {

namespace {

constexpr int kMargin = 20;
constexpr int kWidth = 447;
constexpr int kHeight = 211;
constexpr int kPanelTop = 46;
constexpr COLORREF kBackground = RGB(226, 231, 243);

constexpr wchar_t kLabelText[] =
    L"Auf diesem Rechner wurden zwei Outlook-Installationen gefunden! Wählen Sie aus, welche "
    L"Version Sie aktuell sichern bzw. wiederherstellen wollen!";

HBRUSH BackgroundBrush() {
  // Lives as long as the window class that paints with it: the whole process.
  static const HBRUSH brush = CreateSolidBrush(kBackground);
  return brush;
}

}  // namespace

// The window procedure, a friend so that it reaches the dialog's handlers.
class TOutlookVersionDlgProc {
 public:
  static void Register() {
    static const bool registered = [] {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof(windowClass);
      windowClass.lpfnWndProc = &Proc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      windowClass.hbrBackground = BackgroundBrush();
      windowClass.lpszClassName = kOutlookVersionDlgClass;
      return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
  }

  static LRESULT CALLBACK Proc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
      SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* dialog = reinterpret_cast<TOutlookVersionDlg*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
    if (!dialog)
      return DefWindowProcW(Window, Msg, WParam, LParam);
    switch (Msg) {
      case WM_COMMAND: {
        const int id = LOWORD(WParam);
        const auto sender = reinterpret_cast<HWND>(LParam);
        if ((id == kBtnOutlook0 || id == kBtnOutlook1) && HIWORD(WParam) == BN_CLICKED) {
          dialog->btnOutlook0Click(sender);
        } else if (id == IDOK) {
          // Enter clicks the button that has the focus, as in a dialog; none is the default.
          const HWND focus = GetFocus();
          if (focus == dialog->btnOutlook0 || focus == dialog->btnOutlook1)
            dialog->btnOutlook0Click(focus);
        }
        // IDCANCEL, which Escape sends, finds no cancel button here.
        return 0;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN: {
        // The label and the check box stand on the dialog's own colour.
        const auto dc = reinterpret_cast<HDC>(WParam);
        SetBkColor(dc, kBackground);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(BackgroundBrush());
      }
      case WM_SYSCOMMAND:
        if ((WParam & 0xFFF0) == SC_CLOSE)
          dialog->WMSysCommandClose();
        return DefWindowProcW(Window, Msg, WParam, LParam);
      case WM_CLOSE:
        // The modal loop ends; the window stays for the object, hidden.
        dialog->bEnded = true;
        return 0;
      case WM_DESTROY:
        dialog->bEnded = true;
        dialog->hwnd_ = nullptr;
        SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
        return 0;
      default:
        return DefWindowProcW(Window, Msg, WParam, LParam);
    }
  }
};

TOutlookVersionDlg::TOutlookVersionDlg(HWND Owner) : owner_(Owner) {
  TOutlookVersionDlgProc::Register();
  // On the owner's monitor from the start, so that it gets that monitor's DPI.
  RECT ownerRect{};
  if (Owner)
    GetWindowRect(Owner, &ownerRect);
  hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kOutlookVersionDlgClass,
                          L"Auswahl der Outlook Version",
                          WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, ownerRect.left,
                          ownerRect.top, kWidth, kHeight, Owner, nullptr, GetModuleHandleW(nullptr),
                          this);
  if (hwnd_)
    CreateControls();
}

TOutlookVersionDlg::~TOutlookVersionDlg() {
  if (hwnd_)
    DestroyWindow(hwnd_);
}

void TOutlookVersionDlg::CreateControls() {
  const int dpi = WindowDpi(hwnd_);
  auto scale = [dpi](int pixels) { return Scale(pixels, dpi); };
  SetClientSize(hwnd_, scale(kWidth), scale(kHeight));
  windowFont_ = TFont(TFontKind::Window, dpi);
  buttonFont_ = TFont(TFontKind::Button, dpi);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  auto control = [&](const wchar_t* className, const wchar_t* text, DWORD style, int id, int left,
                     int top, int width, int height, const TFont& font) {
    HWND child = CreateWindowExW(
        0, className, text, WS_CHILD | WS_VISIBLE | style, scale(left), scale(top), scale(width),
        scale(height), hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SetControlFont(child, font);
    return child;
  };

  // Two lines in Tahoma; a wider substitute font may need a third, which the space
  // above the check box still holds.
  const int labelWidth = kWidth - 2 * kMargin;
  int labelHeight = 26;
  if (HDC dc = GetDC(hwnd_)) {
    const HGDIOBJ old = SelectObject(dc, windowFont_.Handle());
    RECT needed{0, 0, scale(labelWidth), 0};
    DrawTextW(dc, kLabelText, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    labelHeight = std::max(labelHeight, MulDiv(needed.bottom, USER_DEFAULT_SCREEN_DPI, dpi) + 1);
  }
  Label1 = control(L"STATIC", kLabelText, SS_LEFT | SS_NOPREFIX, kLabel1, kMargin, kMargin,
                   labelWidth, labelHeight, windowFont_);

  // The panel below the label holds no window of its own: its controls sit on the
  // dialog at the panel's offset, on the dialog's colour.
  chkRemOVersion = control(L"BUTTON", L"Auswahl merken", BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP,
                           kChkRemOVersion, kMargin + 152, kPanelTop + 28, 145, 17, windowFont_);
  // A long name (an unknown version with its build suffix) wraps instead of being cut.
  btnOutlook0 = control(L"BUTTON", L"", BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP, kBtnOutlook0,
                        kMargin + 24, kPanelTop + 64, 161, 73, buttonFont_);
  btnOutlook1 = control(L"BUTTON", L"", BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP, kBtnOutlook1,
                        kMargin + 224, kPanelTop + 64, 161, 73, buttonFont_);
}

void TOutlookVersionDlg::SetInstallations(std::u16string_view First, std::u16string_view Second) {
  SetWindowTextW(btnOutlook0, PlainButtonCaption(First).c_str());
  SetWindowTextW(btnOutlook1, PlainButtonCaption(Second).c_str());
}

void TOutlookVersionDlg::btnOutlook0Click(HWND Sender) {
  choice_ = Sender == btnOutlook0 ? TVersionChoice::First : TVersionChoice::Second;
  bChosen = true;
  bEnded = true;
}

void TOutlookVersionDlg::WMSysCommandClose() {
  // The higher version, unless a button has already chosen.
  if (!bChosen)
    choice_ = TVersionChoice::Closed;
}

TVersionChoice TOutlookVersionDlg::ShowModal() {
  choice_ = TVersionChoice::Closed;
  bChosen = false;
  bEnded = false;
  if (!hwnd_)
    return choice_;
  CenterOnScreen(hwnd_);
  // Modal for the application: the owner takes no input until the dialog has ended.
  const bool ownerEnabled = owner_ && IsWindowEnabled(owner_);
  if (ownerEnabled)
    EnableWindow(owner_, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(chkRemOVersion);
  MSG msg;
  while (!bEnded) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1)
      break;
    if (got == 0) {
      // The program is ending: the quit message belongs to its own loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!hwnd_ || !IsDialogMessageW(hwnd_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // The owner is enabled before the dialog goes, so that it becomes the active window
  // again instead of another program's.
  if (ownerEnabled)
    EnableWindow(owner_, TRUE);
  if (hwnd_)
    ShowWindow(hwnd_, SW_HIDE);
  return choice_;
}

}  // namespace brindel::app::win32
