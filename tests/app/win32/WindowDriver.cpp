#include "tests/app/win32/WindowDriver.h"

#include <cstring>
#include <deque>
#include <utility>

#include "app/win32/ControlIds.h"
#include "app/win32/Look.h"

#include <windows.h>

#include <commctrl.h>

namespace brindel::test {

namespace {

std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

std::wstring ToWide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// The test program is aware of each monitor's DPI, as brindel.exe is by its manifest.
[[maybe_unused]] const bool dpiAware = (app::win32::BecomeDpiAware(), true);

template <class F>
BOOL CALLBACK VisitChild(HWND child, LPARAM param) {
  return (*reinterpret_cast<F*>(param))(child) ? TRUE : FALSE;
}

// Calls `f` for every window below `parent` until it returns false.
template <class F>
void ForEachChild(HWND parent, F f) {
  EnumChildWindows(parent, &VisitChild<F>, reinterpret_cast<LPARAM>(&f));
}

LPARAM KeyParam(unsigned virtualKey, bool up) {
  const auto scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
  LPARAM param = 1 | (scan << 16);
  if (up)
    param |= static_cast<LPARAM>(0xC0000000u);
  return param;
}

// The window that runs the calls of PostCall, one per posted message.
constexpr UINT kRunCall = WM_APP + 1;
std::deque<std::function<void()>>& Calls() {
  static std::deque<std::function<void()>> calls;
  return calls;
}

LRESULT CALLBACK CallWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != kRunCall)
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (!Calls().empty()) {
    std::function<void()> call = std::move(Calls().front());
    Calls().pop_front();
    call();
  }
  return 0;
}

HWND CallWindow() {
  static const HWND window = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BrindelTestCalls";
    windowClass.lpfnWndProc = &CallWindowProc;
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"BrindelTestCalls", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  }();
  return window;
}

TModalAnswerer* currentAnswerer = nullptr;

void CALLBACK AnswerTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (currentAnswerer)
    currentAnswerer->Answer();
}

COLORREF PixelOf(HWND window, int x, int y) {
  COLORREF colour = CLR_INVALID;
  if (HDC dc = GetDC(window)) {
    colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
  }
  return colour;
}

bool Centred(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT frame{};
  GetWindowRect(window, &frame);
  const RECT& area = monitor.rcWork;
  const int dx = (frame.left + frame.right) - (area.left + area.right);
  const int dy = (frame.top + frame.bottom) - (area.top + area.bottom);
  // Twice the offset of the centres: odd sizes leave half a pixel.
  return dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2;
}

}  // namespace

Window Control(Window parent, int id) {
  HWND found = nullptr;
  ForEachChild(parent, [&](HWND child) {
    if (GetDlgCtrlID(child) != id)
      return true;
    found = child;
    return false;
  });
  return found;
}

std::u16string Text(Window window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0)
    return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  return FromWide(text.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

bool Enabled(Window window) {
  return IsWindowEnabled(window) != FALSE;
}

bool Visible(Window window) {
  return IsWindowVisible(window) != FALSE;
}

std::uint32_t Style(Window window) {
  return static_cast<std::uint32_t>(GetWindowLongPtrW(window, GWL_STYLE));
}

std::u16string ClassName(Window window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return FromWide(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

TRect PlaceInParent(Window control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

TRect ClientRect(Window window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

TRect FrameOnScreen(Window window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

TRect WorkArea(Window window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

bool Inside(const TRect& inner, const TRect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top &&
         inner.left + inner.width <= outer.left + outer.width &&
         inner.top + inner.height <= outer.top + outer.height;
}

std::uint32_t Pixel(Window window, int x, int y) {
  return PixelOf(window, x, y);
}

int CountPixels(Window window, const TRect& part, std::uint32_t colour) {
  if (part.width <= 0 || part.height <= 0)
    return 0;
  HDC dc = GetDC(window);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, part.width, part.height);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, part.width, part.height, dc, part.left, part.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = part.width;
  info.biHeight = -part.height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(part.width) *
                                    static_cast<std::size_t>(part.height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(part.height), pixels.data(),
            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, dc);
  // The bitmap holds blue, green, red from the lowest byte up; a COLORREF the other way.
  const std::uint32_t wanted =
      ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
  int count = 0;
  for (std::uint32_t pixel : pixels)
    count += (pixel & 0xFFFFFF) == wanted ? 1 : 0;
  return count;
}

void PaintPending(Window window) {
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

int AtScreenDpi(int pixels) {
  return MulDiv(pixels, ScreenDpi(), 96);
}

TFontInfo ControlFont(Window control) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW description{};
  if (!font || GetObjectW(font, sizeof(description), &description) == 0)
    return {};
  return {FromWide(description.lfFaceName, wcsnlen(description.lfFaceName, LF_FACESIZE)),
          static_cast<int>(description.lfHeight), static_cast<int>(description.lfWeight)};
}

int FontHeight(int points) {
  return -MulDiv(points, ScreenDpi(), 72);
}

std::vector<std::u16string> ComboItems(Window combo) {
  std::vector<std::u16string> items;
  const auto count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(item.data()));
    items.push_back(FromWide(item.data(), static_cast<std::size_t>(length)));
  }
  return items;
}

int ComboSelection(Window combo) {
  const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void UserSelects(Window combo, int index) {
  // The arrow keys in the closed box, one item per press.
  const auto count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int presses = 0; presses <= count && ComboSelection(combo) != index; ++presses)
    PressKey(combo, ComboSelection(combo) < index ? VK_DOWN : VK_UP);
}

void Click(Window button) {
  SendMessageW(button, BM_CLICK, 0, 0);
}

Window ClickAt(Window window, int x, int y) {
  POINT at{x, y};
  ClientToScreen(window, &at);
  const HWND target = WindowFromPoint(at);
  if (!target)
    return nullptr;
  POINT local = at;
  ScreenToClient(target, &local);
  const LPARAM where = MAKELPARAM(local.x, local.y);
  SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
  SendMessageW(target, WM_LBUTTONUP, 0, where);
  return target;
}

void ClickOn(Window window, int x, int y) {
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void Notify(Window control, int code) {
  SendMessageW(GetParent(control), WM_COMMAND,
               MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(control)), static_cast<WORD>(code)),
               reinterpret_cast<LPARAM>(control));
}

void EnableControl(Window control, bool enabled) {
  EnableWindow(control, enabled ? TRUE : FALSE);
}

void Close(Window window) {
  SendMessageW(window, WM_CLOSE, 0, 0);
}

void Type(Window control, std::u16string_view text) {
  for (char16_t c : text)
    SendMessageW(control, WM_CHAR, static_cast<WPARAM>(c), 1);
}

void PressKey(Window control, unsigned virtualKey) {
  SendMessageW(control, WM_KEYDOWN, virtualKey, KeyParam(virtualKey, false));
  SendMessageW(control, WM_KEYUP, virtualKey, KeyParam(virtualKey, true));
}

void PostKey(unsigned virtualKey, bool alt) {
  HWND target = GetFocus();
  if (!target)
    target = GetActiveWindow();
  // Alt sets the context bit and makes the key a system key.
  const LPARAM context = alt ? static_cast<LPARAM>(1u << 29) : 0;
  PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey,
               KeyParam(virtualKey, false) | context);
  PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, virtualKey,
               KeyParam(virtualKey, true) | context);
}

Window Focus() {
  return GetFocus();
}

Window ActiveWindow() {
  return GetActiveWindow();
}

std::u16string ShownCaption(std::u16string_view text) {
  std::u16string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size())
      ++i;
    shown += text[i];
  }
  return shown;
}

char16_t AccessKey(std::u16string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&')
      continue;
    if (text[i + 1] != u'&')
      return static_cast<char16_t>(reinterpret_cast<std::uintptr_t>(
          CharUpperW(reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(text[i + 1])))));
    ++i;
  }
  return 0;
}

void SelectText(Window edit, int from, int to) {
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(from), to);
}

int LineStart(Window edit, int line) {
  return static_cast<int>(SendMessageW(edit, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

int LineLength(Window edit, int line) {
  return static_cast<int>(
      SendMessageW(edit, EM_LINELENGTH, static_cast<WPARAM>(LineStart(edit, line)), 0));
}

TKeysHeld::TKeysHeld(std::initializer_list<unsigned> keys) : keys_(keys) {
  BYTE state[256] = {};
  GetKeyboardState(state);
  for (unsigned key : keys_)
    state[key] |= 0x80;
  SetKeyboardState(state);
}

TKeysHeld::~TKeysHeld() {
  BYTE state[256] = {};
  GetKeyboardState(state);
  for (unsigned key : keys_)
    state[key] &= static_cast<BYTE>(~0x80);
  SetKeyboardState(state);
}

namespace {

void CollectTreeItems(HWND tree, HTREEITEM item, int depth, std::vector<TTreeItem>& items) {
  for (; item; item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                               reinterpret_cast<LPARAM>(item)))) {
    wchar_t text[1024] = {};
    TVITEMW read{};
    read.mask = TVIF_TEXT | TVIF_STATE | TVIF_PARAM | TVIF_CHILDREN | TVIF_HANDLE;
    read.hItem = item;
    read.pszText = text;
    read.cchTextMax = 1024;
    read.stateMask = TVIS_EXPANDED;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&read));
    const auto child = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
    items.push_back({FromWide(text, wcsnlen(text, 1024)), depth, (read.state & TVIS_EXPANDED) != 0,
                     child != nullptr, read.lParam, item});
    CollectTreeItems(tree, child, depth + 1, items);
  }
}

}  // namespace

std::vector<TTreeItem> TreeItems(Window tree) {
  std::vector<TTreeItem> items;
  CollectTreeItems(tree,
                   reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)),
                   0, items);
  return items;
}

void* TreeSelection(Window tree) {
  return reinterpret_cast<void*>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

std::uint32_t TreeItemColour(Window tree, const TTreeItem& item, bool selected) {
  NMTVCUSTOMDRAW draw{};
  draw.nmcd.hdr.hwndFrom = tree;
  draw.nmcd.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(tree));
  draw.nmcd.hdr.code = static_cast<UINT>(NM_CUSTOMDRAW);
  draw.nmcd.dwDrawStage = CDDS_PREPAINT;
  const LRESULT asked = SendMessageW(GetParent(tree), WM_NOTIFY, draw.nmcd.hdr.idFrom,
                                     reinterpret_cast<LPARAM>(&draw));
  draw.clrText = GetSysColor(COLOR_WINDOWTEXT);
  draw.clrTextBk = GetSysColor(COLOR_WINDOW);
  if (!(asked & CDRF_NOTIFYITEMDRAW))
    return draw.clrText;
  draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
  draw.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(item.handle);
  draw.nmcd.lItemlParam = item.param;
  draw.nmcd.uItemState = selected ? CDIS_SELECTED : 0;
  SendMessageW(GetParent(tree), WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
  return draw.clrText;
}

std::uint32_t WindowTextColour() {
  return GetSysColor(COLOR_WINDOWTEXT);
}

TRect TreeItemPlace(Window tree, const TTreeItem& item) {
  // TVM_GETITEMRECT takes the item in the rectangle's first bytes.
  RECT place{};
  const auto handle = static_cast<HTREEITEM>(item.handle);
  std::memcpy(&place, &handle, sizeof handle);
  if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&place)))
    return {};
  return {place.left, place.top, place.right - place.left, place.bottom - place.top};
}

std::vector<std::u16string> ListRows(Window list) {
  std::vector<std::u16string> rows;
  const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::u16string line;
    for (int column = 0; column < columns; ++column) {
      wchar_t text[1024] = {};
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = 1024;
      const auto length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                       reinterpret_cast<LPARAM>(&item));
      const std::u16string cell = FromWide(text, static_cast<std::size_t>(length));
      if (column > 0 && cell.empty())
        continue;
      line += (column == 0 ? u"" : u" | ") + cell;
    }
    rows.push_back(line);
  }
  return rows;
}

int ListSelection(Window list) {
  return static_cast<int>(
      SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

std::vector<std::u16string> TabCaptions(Window tabs) {
  std::vector<std::u16string> captions;
  const auto count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = text;
    tab.cchTextMax = 256;
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
    captions.push_back(FromWide(text, wcsnlen(text, 256)));
  }
  return captions;
}

int TabSelection(Window tabs) {
  return static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
}

void ClickTab(Window tabs, int index) {
  RECT tab{};
  SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&tab));
  ClickOn(tabs, (tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
}

void Pump() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void PostCall(std::function<void()> call) {
  Calls().push_back(std::move(call));
  PostMessageW(CallWindow(), kRunCall, 0, 0);
}

namespace {

struct TSearch {
  std::u16string_view className;
  std::vector<Window> found;
};

BOOL CALLBACK VisitThreadWindow(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<TSearch*>(param);
  if (IsWindowVisible(window) && ClassName(window) == search.className)
    search.found.push_back(window);
  return TRUE;
}

}  // namespace

std::vector<Window> ShownWindows(std::u16string_view className) {
  TSearch search{className, {}};
  EnumThreadWindows(GetCurrentThreadId(), &VisitThreadWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

namespace {

std::vector<TTicker*>& Tickers() {
  static std::vector<TTicker*> tickers;
  return tickers;
}

void CALLBACK TickTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  for (TTicker* ticker : Tickers()) {
    if (ticker->Timer() == timer) {
      ticker->Tick();
      return;
    }
  }
}

}  // namespace

TTicker::TTicker(std::function<void()> tick) : tick_(std::move(tick)) {
  Tickers().push_back(this);
  timer_ = SetTimer(nullptr, 0, 10, &TickTimer);
}

TTicker::~TTicker() {
  KillTimer(nullptr, timer_);
  std::erase(Tickers(), this);
}

void TTicker::Tick() {
  if (ticking_)
    return;
  ticking_ = true;
  tick_();
  ticking_ = false;
}

TModalAnswerer::TModalAnswerer() {
  currentAnswerer = this;
  timer_ = SetTimer(nullptr, 0, 10, &AnswerTimer);
}

TModalAnswerer::~TModalAnswerer() {
  KillTimer(nullptr, timer_);
  if (currentAnswerer == this)
    currentAnswerer = nullptr;
}

void TModalAnswerer::Answer() {
  if (answering_)
    return;
  answering_ = true;
  for (Window box : ShownWindows(u"#32770")) {
    AnswerBox(box);
    answering_ = false;
    return;
  }
  // The question and the restore dialog: only while they take input (the dialog
  // waits for its question), and by posted messages, which their own loops handle,
  // so that what they open in turn is answered too.
  for (Window question : ShownWindows(
           FromWide(app::win32::kQuestionDlgClass, wcslen(app::win32::kQuestionDlgClass)))) {
    if (IsWindowEnabled(question)) {
      AnswerQuestion(question);
      answering_ = false;
      return;
    }
  }
  for (Window dialog :
       ShownWindows(FromWide(app::win32::kRestoreDlgClass, wcslen(app::win32::kRestoreDlgClass)))) {
    if (IsWindowEnabled(dialog)) {
      AnswerRestoreDlg(dialog);
      answering_ = false;
      return;
    }
  }
  for (Window dialog : ShownWindows(FromWide(app::win32::kOutlookVersionDlgClass,
                                             wcslen(app::win32::kOutlookVersionDlgClass)))) {
    AnswerDialog(dialog);
    break;
  }
  answering_ = false;
}

void TModalAnswerer::AnswerBox(Window box) {
  TShownBox shown;
  shown.title = Text(box);
  std::vector<HWND> buttons;
  ForEachChild(box, [&](HWND child) {
    if (!IsWindowVisible(child))
      return true;
    const std::u16string kind = ClassName(child);
    if (kind == u"Button") {
      buttons.push_back(child);
      shown.buttons.push_back(Text(child));
    } else if (kind == u"Static") {
      if ((Style(child) & SS_TYPEMASK) == SS_ICON) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        if (!icon) {
          shown.icon = TBoxIcon::None;
        } else if (icon == LoadIconW(nullptr, IDI_ERROR)) {
          shown.icon = TBoxIcon::Error;
        } else if (icon == LoadIconW(nullptr, IDI_INFORMATION)) {
          shown.icon = TBoxIcon::Information;
        } else {
          shown.icon = TBoxIcon::Other;
        }
      } else if (!Text(child).empty()) {
        shown.text = Text(child);
      }
    }
    return true;
  });
  const HWND owner = GetWindow(box, GW_OWNER);
  shown.ownerShownAndDisabled = owner && IsWindowVisible(owner) && !IsWindowEnabled(owner);
  shown.centred = Centred(box);
  boxes.push_back(shown);
  if (!buttons.empty()) {
    Click(buttons.front());
  }
  // A box that did not go by its button would wait for ever; the test sees it in
  // `boxes` all the same.
  if (IsWindow(box) && IsWindowVisible(box))
    SendMessageW(box, WM_COMMAND, IDOK, 0);
}

void TModalAnswerer::AnswerQuestion(Window question) {
  using namespace app::win32;
  if (question_ == question) {
    // Still open after its answer: closed, so that the test ends and shows the fault.
    PostMessageW(question, WM_CLOSE, 0, 0);
    return;
  }
  question_ = question;
  TShownBox shown;
  shown.title = Text(question);
  shown.text = Text(Control(question, kLblQuestion));
  const auto icon =
      reinterpret_cast<HICON>(SendMessageW(Control(question, kIcoQuestion), STM_GETICON, 0, 0));
  shown.icon = icon == LoadIconW(nullptr, IDI_QUESTION) ? TBoxIcon::Question : TBoxIcon::Other;
  shown.buttons = {Text(Control(question, kBtnYes)), Text(Control(question, kBtnNo))};
  const HWND owner = GetWindow(question, GW_OWNER);
  shown.ownerShownAndDisabled = owner && IsWindowVisible(owner) && !IsWindowEnabled(owner);
  shown.centred = Centred(question);
  boxes.push_back(shown);
  const bool yes = confirmations.empty() || confirmations.front();
  if (!confirmations.empty())
    confirmations.pop_front();
  // By keyboard: Enter takes the default button, Escape the other.
  const HWND focus = GetFocus();
  PostMessageW(focus && IsChild(question, focus) ? focus : question, WM_KEYDOWN,
               yes ? VK_RETURN : VK_ESCAPE, KeyParam(yes ? VK_RETURN : VK_ESCAPE, false));
}

void TModalAnswerer::AnswerRestoreDlg(Window dialog) {
  using namespace app::win32;
  const HWND list = Control(dialog, kLvBackups);
  const HWND restore = Control(dialog, kBtnRestoreFile);
  const HWND other = Control(dialog, kBtnOtherFile);
  const HWND cancel = Control(dialog, kBtnCancel);
  TShownRestoreDlg shown;
  shown.caption = Text(dialog);
  shown.heading = Text(Control(dialog, kLblBackups));
  shown.rows = ListRows(list);
  shown.selected = ListSelection(list);
  shown.listEnabled = IsWindowEnabled(list) != FALSE;
  shown.restoreEnabled = IsWindowEnabled(restore) != FALSE;
  shown.otherFileEnabled = IsWindowEnabled(other) != FALSE;
  shown.focus = GetFocus() ? GetDlgCtrlID(GetFocus()) : 0;
  for (HWND button : {restore, other, cancel}) {
    if ((Style(button) & 0x0F) == BS_DEFPUSHBUTTON)
      shown.defaultButton = GetDlgCtrlID(button);
  }
  const HWND owner = GetWindow(dialog, GW_OWNER);
  shown.ownerDisabled = owner && !IsWindowEnabled(owner);
  shown.centred = Centred(dialog);
  restoreDialogs.push_back(shown);
  const TRestoreAnswer answer = restoreAnswers.empty() ? TRestoreAnswer{} : restoreAnswers.front();
  if (!restoreAnswers.empty())
    restoreAnswers.pop_front();
  switch (answer.kind) {
    case TRestoreAnswer::Kind::Cancel:
      PostMessageW(cancel, BM_CLICK, 0, 0);
      break;
    case TRestoreAnswer::Kind::Escape:
      PostMessageW(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE,
                   KeyParam(VK_ESCAPE, false));
      break;
    case TRestoreAnswer::Kind::EnterOnRow: {
      // The arrow keys move the selection; the dialog's loop takes them to the list.
      SetFocus(list);
      const int from = ListSelection(list) < 0 ? 0 : ListSelection(list);
      if (ListSelection(list) < 0) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
      }
      for (int row = from; row != answer.row; row += answer.row > from ? 1 : -1) {
        const unsigned key = answer.row > from ? VK_DOWN : VK_UP;
        PostMessageW(list, WM_KEYDOWN, key, KeyParam(key, false));
        PostMessageW(list, WM_KEYUP, key, KeyParam(key, true));
      }
      PostMessageW(list, WM_KEYDOWN, VK_RETURN, KeyParam(VK_RETURN, false));
      break;
    }
    case TRestoreAnswer::Kind::OtherFile:
      PostMessageW(other, BM_CLICK, 0, 0);
      break;
  }
}

void TModalAnswerer::AnswerDialog(Window dialog) {
  using namespace app::win32;
  if (escaped_ == dialog) {
    escaped_ = nullptr;
    openAfterEscape = IsWindowVisible(dialog) != FALSE;
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return;
  }
  if (!dialogs.empty() && answered_ == dialog) {
    // Still open after its answer: closed, so that the test ends and shows the fault.
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return;
  }
  answered_ = dialog;
  const HWND first = Control(dialog, kBtnOutlook0);
  const HWND second = Control(dialog, kBtnOutlook1);
  const HWND check = Control(dialog, kChkRemOVersion);
  const HWND label = Control(dialog, kLabel1);
  RedrawWindow(dialog, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);

  TShownDialog shown;
  shown.caption = Text(dialog);
  shown.label = Text(label);
  shown.first = Text(first);
  shown.second = Text(second);
  shown.checkBox = Text(check);
  shown.checked = SendMessageW(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
  shown.client = ClientRect(dialog);
  shown.style = Style(dialog);
  shown.marginColour = PixelOf(dialog, 5, 5);
  const TRect checkPlace = ClientRect(check);
  shown.checkBoxColour = PixelOf(check, checkPlace.width - 2, checkPlace.height / 2);
  shown.buttonFont = ControlFont(first);
  shown.centred = Centred(dialog);
  const HWND owner = GetWindow(dialog, GW_OWNER);
  shown.ownerDisabled = owner && !IsWindowEnabled(owner);
  if (HDC dc = GetDC(label)) {
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    const std::wstring text = ToWide(shown.label);
    const TRect place = ClientRect(label);
    RECT needed{0, 0, place.width, 0};
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    shown.labelFits = needed.bottom <= place.height;
    SelectObject(dc, old);
    ReleaseDC(label, dc);
  }
  dialogs.push_back(shown);

  switch (dialogAnswer) {
    case TDialogAnswer::First:
      Click(first);
      break;
    case TDialogAnswer::Second:
      Click(second);
      break;
    case TDialogAnswer::TickThenSecond:
      Click(check);
      Click(second);
      break;
    case TDialogAnswer::EnterOnSecond:
      // Through the dialog's loop, which moves the focus and handles Enter.
      SetFocus(second);
      PostMessageW(second, WM_KEYDOWN, VK_RETURN, KeyParam(VK_RETURN, false));
      break;
    case TDialogAnswer::EscapeThenCloseBox: {
      const HWND focus = GetFocus();
      PostMessageW(focus && IsChild(dialog, focus) ? focus : dialog, WM_KEYDOWN, VK_ESCAPE,
                   KeyParam(VK_ESCAPE, false));
      escaped_ = dialog;
      break;
    }
    case TDialogAnswer::CloseBox:
      SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
  }
}

}  // namespace brindel::test
