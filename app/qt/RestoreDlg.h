#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "profile/Backup.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace brindel::app::qt {

// "Profil wiederherstellen": the backups of one profile in the backup folder, each
// with its role, date and size, and "Andere Datei…" for any other .reg file. A file
// chosen either way is confirmed by a question that names the profile, the file and
// its date and says where the current state is saved first; the dialog ends accepted
// only then. Escape and "Abbrechen" end it without a choice.
class TRestoreDlg : public QDialog {
  Q_OBJECT

 public:
  TRestoreDlg(std::u16string ProfilName, std::u16string BackupFolder,
              const std::vector<profile::TBackupFile>& Backups, QWidget* Parent = nullptr);

  // The file chosen and confirmed; empty unless the dialog was accepted.
  const std::u16string& ChosenFile() const { return chosen_; }

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  // "Wiederherstellen": the selected backup, once confirmed.
  void btnRestoreClick();
  // "Andere Datei…": a file chooser in the backup folder, then the question.
  void btnOtherFileClick();
  // Asks before the restore of `File`; accepts the dialog when the answer is yes.
  void ConfirmAndAccept(const std::u16string& File);

  QLabel* lblBackups;
  QTreeWidget* lvBackups;
  QPushButton* btnRestore;
  QPushButton* btnOtherFile;
  QPushButton* btnCancel;

  std::u16string profilName_;
  std::u16string backupFolder_;
  std::u16string chosen_;
};

}  // namespace brindel::app::qt
