#include "app/win32/MainWindow.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <utility>

#include "app/FocusOrder.h"
#include "app/RestoreChoice.h"
#include "app/Version.h"
#include "app/win32/ControlIds.h"
#include "app/win32/MapTree.h"
#include "app/win32/MsgDlg.h"
#include "app/win32/OutlookVersionDlg.h"
#include "app/win32/RestoreDlg.h"
#include "platform/Errors.h"
#include "platform/OpenFolder.h"
#include "platform/Text.h"
#include "profile/ProfileMap.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

namespace brindel::app::win32 {

namespace {

constexpr int kClientWidth = 754;
constexpr int kClientHeight = 623;
constexpr int kPanelHeight = 81;
// The drop-down list of the profile box shows this many pixels of items.
constexpr int kProfileListHeight = 200;

template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F Undo) : undo_(std::move(Undo)) {}
  ~TScopeExit() { undo_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F undo_;
};

// Whether a released mouse button ends a click on Window: it was pressed there (the
// window holds the capture) and is released over it. Releases the capture.
bool ClickEnds(HWND Window, LPARAM LParam) {
  if (GetCapture() != Window)
    return false;
  ReleaseCapture();
  RECT client{};
  GetClientRect(Window, &client);
  const POINT at{static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))};
  return PtInRect(&client, at) != FALSE;
}

// What escapes a handler of the flow (which shows its own errors) is shown here, since
// an exception must not leave a window procedure.
void ShowEscapedError(HWND Owner) {
  try {
    throw;
  } catch (const platform::Exception& error) {
    ShowMsgDlg(error.Message(), TMsgDlgType::mtError, Owner);
  } catch (const std::exception& error) {
    ShowMsgDlg(platform::FromUtf8(error.what()), TMsgDlgType::mtError, Owner);
  } catch (...) {
    ShowMsgDlg(u"Unbekannter Fehler.", TMsgDlgType::mtError, Owner);
  }
}

// The log's lines: CR LF, a lone CR and a lone LF each end a line, as when a memo's
// text is set. Text after the last line break is a line only when it is not empty.
std::vector<std::u16string> SplitLines(std::u16string_view Text) {
  std::vector<std::u16string> lines;
  std::u16string line;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char16_t c = Text[i];
    if (c == u'\r' || c == u'\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n')
        ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty())
    lines.push_back(std::move(line));
  return lines;
}

}  // namespace

// The window procedures of the main window and its panel, a friend so that they reach
// the window's handlers.
class TMainWindowProc {
 public:
  static void Register() {
    static const bool registered = [] {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof(windowClass);
      // Drawn anew whole when the size changes: the panel's edge runs along its right
      // side, which moves.
      windowClass.style = CS_HREDRAW | CS_VREDRAW;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      windowClass.lpfnWndProc = &Main;
      windowClass.lpszClassName = kMainDlgClass;
      const bool main = RegisterClassExW(&windowClass) != 0;
      windowClass.lpfnWndProc = &Panel;
      windowClass.lpszClassName = kPanelClass;
      return main && RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
  }

  static TMainWindow* Of(HWND Window) {
    return reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  }

  static LRESULT CALLBACK Main(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(LParam);
      SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    TMainWindow* window = Of(Window);
    if (!window)
      return DefWindowProcW(Window, Msg, WParam, LParam);
    try {
      switch (Msg) {
        case kWmStartUp:
          window->RunStartMessage();
          return 0;
        case WM_COMMAND:
          window->OnCommand(LOWORD(WParam), HIWORD(WParam));
          return 0;
        case WM_NOTIFY:
          return window->OnNotify(reinterpret_cast<const void*>(LParam));
        case WM_SIZE:
          window->Layout();
          return 0;
        case WM_LBUTTONDOWN:
          SetCapture(Window);
          return 0;
        case WM_LBUTTONUP:
          if (ClickEnds(Window, LParam))
            window->Handle([window] { window->dlg_.FormClick(); });
          return 0;
        case WM_ACTIVATE:
          if (LOWORD(WParam) == WA_INACTIVE)
            window->RememberFocus();
          // The window then takes the focus itself and hands it on (WM_SETFOCUS).
          break;
        case WM_SETFOCUS:
          window->RestoreFocus();
          return 0;
        case WM_CLOSE:
          // Closing while a handler runs would end the program half-way through an action.
          if (window->CanClose())
            DestroyWindow(Window);
          return 0;
        case WM_DESTROY:
          window->OnDestroyed();
          return 0;
        case WM_DPICHANGED: {
          window->dpi_ = HIWORD(WParam);
          window->CreateFonts();
          const auto* suggested = reinterpret_cast<const RECT*>(LParam);
          SetWindowPos(Window, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
          // The size suggested for the new scale may be more than the new monitor has.
          FitIntoWorkArea(Window);
          window->PlaceControls();
          // The fonts were set without drawing.
          RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
          return 0;
        }
        default:
          break;
      }
    } catch (...) {
      ShowEscapedError(Window);
      return 0;
    }
    return DefWindowProcW(Window, Msg, WParam, LParam);
  }

  // The panel passes its controls' notifications on to the window and takes its own
  // clicks, so that none reaches the window's background.
  static LRESULT CALLBACK Panel(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(LParam);
      SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    TMainWindow* window = Of(Window);
    if (!window)
      return DefWindowProcW(Window, Msg, WParam, LParam);
    switch (Msg) {
      case WM_COMMAND:
        if (window->hwnd_)
          return SendMessageW(window->hwnd_, Msg, WParam, LParam);
        return 0;
      case WM_LBUTTONDOWN:
        SetCapture(Window);
        return 0;
      case WM_LBUTTONUP:
        if (ClickEnds(Window, LParam)) {
          try {
            window->Handle([window] { window->dlg_.Panel1Click(); });
          } catch (...) {
            ShowEscapedError(window->hwnd_);
          }
        }
        return 0;
      case WM_SETCURSOR:
        // The label opens the backup folder: it shows the hand of a link.
        if (reinterpret_cast<HWND>(WParam) == window->lblBackupFolder) {
          SetCursor(LoadCursorW(nullptr, IDC_HAND));
          return TRUE;
        }
        break;
      case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(Window, &paint)) {
          DrawPanelEdge(Window, dc);
          EndPaint(Window, &paint);
        }
        return 0;
      }
      case WM_PRINTCLIENT:
        DrawPanelEdge(Window, reinterpret_cast<HDC>(WParam));
        return 0;
      default:
        break;
    }
    return DefWindowProcW(Window, Msg, WParam, LParam);
  }

  // The report is a multi-line edit, which wants every key: Tab would go into the
  // text instead of to the next control, and Escape would close the window that holds
  // it, as it closes a dialog. Here Tab moves on and Escape does nothing, as on the
  // other controls.
  static LRESULT CALLBACK Report(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR Id,
                                 DWORD_PTR) {
    switch (Msg) {
      case WM_GETDLGCODE: {
        LRESULT code = DefSubclassProc(Window, Msg, WParam, LParam);
        const auto* key = reinterpret_cast<const MSG*>(LParam);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_TAB)
          code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
        return code;
      }
      case WM_KEYDOWN:
      case WM_CHAR:
        if (WParam == VK_ESCAPE)
          return 0;
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(Window, &Report, Id);
        break;
      default:
        break;
    }
    return DefSubclassProc(Window, Msg, WParam, LParam);
  }

  // A raised panel, as the window's top bar has always looked.
  static void DrawPanelEdge(HWND Window, HDC Dc) {
    RECT client{};
    GetClientRect(Window, &client);
    DrawEdge(Dc, &client, BDR_RAISEDINNER, BF_RECT);
  }
};

TMainWindow::TMainWindow(const TSettings& Settings) : dlg_(*this) {
  TMainWindowProc::Register();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES;
  InitCommonControlsEx(&controls);
  const std::wstring caption = L"Brindel " + ToWide(kVersionCaption16);
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kMainDlgClass, caption.c_str(),
                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                          kClientWidth, kClientHeight, nullptr, nullptr, GetModuleHandleW(nullptr),
                          this);
  if (!hwnd_) {
    throw platform::Exception(u"Das Hauptfenster kann nicht angelegt werden.");
  }
  dpi_ = WindowDpi(hwnd_);
  CreateControls();
  SetClientSize(hwnd_, Scale(kClientWidth, dpi_), Scale(kClientHeight, dpi_));
  // At a large scale on a small screen the layout's size is more than the screen has.
  FitIntoWorkArea(hwnd_);
  PlaceControls();
  try {
    dlg_.FormCreate(Settings ? Settings(dlg_) : std::nullopt);
  } catch (...) {
    // No destructor runs for a half-made object: its window must not outlive it.
    bQuitOnClose = false;
    DestroyWindow(hwnd_);
    throw;
  }
}

TMainWindow::~TMainWindow() {
  // Going with the object is no closing by the user: the program's loop is not ended.
  bQuitOnClose = false;
  if (hwnd_)
    DestroyWindow(hwnd_);
}

void TMainWindow::CreateFonts() {
  windowFont_ = TFont(TFontKind::Window, dpi_);
  logFont_ = TFont(TFontKind::Log, dpi_);
  for (HWND control :
       {cbProfiles, btnStart, btnDelete, btnRestore, lblBackupFolder, tabPages, tvProfileMap}) {
    if (control)
      SetControlFont(control, windowFont_);
  }
  if (Memo1)
    SetControlFont(Memo1, logFont_);
}

void TMainWindow::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  auto child = [&](HWND parent, DWORD exStyle, const wchar_t* className, const wchar_t* text,
                   DWORD style, int id, void* param = nullptr) {
    return CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                           param);
  };
  Panel1 = child(hwnd_, WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CLIPCHILDREN, kPanel1, this);
  cbProfiles =
      child(Panel1, 0, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kCbProfiles);
  // Alt+A and Alt+L; the '&' only underlines the letter.
  btnStart = child(Panel1, 0, L"BUTTON", L"&Auslesen", BS_PUSHBUTTON | WS_TABSTOP, kBtnStart);
  btnDelete = child(Panel1, 0, L"BUTTON", L"&Löschen", BS_PUSHBUTTON | WS_TABSTOP, kBtnDelete);
  // Alt+W.
  btnRestore = child(Panel1, 0, L"BUTTON", L"&Wiederherstellen\u2026", BS_PUSHBUTTON | WS_TABSTOP,
                     kBtnRestore);
  EnableWindow(btnRestore, FALSE);
  lblBackupFolder = child(Panel1, 0, L"STATIC", L"Backupordner: ",
                          SS_LEFT | SS_NOPREFIX | SS_NOTIFY, kLblBackupFolder);
  // The strip of the two pages; the pages themselves lie below it, as wide as the
  // window, so that the report keeps its place and size as it has always had them.
  tabPages = child(hwnd_, 0, WC_TABCONTROLW, L"", WS_TABSTOP | WS_CLIPSIBLINGS, kTabPages);
  for (const wchar_t* caption : {L"Bericht", L"Profil"}) {
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<wchar_t*>(caption);
    const auto index = SendMessageW(tabPages, TCM_GETITEMCOUNT, 0, 0);
    SendMessageW(tabPages, TCM_INSERTITEMW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&tab));
  }
  // Long lines scroll sideways, so a log line is one line on screen too.
  Memo1 = child(hwnd_, WS_EX_CLIENTEDGE, L"EDIT", L"",
                ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL |
                    WS_HSCROLL | WS_VSCROLL | WS_TABSTOP,
                kMemo1);
  // An edit control holds 32767 characters unless told otherwise; a log of a large
  // profile is longer.
  SendMessageW(Memo1, EM_SETLIMITTEXT, 0, 0);
  SetWindowSubclass(Memo1, &TMainWindowProc::Report, 0, 0);
  tvProfileMap =
      child(hwnd_, WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
            TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP,
            kTvProfileMap);
  ShowWindow(tvProfileMap, SW_HIDE);
  CreateFonts();
  ClearProfileMap();
}

void TMainWindow::PlaceControls() {
  auto place = [this](HWND control, int left, int top, int width, int height) {
    SetWindowPos(control, nullptr, Scale(left, dpi_), Scale(top, dpi_), Scale(width, dpi_),
                 Scale(height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
  };
  // A drop-down list's height is its list's; the box itself takes its font's height.
  place(cbProfiles, 24, 23, 297, 21 + kProfileListHeight);
  place(btnStart, 342, 21, 75, 25);
  place(btnDelete, 423, 21, 75, 25);
  // After the other two, wider for its longer caption.
  place(btnRestore, 504, 21, 110, 25);
  SizeLabelToText();
  Layout();
}

void TMainWindow::SizeLabelToText() {
  const std::wstring text = ToWide(WindowText(lblBackupFolder));
  SIZE extent{0, 0};
  if (HDC dc = GetDC(lblBackupFolder)) {
    const HGDIOBJ old = SelectObject(dc, windowFont_.Handle());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    extent.cy = metrics.tmHeight;
    SelectObject(dc, old);
    ReleaseDC(lblBackupFolder, dc);
  }
  SetWindowPos(lblBackupFolder, nullptr, Scale(24, dpi_), Scale(56, dpi_), extent.cx, extent.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

int TMainWindow::TabStripHeight() const {
  // The tabs and the edge below them: where the tab control's own page would begin.
  RECT area{0, 0, Scale(kClientWidth, dpi_), Scale(kClientHeight, dpi_)};
  SendMessageW(tabPages, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  return area.top > 0 ? static_cast<int>(area.top) : Scale(24, dpi_);
}

void TMainWindow::Layout() {
  if (!Panel1 || !Memo1 || !tabPages || !tvProfileMap)
    return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int panelHeight = Scale(kPanelHeight, dpi_);
  SetWindowPos(Panel1, nullptr, 0, 0, client.right, panelHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  const int strip = TabStripHeight();
  SetWindowPos(tabPages, nullptr, 0, panelHeight, client.right, strip,
               SWP_NOZORDER | SWP_NOACTIVATE);
  const int top = panelHeight + strip;
  for (HWND page : {Memo1, tvProfileMap}) {
    SetWindowPos(page, nullptr, 0, top, client.right, client.bottom > top ? client.bottom - top : 0,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TMainWindow::Show() {
  if (!hwnd_)
    return;
  if (!bShown) {
    bShown = true;
    dlg_.FormShow();
  }
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
}

int TMainWindow::RunMessageLoop() {
  MSG msg{};
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0)
      return static_cast<int>(msg.wParam);
    if (got == -1)
      return 1;
    DispatchLoopMessage(msg);
  }
}

void TMainWindow::DispatchLoopMessage(tagMSG& Msg) {
  // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+Page Down and Ctrl+Page Up turn the pages from
  // anywhere in the window, as in a tabbed dialog.
  if (hwnd_ && Msg.message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 &&
      (Msg.hwnd == hwnd_ || IsChild(hwnd_, Msg.hwnd))) {
    if (Msg.wParam == VK_TAB) {
      TurnPage(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
      return;
    }
    if (Msg.wParam == VK_NEXT || Msg.wParam == VK_PRIOR) {
      TurnPage(Msg.wParam == VK_NEXT ? 1 : -1);
      return;
    }
  }
  // Tab moves between the controls; Enter and Escape send IDOK and IDCANCEL, which
  // the window does not act on.
  if (hwnd_ && IsDialogMessageW(hwnd_, &Msg))
    return;
  TranslateMessage(&Msg);
  DispatchMessageW(&Msg);
}

bool TMainWindow::Handle(const std::function<void()>& Handler, HWND FocusAfter) {
  if (dlg_.Busy())
    return false;
  const HWND focusBefore = FocusedControl() ? FocusedControl() : focus_;
  const TScopeExit done([this, focusBefore, FocusAfter] {
    FlushLog();
    SettleFocus(focusBefore, FocusAfter);
    // A start message that came while the handler ran gets its turn now.
    if (bStartDeferred && hwnd_) {
      bStartDeferred = false;
      PostMessageW(hwnd_, kWmStartUp, 0, 0);
    }
  });
  Handler();
  return true;
}

void TMainWindow::OnCommand(int Id, int Code) {
  switch (Id) {
    case kCbProfiles:
      if (Code == CBN_SELCHANGE) {
        // Only a change by the user reaches here; picking the profile that was already
        // selected is no change.
        const int selected = SelectedProfile();
        if (selected == lastSelected_)
          return;
        lastSelected_ = selected;
        Handle([this] { dlg_.cbProfilesChange(); });
      }
      return;
    case kBtnStart:
      // What "Auslesen" has found is for "Löschen", the next step.
      if (Code == BN_CLICKED)
        Handle([this] { dlg_.btnStartClick(); }, btnDelete);
      return;
    case kBtnDelete:
      if (Code == BN_CLICKED)
        Handle([this] { dlg_.btnDeleteClick(); });
      return;
    case kBtnRestore:
      if (Code == BN_CLICKED)
        btnRestoreClick();
      return;
    case kLblBackupFolder:
      if (Code == STN_CLICKED)
        Handle([this] { dlg_.lblBackupFolderClick(); });
      return;
    default:
      return;
  }
}

std::intptr_t TMainWindow::OnNotify(const void* Header) {
  const auto* header = static_cast<const NMHDR*>(Header);
  if (header->hwndFrom == tabPages && header->code == TCN_SELCHANGE) {
    ShowPage(static_cast<int>(SendMessageW(tabPages, TCM_GETCURSEL, 0, 0)));
    return 0;
  }
  if (header->hwndFrom == tvProfileMap && header->code == NM_CUSTOMDRAW)
    return DrawMapTreeItem(const_cast<NMHDR*>(header));
  return 0;
}

void TMainWindow::OnDestroyed() {
  hwnd_ = nullptr;
  focus_ = nullptr;
  Panel1 = cbProfiles = btnStart = btnDelete = btnRestore = lblBackupFolder = Memo1 = nullptr;
  tabPages = tvProfileMap = nullptr;
  if (bQuitOnClose)
    PostQuitMessage(0);
}

void TMainWindow::RunStartMessage() {
  if (startHandlers_.empty())
    return;
  // A posted message waits for a running handler rather than being dropped.
  if (dlg_.Busy()) {
    bStartDeferred = true;
    return;
  }
  std::function<void()> handler = std::move(startHandlers_.front());
  startHandlers_.pop_front();
  Handle(handler);
}

void TMainWindow::ClearProfiles() {
  SendMessageW(cbProfiles, CB_RESETCONTENT, 0, 0);
  lastSelected_ = -1;
}

void TMainWindow::AddProfile(std::u16string_view Text) {
  // Not a sorted box: the item goes to the end, and nothing gets selected by it.
  const std::wstring item = ToWide(Text);
  SendMessageW(cbProfiles, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void TMainWindow::SelectProfile(int Index) {
  // CB_SETCURSEL sends no CBN_SELCHANGE: selecting from here is no change by the user.
  SendMessageW(cbProfiles, CB_SETCURSEL, static_cast<WPARAM>(Index), 0);
  lastSelected_ = SelectedProfile();
}

int TMainWindow::SelectedProfile() const {
  const LRESULT selected = SendMessageW(cbProfiles, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void TMainWindow::SetProfilesEnabled(bool Enabled) {
  if (cbProfiles)
    EnableControl(cbProfiles, Enabled);
}

void TMainWindow::SetStartEnabled(bool Enabled) {
  EnableControl(btnStart, Enabled);
  EnableControl(btnRestore, Enabled);
}

void TMainWindow::SetDeleteEnabled(bool Enabled) {
  EnableControl(btnDelete, Enabled);
}

void TMainWindow::EnableControl(HWND Control, bool Enabled) {
  // A disabled control would keep the focus, and Tab could not leave it: the focus
  // moves on first.
  if (!Enabled && Control && GetFocus() == Control)
    SetFocus(FocusInsteadOf(Control));
  EnableWindow(Control, Enabled);
}

bool TMainWindow::CanTakeFocus(HWND Control) const {
  return Control && IsWindowEnabled(Control) && IsWindowVisible(Control);
}

HWND TMainWindow::FocusedControl() const {
  const HWND focus = GetFocus();
  return focus && hwnd_ && IsChild(hwnd_, focus) ? focus : nullptr;
}

HWND TMainWindow::FocusInsteadOf(HWND Control) const {
  // The tab order, ending with the page shown; a page that went hands the focus to the
  // page that came.
  const HWND page = ShownPage();
  if (Control == Memo1 || Control == tvProfileMap)
    return page;
  HWND const order[] = {cbProfiles, btnStart, btnDelete, btnRestore, tabPages, page};
  return FocusStandIn<HWND>(order, Control, [this](HWND control) { return CanTakeFocus(control); });
}

void TMainWindow::SettleFocus(HWND Before, HWND Preferred) {
  if (!hwnd_)
    return;
  HWND target = Before;
  if (CanTakeFocus(Preferred)) {
    target = Preferred;
  } else if (!CanTakeFocus(Before)) {
    target = FocusInsteadOf(Before);
  }
  focus_ = target;
  // Only while the user works in this window: another program keeps its focus, and
  // this window gives it to the control once it is active again.
  if (GetActiveWindow() == hwnd_ && GetFocus() != target)
    SetFocus(target);
}

void TMainWindow::RememberFocus() {
  if (const HWND focus = FocusedControl())
    focus_ = focus;
}

void TMainWindow::RestoreFocus() {
  // The window itself takes no keys: the profile box at start, later the control
  // that had the focus when the window last lost it.
  SetFocus(CanTakeFocus(focus_) ? focus_ : FocusInsteadOf(focus_));
}

void TMainWindow::SetBackupFolderCaption(std::u16string_view Caption) {
  SetWindowTextW(lblBackupFolder, ToWide(Caption).c_str());
  SizeLabelToText();
}

void TMainWindow::ClearLog() {
  pendingLog_.clear();
  SetWindowTextW(Memo1, L"");
}

void TMainWindow::AppendLog(std::u16string_view Line) {
  // Every line of the log ends with a line break, as in a memo's text, so an empty
  // first line is a line too. A line typed by hand after the last break is ended
  // first.
  if (pendingLog_.empty() && GetWindowTextLengthW(Memo1) > 0) {
    const LRESULT lines = SendMessageW(Memo1, EM_GETLINECOUNT, 0, 0);
    const LRESULT lastLine = SendMessageW(Memo1, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0);
    if (SendMessageW(Memo1, EM_LINELENGTH, static_cast<WPARAM>(lastLine), 0) > 0)
      pendingLog_ = L"\r\n";
  }
  pendingLog_ += ToWide(Line);
  pendingLog_ += L"\r\n";
  // An edit control lays out its whole text again for each insertion: while a handler
  // runs, its lines are gathered and go in at once.
  if (!dlg_.Busy())
    FlushLog();
}

void TMainWindow::FlushLog() const {
  if (pendingLog_.empty() || !Memo1)
    return;
  const int length = GetWindowTextLengthW(Memo1);
  SendMessageW(Memo1, EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessageW(Memo1, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pendingLog_.c_str()));
  pendingLog_.clear();
}

std::vector<std::u16string> TMainWindow::LogLines() const {
  FlushLog();
  return SplitLines(WindowText(Memo1));
}

void TMainWindow::ShowMessage(std::u16string_view Text, TMsgDlgType Kind) {
  // The log shows how far the action got while the box is up.
  FlushLog();
  ShowMsgDlg(Text, Kind, hwnd_);
}

void TMainWindow::ShowProfileMap(const profile::TProfileMap& Map) {
  FillMapTree(tvProfileMap, Map);
}

void TMainWindow::ClearProfileMap() {
  ShowNoMapNote(tvProfileMap);
}

HWND TMainWindow::ShownPage() const {
  return page_ == 0 ? Memo1 : tvProfileMap;
}

void TMainWindow::ShowPage(int Index) {
  if (!tabPages || Index < 0 || Index > 1)
    return;
  const HWND before = ShownPage();
  const bool focusOnPage = GetFocus() == before;
  page_ = Index;
  const HWND shown = ShownPage();
  if (SendMessageW(tabPages, TCM_GETCURSEL, 0, 0) != Index)
    SendMessageW(tabPages, TCM_SETCURSEL, static_cast<WPARAM>(Index), 0);
  ShowWindow(shown, SW_SHOW);
  if (focusOnPage)
    SetFocus(shown);
  if (before != shown)
    ShowWindow(before, SW_HIDE);
  if (focus_ == before)
    focus_ = shown;
}

void TMainWindow::TurnPage(int Step) {
  ShowPage((page_ + Step + 2) % 2);
}

void TMainWindow::btnRestoreClick() {
  const profile::TTavixFiles* profile = dlg_.SelectedProfile();
  if (dlg_.Busy() || profile == nullptr)
    return;
  const std::u16string name = profile->ProfilName;
  std::optional<std::u16string> file;
  {
    TRestoreDlg dialog(hwnd_, name, dlg_.cBackupFolder, dlg_.SelectedProfileBackups(),
                       [this](HWND Owner, std::u16string_view Folder) {
                         return ChooseRestoreFile(Owner, Folder);
                       });
    file = dialog.ShowModal();
  }
  if (file)
    Handle([this, &file] { dlg_.Restore(*file); });
}

std::optional<std::u16string> TMainWindow::ChooseRestoreFile(HWND Owner,
                                                             std::u16string_view Folder) {
  std::wstring name(32768, L'\0');
  const std::wstring folder = ToWide(Folder);
  const std::wstring title = ToWide(kOtherFileTitle);
  // Pairs of name and pattern, each ended by a NUL, the list by a second one.
  std::wstring filter = ToWide(kRegFilesFilter);
  filter += L'\0';
  filter += L"*.reg";
  filter += L'\0';
  filter += L"Alle Dateien (*.*)";
  filter += L'\0';
  filter += L"*.*";
  filter += L'\0';
  OPENFILENAMEW open{};
  open.lStructSize = sizeof(open);
  open.hwndOwner = Owner;
  open.lpstrFilter = filter.c_str();
  open.lpstrFile = name.data();
  open.nMaxFile = static_cast<DWORD>(name.size());
  open.lpstrInitialDir = folder.c_str();
  open.lpstrTitle = title.c_str();
  open.lpstrDefExt = L"reg";
  open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&open))
    return std::nullopt;
  return FromWide(name.c_str());
}

void TMainWindow::ProcessMessages() {
  // What is handled now may show the log or let the user edit it.
  FlushLog();
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The program is ending: the quit message belongs to its own loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    DispatchLoopMessage(msg);
  }
}

void TMainWindow::PostStartMessage(std::function<void()> Handler) {
  startHandlers_.push_back(std::move(Handler));
  PostMessageW(hwnd_, kWmStartUp, 0, 0);
}

TVersionChoice TMainWindow::ChooseOutlookVersion(std::u16string_view First,
                                                 std::u16string_view Second) {
  // A dialog of its own for this one choice, above the window, which waits for it.
  TOutlookVersionDlg dialog(hwnd_);
  dialog.SetInstallations(First, Second);
  return dialog.ShowModal();
}

void TMainWindow::OpenFolder(std::u16string_view Folder) {
  // Explorer, owned by this window; whether it could be started is not reported.
  platform::OpenFolder(Folder, hwnd_);
}

}  // namespace brindel::app::win32
