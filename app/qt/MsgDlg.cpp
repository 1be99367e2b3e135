#include "app/qt/MsgDlg.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/qt/Look.h"
#include "app/qt/QtText.h"

namespace brindel::app::qt {

namespace {

// A message box placed in the middle of the screen, not over its owner.
class TScreenCentredBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    CenterOnScreen(*this);
  }
};

}  // namespace

void ShowMsgDlg(std::u16string_view Msg, TMsgDlgType Kind, QWidget* Owner) {
  TScreenCentredBox box(Owner);
  box.setObjectName(QStringLiteral("MsgDlg"));
  box.setWindowTitle(ToQString(MsgDlgCaption(Kind)));
  box.setIcon(Kind == TMsgDlgType::mtError ? QMessageBox::Critical : QMessageBox::Information);
  box.setTextFormat(Qt::PlainText);
  box.setText(ToQString(Msg));
  box.setFont(WindowFont());
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
}

}  // namespace brindel::app::qt
