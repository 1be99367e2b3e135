#include "app/qt/RestoreDlg.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/RestoreChoice.h"
#include "app/qt/Look.h"
#include "app/qt/QtText.h"

namespace brindel::app::qt {

namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

TRestoreDlg::TRestoreDlg(std::u16string ProfilName, std::u16string BackupFolder,
                         const std::vector<profile::TBackupFile>& Backups, QWidget* Parent)
    : QDialog(Parent), profilName_(std::move(ProfilName)), backupFolder_(std::move(BackupFolder)) {
  setObjectName(QStringLiteral("RestoreDlg"));
  setWindowTitle(ToQString(kRestoreTitle));
  setFont(WindowFont());

  lblBackups = new QLabel(ToQString(BackupsHeading(profilName_, backupFolder_)), this);
  lblBackups->setObjectName(QStringLiteral("lblBackups"));
  lblBackups->setTextFormat(Qt::PlainText);
  lblBackups->setWordWrap(true);

  lvBackups = new QTreeWidget(this);
  lvBackups->setObjectName(QStringLiteral("lvBackups"));
  lvBackups->setRootIsDecorated(false);
  lvBackups->setUniformRowHeights(true);
  lvBackups->setSelectionMode(QAbstractItemView::SingleSelection);
  lvBackups->setHeaderLabels({QStringLiteral("Datei"), QStringLiteral("Stand"),
                              QStringLiteral("Geschrieben"), QStringLiteral("Größe")});
  lblBackups->setBuddy(lvBackups);
  for (const profile::TBackupFile& backup : Backups) {
    auto* item = new QTreeWidgetItem(
        QStringList{ToQString(FileNameOnly(backup.FileName)), ToQString(backup.Description),
                    ToQString(WrittenText(backup.Written)), ToQString(SizeText(backup.Size))});
    item->setData(0, kPathRole, ToQString(backup.FileName));
    item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    lvBackups->addTopLevelItem(item);
  }
  const bool found = !Backups.empty();
  if (!found) {
    // The list says so, and only "Andere Datei…" and "Abbrechen" work.
    auto* item = new QTreeWidgetItem(QStringList{ToQString(kNoBackups)});
    item->setFirstColumnSpanned(true);
    item->setFlags(Qt::NoItemFlags);
    lvBackups->addTopLevelItem(item);
    lvBackups->setEnabled(false);
  } else {
    lvBackups->setCurrentItem(lvBackups->topLevelItem(0));
  }
  for (int column = 0; column < lvBackups->columnCount(); ++column)
    lvBackups->resizeColumnToContents(column);
  // The role takes what room is left, so the size stands beside the date.
  lvBackups->header()->setStretchLastSection(false);
  lvBackups->header()->setSectionResizeMode(1, QHeaderView::Stretch);

  btnRestore = new QPushButton(ToQString(kRestoreButton), this);
  btnRestore->setObjectName(QStringLiteral("btnRestore"));
  btnRestore->setEnabled(found);
  btnOtherFile = new QPushButton(ToQString(kOtherFileButton), this);
  btnOtherFile->setObjectName(QStringLiteral("btnOtherFile"));
  btnCancel = new QPushButton(ToQString(kCancelButton), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  // Enter restores the selected backup; without one it chooses another file.
  btnRestore->setDefault(found);
  btnOtherFile->setDefault(!found);
  for (QPushButton* button : {btnRestore, btnOtherFile, btnCancel})
    button->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnRestore);
  buttons->addWidget(btnOtherFile);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblBackups);
  layout->addWidget(lvBackups, 1);
  layout->addLayout(buttons);
  resize(640, 260);

  connect(btnRestore, &QPushButton::clicked, this, [this] { btnRestoreClick(); });
  connect(btnOtherFile, &QPushButton::clicked, this, [this] { btnOtherFileClick(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(lvBackups, &QTreeWidget::itemDoubleClicked, this, [this] { btnRestoreClick(); });
  connect(lvBackups, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    btnRestore->setEnabled(current && current->data(0, kPathRole).isValid());
  });
  (found ? static_cast<QWidget*>(lvBackups) : btnOtherFile)->setFocus();
}

void TRestoreDlg::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!Event->spontaneous())
    FitIntoScreen(*this);
}

void TRestoreDlg::btnRestoreClick() {
  const QTreeWidgetItem* item = lvBackups->currentItem();
  if (!item || !item->data(0, kPathRole).isValid())
    return;
  ConfirmAndAccept(FromQString(item->data(0, kPathRole).toString()));
}

void TRestoreDlg::btnOtherFileClick() {
  const QString folder = ToQString(backupFolder_);
  QFileDialog chooser(this, ToQString(kOtherFileTitle),
                      QDir(folder).exists() ? folder : QDir::homePath(),
                      ToQString(kRegFilesFilter) + QStringLiteral(";;Alle Dateien (*)"));
  chooser.setObjectName(QStringLiteral("OtherFileDlg"));
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog on every desktop, so that it looks the same and a test can answer it.
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
    return;
  ConfirmAndAccept(FromQString(QDir::toNativeSeparators(chooser.selectedFiles().front())));
}

void TRestoreDlg::ConfirmAndAccept(const std::u16string& File) {
  QMessageBox question(this);
  question.setObjectName(QStringLiteral("RestoreQuestion"));
  question.setWindowTitle(ToQString(kRestoreTitle));
  question.setIcon(QMessageBox::Question);
  question.setTextFormat(Qt::PlainText);
  question.setText(ToQString(RestoreQuestion(profilName_, File, FileWritten(File),
                                             profile::SavedStateName(backupFolder_, profilName_))));
  question.setFont(WindowFont());
  QPushButton* yes = question.addButton(ToQString(kRestoreButton), QMessageBox::AcceptRole);
  QPushButton* no = question.addButton(ToQString(kCancelButton), QMessageBox::RejectRole);
  question.setDefaultButton(yes);
  question.setEscapeButton(no);
  question.exec();
  if (question.clickedButton() != yes)
    return;
  chosen_ = File;
  accept();
}

}  // namespace brindel::app::qt
