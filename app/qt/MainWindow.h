#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "app/MainDlg.h"
#include "app/MainView.h"

class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace brindel::app::qt {

// The main window: the profile box, "Auslesen", "Löschen" and "Wiederherstellen…",
// the backup folder label, and two pages below: the log ("Bericht") and the profile
// at a glance ("Profil"). It only shows: every decision is TMainDlg's, which it owns
// and whose handlers its widgets call.
class TMainWindow : public QWidget, public TMainView {
  Q_OBJECT

 public:
  // Gives the flow its settings and the documents folder (none: the platform's).
  using TSettings = std::function<std::optional<std::u16string>(TMainDlg&)>;

  // Creates the controls, lets `Settings` set up the flow and runs FormCreate.
  explicit TMainWindow(const TSettings& Settings = nullptr, QWidget* Parent = nullptr);
  ~TMainWindow() override;

  TMainDlg& Dlg() { return dlg_; }

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

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // Runs one handler of the flow for a widget, unless the flow is busy: what the event
  // loop lets through while a handler runs (the backup of "Löschen" handles pending
  // messages) is dropped. Returns false when it was dropped. Afterwards the focus is
  // on `FocusAfter` when that is enabled, else where it was before.
  bool Handle(const std::function<void()>& Handler, QWidget* FocusAfter = nullptr);
  void RunStartMessage(std::function<void()> Handler);
  // "Wiederherstellen…": the dialog of the selected profile's backups, then the restore
  // of the file chosen and confirmed there.
  void btnRestoreClick();
  // Ctrl+Tab and Ctrl+Shift+Tab: the next or the previous page; the focus goes along
  // when it was on the page that goes.
  void TurnPage(int Step);

  // The keyboard focus: it never stays on a disabled control.
  void EnableControl(QWidget* Control, bool Enabled);
  bool CanTakeFocus(const QWidget* Control) const;
  // Where the focus goes when `Control` cannot hold it.
  QWidget* FocusInsteadOf(const QWidget* Control) const;
  // After a handler: on `Preferred` when it can take the focus, else on `Before`, else
  // on the control that stands in for it.
  void SettleFocus(QWidget* Before, QWidget* Preferred);

  QFrame* Panel1;
  QComboBox* cbProfiles;
  QPushButton* btnStart;
  QPushButton* btnDelete;
  QPushButton* btnRestore;
  QLabel* lblBackupFolder;
  QTabWidget* tabPages;
  QPlainTextEdit* Memo1;
  QTreeWidget* tvProfileMap;

  TMainDlg dlg_;
  bool bShown = false;
};

}  // namespace brindel::app::qt
