#pragma once

#include <QDialog>

#include <string_view>

#include "app/MainView.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QWidget;

namespace brindel::app::qt {

// "Auswahl der Outlook Version": one button per installation, the higher one left.
// It has no cancel: closing it chooses the higher version, and Escape does nothing.
class TOutlookVersionDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOutlookVersionDlg(QWidget* Parent = nullptr);

  // The captions of the two buttons: NameAndBit of the first and second installation.
  void SetInstallations(std::u16string_view First, std::u16string_view Second);
  // How the dialog ended; Closed until a button was clicked.
  TVersionChoice Choice() const { return choice_; }

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

 private:
  // The one click handler of both buttons; the button's tag is its installation's index.
  void btnOutlook0Click(QPushButton* Sender);

  QLabel* Label1;
  QWidget* Panel1;
  // "Auswahl merken": shown, never read; the choice holds for this run only.
  QCheckBox* chkRemOVersion;
  QPushButton* btnOutlook0;
  QPushButton* btnOutlook1;

  TVersionChoice choice_ = TVersionChoice::Closed;
  bool bChosen = false;
};

}  // namespace brindel::app::qt
