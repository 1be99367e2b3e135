#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/win32/Look.h"
#include "profile/Backup.h"

struct HWND__;

namespace brindel::app::win32 {

class TRestoreDlgProc;

// "Profil wiederherstellen": the backups of one profile in the backup folder, each
// with its role, date and size, in a list, and "Andere Datei…" for any other .reg
// file. A file chosen either way is confirmed by a question that names the profile,
// the file and its date and says where the current state is saved first. Enter
// restores the selected backup, Escape and "Abbrechen" end the dialog without a
// choice. The window is made hidden with the object and destroyed with it.
class TRestoreDlg {
 public:
  // Asks for another file, starting in a folder; none when the user cancelled.
  using TChooser =
      std::function<std::optional<std::u16string>(HWND__* Owner, std::u16string_view Folder)>;

  TRestoreDlg(HWND__* Owner, std::u16string ProfilName, std::u16string BackupFolder,
              std::vector<profile::TBackupFile> Backups, TChooser Chooser);
  ~TRestoreDlg();
  TRestoreDlg(const TRestoreDlg&) = delete;
  TRestoreDlg& operator=(const TRestoreDlg&) = delete;

  // Shows the dialog in the middle of the screen, modal to its owner, and handles
  // messages until it ends: the file chosen and confirmed, or none.
  std::optional<std::u16string> ShowModal();
  HWND__* Handle() const { return hwnd_; }

 private:
  friend class TRestoreDlgProc;

  void CreateControls();
  // The backup of the selected row; none when no row is selected.
  std::optional<std::size_t> SelectedBackup() const;
  // "Wiederherstellen": the selected backup, once confirmed.
  void btnRestoreClick();
  // "Andere Datei…": the chooser in the backup folder, then the question.
  void btnOtherFileClick();
  // Enter: the default button's action.
  void DefaultAction();
  // Asks before the restore of `File`; ends the dialog with it when the answer is yes.
  void ConfirmAndEnd(const std::u16string& File);

  HWND__* owner_;
  HWND__* hwnd_ = nullptr;
  HWND__* lblBackups = nullptr;
  HWND__* lvBackups = nullptr;
  HWND__* btnRestore = nullptr;
  HWND__* btnOtherFile = nullptr;
  HWND__* btnCancel = nullptr;
  TFont windowFont_;

  std::u16string profilName_;
  std::u16string backupFolder_;
  std::vector<profile::TBackupFile> backups_;
  TChooser chooser_;
  std::optional<std::u16string> chosen_;
  bool bEnded = false;
};

}  // namespace brindel::app::win32
