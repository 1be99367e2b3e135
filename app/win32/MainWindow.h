#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/MainDlg.h"
#include "app/MainView.h"
#include "app/win32/Look.h"

struct HWND__;
struct tagMSG;

namespace brindel::app::win32 {

class TMainWindowProc;

// The main window: the profile box, "Auslesen", "Löschen" and "Wiederherstellen…", the
// backup folder label, and two pages below a tab strip: the log ("Bericht") and the
// profile at a glance in a tree ("Profil"); in plain Win32 controls. It only shows:
// every decision is TMainDlg's, which it owns and whose handlers its controls call.
class TMainWindow : public TMainView {
 public:
  // Gives the flow its settings and the documents folder (none: the platform's).
  using TSettings = std::function<std::optional<std::u16string>(TMainDlg&)>;

  // Creates the window, hidden, with its controls, lets `Settings` set up the flow and
  // runs FormCreate.
  explicit TMainWindow(const TSettings& Settings = nullptr);
  ~TMainWindow() override;
  TMainWindow(const TMainWindow&) = delete;
  TMainWindow& operator=(const TMainWindow&) = delete;

  TMainDlg& Dlg() { return dlg_; }
  // The window; null once it has been closed.
  HWND__* Handle() const { return hwnd_; }
  // Shows the window; the first time also runs FormShow, which posts the start message.
  void Show();
  // Closing this window ends the program's message loop (a quit message).
  void SetQuitOnClose(bool Quit) { bQuitOnClose = Quit; }
  // The program's event loop: runs until the quit message; returns its exit code.
  int RunMessageLoop();

  // Hands one message of an event loop on: keys that move between the controls are
  // handled here, everything else goes to its window procedure.
  void DispatchLoopMessage(tagMSG& Msg);

  void ClearProfiles() override;
  void AddProfile(std::u16string_view Text) override;
  void SelectProfile(int Index) override;
  int SelectedProfile() const override;
  void SetProfilesEnabled(bool Enabled) override;
  // "Wiederherstellen…" follows "Auslesen": both need a chosen profile, and neither may
  // start while an action runs.
  void SetStartEnabled(bool Enabled) override;
  void SetDeleteEnabled(bool Enabled) override;
  void SetBackupFolderCaption(std::u16string_view Caption) override;
  void ClearLog() override;
  void AppendLog(std::u16string_view Line) override;
  std::vector<std::u16string> LogLines() const override;
  void ShowMessage(std::u16string_view Text, TMsgDlgType Kind) override;
  void ShowProfileMap(const profile::TProfileMap& Map) override;
  void ClearProfileMap() override;
  void ProcessMessages() override;
  void PostStartMessage(std::function<void()> Handler) override;
  TVersionChoice ChooseOutlookVersion(std::u16string_view First,
                                      std::u16string_view Second) override;
  void OpenFolder(std::u16string_view Folder) override;

  // "Andere Datei…" of the restore dialog: the system's dialog for opening a .reg file,
  // starting in Folder; none when it was cancelled.
  virtual std::optional<std::u16string> ChooseRestoreFile(HWND__* Owner,
                                                          std::u16string_view Folder);

 private:
  friend class TMainWindowProc;

  void CreateControls();
  // Fonts and positions for the window's DPI; the layout is given for 96 DPI.
  void CreateFonts();
  void PlaceControls();
  void SizeLabelToText();
  // The panel across the top, the log below it, both as wide as the window.
  void Layout();
  // Runs one handler of the flow for a control, unless the flow is busy: what the
  // event loop lets through while a handler runs (the backup of "Löschen" handles
  // pending messages) is dropped. Returns false when it was dropped. Afterwards the
  // focus is on `FocusAfter` when that is enabled, else where it was before.
  bool Handle(const std::function<void()>& Handler, HWND__* FocusAfter = nullptr);
  void RunStartMessage();
  void OnCommand(int Id, int Code);
  // Notifications of the tab strip and the tree; what the window procedure returns.
  std::intptr_t OnNotify(const void* Header);
  // "Wiederherstellen…": the dialog of the selected profile's backups, then the restore
  // of the file chosen and confirmed there.
  void btnRestoreClick();
  // Shows the page of that index (0 the log, 1 the map); the focus goes along when it
  // was on the page that goes.
  void ShowPage(int Index);
  // Ctrl+Tab and Ctrl+Shift+Tab: the next or the previous page.
  void TurnPage(int Step);
  HWND__* ShownPage() const;
  // The height of the tab strip in the window's font.
  int TabStripHeight() const;
  // Whether the window may close now: not while a handler runs.
  bool CanClose() const { return !dlg_.Busy(); }
  void OnDestroyed();
  // Puts the log lines gathered during a handler into the log view.
  void FlushLog() const;

  // The keyboard focus: it never stays on a disabled control, and the window keeps
  // it for its controls while another window is active.
  void EnableControl(HWND__* Control, bool Enabled);
  bool CanTakeFocus(HWND__* Control) const;
  // The control of this window that has the focus; null when none has it.
  HWND__* FocusedControl() const;
  // Where the focus goes when `Control` cannot hold it.
  HWND__* FocusInsteadOf(HWND__* Control) const;
  // After a handler: on `Preferred` when it can take the focus, else on `Before`, else
  // on the control that stands in for it.
  void SettleFocus(HWND__* Before, HWND__* Preferred);
  void RememberFocus();
  void RestoreFocus();

  HWND__* hwnd_ = nullptr;
  HWND__* Panel1 = nullptr;
  HWND__* cbProfiles = nullptr;
  HWND__* btnStart = nullptr;
  HWND__* btnDelete = nullptr;
  HWND__* btnRestore = nullptr;
  HWND__* lblBackupFolder = nullptr;
  HWND__* tabPages = nullptr;
  HWND__* Memo1 = nullptr;
  HWND__* tvProfileMap = nullptr;
  int page_ = 0;
  TFont windowFont_;
  TFont logFont_;
  int dpi_ = 96;
  // The control that had the focus when the window last lost it.
  HWND__* focus_ = nullptr;

  TMainDlg dlg_;
  // The posted start messages' handlers, run in the order posted.
  std::deque<std::function<void()>> startHandlers_;
  // Log lines not yet in the view, each ending with CR LF.
  mutable std::wstring pendingLog_;
  // The profile last selected, so that picking the same one again is no change.
  int lastSelected_ = -1;
  bool bShown = false;
  bool bStartDeferred = false;
  bool bQuitOnClose = false;
};

}  // namespace brindel::app::win32
