#include "app/win32/RestoreDlg.h"

#include <algorithm>
#include <utility>

#include "app/RestoreChoice.h"
#include "app/win32/ControlIds.h"
#include "app/win32/ModalLoop.h"
#include "app/win32/QuestionDlg.h"

#include <windows.h>

#include <commctrl.h>

namespace brindel::app::win32 {

namespace {

constexpr int kWidth = 600;
constexpr int kMargin = 12;
constexpr int kListHeight = 130;
constexpr int kButtonHeight = 25;

// The list's columns: caption, width at 96 DPI, alignment.
struct TColumn {
  const wchar_t* caption;
  int width;
  int format;
};
constexpr TColumn kColumns[] = {
    {L"Datei", 190, LVCFMT_LEFT},
    {L"Stand", 210, LVCFMT_LEFT},
    {L"Geschrieben", 100, LVCFMT_LEFT},
    {L"Gr\u00f6\u00dfe", 70, LVCFMT_RIGHT},
};

}  // namespace

// The window procedure, a friend so that it reaches the dialog's handlers.
class TRestoreDlgProc {
 public:
  static void Register() {
    static const bool registered = [] {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof(windowClass);
      windowClass.lpfnWndProc = &Proc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      windowClass.lpszClassName = kRestoreDlgClass;
      return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
  }

  static LRESULT CALLBACK Proc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(LParam);
      SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* dialog = reinterpret_cast<TRestoreDlg*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
    if (!dialog)
      return DefWindowProcW(Window, Msg, WParam, LParam);
    switch (Msg) {
      case WM_COMMAND:
        switch (LOWORD(WParam)) {
          case kBtnRestoreFile:
            dialog->btnRestoreClick();
            return 0;
          case kBtnOtherFile:
            dialog->btnOtherFileClick();
            return 0;
          case IDOK:
            dialog->DefaultAction();
            return 0;
          case kBtnCancel:
          case IDCANCEL:
            dialog->bEnded = true;
            return 0;
          default:
            return 0;
        }
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(LParam);
        if (header->hwndFrom != dialog->lvBackups)
          break;
        if (header->code == LVN_ITEMCHANGED) {
          EnableWindow(dialog->btnRestore, dialog->SelectedBackup().has_value());
        } else if (header->code == NM_DBLCLK) {
          dialog->btnRestoreClick();
        }
        return 0;
      }
      case WM_CLOSE:
        dialog->bEnded = true;
        return 0;
      case WM_DESTROY:
        dialog->bEnded = true;
        dialog->hwnd_ = nullptr;
        SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
        return 0;
      default:
        break;
    }
    return DefWindowProcW(Window, Msg, WParam, LParam);
  }
};

TRestoreDlg::TRestoreDlg(HWND Owner, std::u16string ProfilName, std::u16string BackupFolder,
                         std::vector<profile::TBackupFile> Backups, TChooser Chooser)
    : owner_(Owner),
      profilName_(std::move(ProfilName)),
      backupFolder_(std::move(BackupFolder)),
      backups_(std::move(Backups)),
      chooser_(std::move(Chooser)) {
  TRestoreDlgProc::Register();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&controls);
  // On the owner's monitor from the start, so that it gets that monitor's DPI.
  RECT ownerRect{};
  if (Owner)
    GetWindowRect(Owner, &ownerRect);
  hwnd_ = CreateWindowExW(
      WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kRestoreDlgClass, ToWide(kRestoreTitle).c_str(),
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, ownerRect.left, ownerRect.top, kWidth,
      300, Owner, nullptr, GetModuleHandleW(nullptr), this);
  if (hwnd_)
    CreateControls();
}

TRestoreDlg::~TRestoreDlg() {
  if (hwnd_)
    DestroyWindow(hwnd_);
}

void TRestoreDlg::CreateControls() {
  const int dpi = WindowDpi(hwnd_);
  const auto scale = [dpi](int pixels) { return Scale(pixels, dpi); };
  windowFont_ = TFont(TFontKind::Window, dpi);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto control = [&](DWORD exStyle, const wchar_t* className, const std::wstring& text,
                           DWORD style, int id, int left, int top, int width, int height) {
    const HWND child = CreateWindowExW(
        exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, left, top, width, height,
        hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SetControlFont(child, windowFont_);
    return child;
  };

  const std::wstring heading = ToWide(BackupsHeading(profilName_, backupFolder_));
  const int innerWidth = scale(kWidth - 2 * kMargin);
  int headingHeight = scale(13);
  if (HDC dc = GetDC(hwnd_)) {
    const HGDIOBJ old = SelectObject(dc, windowFont_.Handle());
    RECT needed{0, 0, innerWidth, 0};
    DrawTextW(dc, heading.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    headingHeight = std::max<int>(headingHeight, needed.bottom);
  }
  lblBackups = control(0, L"STATIC", heading, SS_LEFT | SS_NOPREFIX, kLblBackups, scale(kMargin),
                       scale(kMargin), innerWidth, headingHeight);
  const int listTop = scale(kMargin) + headingHeight + scale(6);
  lvBackups = control(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                      LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_GROUP,
                      kLvBackups, scale(kMargin), listTop, innerWidth, scale(kListHeight));
  SendMessageW(lvBackups, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = kColumns[i].format;
    column.cx = scale(kColumns[i].width);
    column.pszText = const_cast<wchar_t*>(kColumns[i].caption);
    SendMessageW(lvBackups, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&column));
  }
  const auto insert = [this](int row, const std::vector<std::wstring>& texts) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.lParam = row;
    item.pszText = const_cast<wchar_t*>(texts[0].c_str());
    SendMessageW(lvBackups, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (std::size_t column = 1; column < texts.size(); ++column) {
      LVITEMW sub{};
      sub.iSubItem = static_cast<int>(column);
      sub.pszText = const_cast<wchar_t*>(texts[column].c_str());
      SendMessageW(lvBackups, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&sub));
    }
  };
  for (std::size_t i = 0; i < backups_.size(); ++i) {
    const profile::TBackupFile& backup = backups_[i];
    insert(static_cast<int>(i),
           {ToWide(FileNameOnly(backup.FileName)), ToWide(backup.Description),
            ToWide(WrittenText(backup.Written)), ToWide(SizeText(backup.Size))});
  }
  const bool found = !backups_.empty();
  if (found) {
    // The first backup is selected, so that Enter restores it.
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(lvBackups, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
  } else {
    // The list says so, and only "Andere Datei…" and "Abbrechen" work.
    insert(0, {ToWide(kNoBackups)});
    EnableWindow(lvBackups, FALSE);
  }

  const int buttonsTop = listTop + scale(kListHeight) + scale(kMargin);
  const int cancelWidth = scale(90);
  const int buttonWidth = scale(110);
  const int gap = scale(6);
  const int cancelLeft = scale(kWidth - kMargin) - cancelWidth;
  const int otherLeft = cancelLeft - gap - buttonWidth;
  const int restoreLeft = otherLeft - gap - buttonWidth;
  btnRestore = control(0, L"BUTTON", ToWide(kRestoreButton),
                       (found ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP | WS_GROUP,
                       kBtnRestoreFile, restoreLeft, buttonsTop, buttonWidth, scale(kButtonHeight));
  EnableWindow(btnRestore, found);
  btnOtherFile = control(0, L"BUTTON", ToWide(kOtherFileButton),
                         (found ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON) | WS_TABSTOP, kBtnOtherFile,
                         otherLeft, buttonsTop, buttonWidth, scale(kButtonHeight));
  btnCancel = control(0, L"BUTTON", ToWide(kCancelButton), BS_PUSHBUTTON | WS_TABSTOP, kBtnCancel,
                      cancelLeft, buttonsTop, cancelWidth, scale(kButtonHeight));
  SetClientSize(hwnd_, scale(kWidth), buttonsTop + scale(kButtonHeight + kMargin));
}

std::optional<std::size_t> TRestoreDlg::SelectedBackup() const {
  if (backups_.empty())
    return std::nullopt;
  const LRESULT row = SendMessageW(lvBackups, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                   MAKELPARAM(LVNI_SELECTED, 0));
  if (row < 0 || static_cast<std::size_t>(row) >= backups_.size())
    return std::nullopt;
  return static_cast<std::size_t>(row);
}

void TRestoreDlg::btnRestoreClick() {
  if (const auto row = SelectedBackup())
    ConfirmAndEnd(backups_[*row].FileName);
}

void TRestoreDlg::btnOtherFileClick() {
  if (!chooser_)
    return;
  if (const auto file = chooser_(hwnd_, backupFolder_))
    ConfirmAndEnd(*file);
}

void TRestoreDlg::DefaultAction() {
  if (backups_.empty()) {
    btnOtherFileClick();
  } else {
    btnRestoreClick();
  }
}

void TRestoreDlg::ConfirmAndEnd(const std::u16string& File) {
  const std::u16string question = RestoreQuestion(
      profilName_, File, FileWritten(File), profile::SavedStateName(backupFolder_, profilName_));
  if (!AskQuestion(hwnd_, kRestoreTitle, question, kRestoreButton, kCancelButton))
    return;
  chosen_ = File;
  bEnded = true;
}

std::optional<std::u16string> TRestoreDlg::ShowModal() {
  chosen_.reset();
  bEnded = false;
  if (!hwnd_)
    return std::nullopt;
  CenterOnScreen(hwnd_);
  RunModal(hwnd_, owner_, backups_.empty() ? btnOtherFile : lvBackups, bEnded);
  return chosen_;
}

}  // namespace brindel::app::win32
