#include "app/qt/OutlookVersionDlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "app/qt/Look.h"
#include "app/qt/QtText.h"

namespace brindel::app::qt {

namespace {

constexpr int kMargin = 20;
constexpr int kWidth = 447;
constexpr int kHeight = 211;
constexpr char kTag[] = "tag";

}  // namespace

TOutlookVersionDlg::TOutlookVersionDlg(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("OutlookVersionDlg"));
  setWindowTitle(QStringLiteral("Auswahl der Outlook Version"));
  setFont(WindowFont());
  setFixedSize(kWidth, kHeight);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(226, 231, 243));
  setPalette(colours);
  setAutoFillBackground(true);

  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setTextFormat(Qt::PlainText);
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setText(QStringLiteral(
      "Auf diesem Rechner wurden zwei Outlook-Installationen gefunden! Wählen Sie aus, welche "
      "Version Sie aktuell sichern bzw. wiederherstellen wollen!"));
  // Two lines in Tahoma; a wider substitute font may need a third, which the space
  // above the check box still holds.
  const int labelWidth = kWidth - 2 * kMargin;
  Label1->setGeometry(kMargin, kMargin, labelWidth,
                      std::max(26, Label1->heightForWidth(labelWidth)));

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(kMargin, 46, labelWidth, kHeight - 46);

  chkRemOVersion = new QCheckBox(QStringLiteral("Auswahl merken"), Panel1);
  chkRemOVersion->setObjectName(QStringLiteral("chkRemOVersion"));
  chkRemOVersion->setGeometry(152, 28, 145, 17);

  btnOutlook0 = new QPushButton(Panel1);
  btnOutlook0->setObjectName(QStringLiteral("btnOutlook0"));
  btnOutlook0->setGeometry(24, 64, 161, 73);
  btnOutlook0->setProperty(kTag, 0);
  btnOutlook1 = new QPushButton(Panel1);
  btnOutlook1->setObjectName(QStringLiteral("btnOutlook1"));
  btnOutlook1->setGeometry(224, 64, 161, 73);
  btnOutlook1->setProperty(kTag, 1);
  for (QPushButton* button : {btnOutlook0, btnOutlook1}) {
    button->setFont(ButtonFont());
    // Enter clicks the button that has the focus, as on Windows; none is the default.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, button] { btnOutlook0Click(button); });
  }
}

void TOutlookVersionDlg::SetInstallations(std::u16string_view First, std::u16string_view Second) {
  btnOutlook0->setText(PlainButtonCaption(First));
  btnOutlook1->setText(PlainButtonCaption(Second));
}

void TOutlookVersionDlg::btnOutlook0Click(QPushButton* Sender) {
  choice_ = Sender->property(kTag).toInt() == 0 ? TVersionChoice::First : TVersionChoice::Second;
  bChosen = true;
  accept();
}

void TOutlookVersionDlg::closeEvent(QCloseEvent* Event) {
  // The close box, Alt+F4 or the window menu: the higher version, unless a button
  // has already chosen.
  if (!bChosen)
    choice_ = TVersionChoice::Closed;
  QDialog::closeEvent(Event);
}

void TOutlookVersionDlg::keyPressEvent(QKeyEvent* Event) {
  // No button cancels, so Escape has nothing to do.
  if (Event->key() == Qt::Key_Escape) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}

void TOutlookVersionDlg::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!Event->spontaneous())
    CenterOnScreen(*this);
}

}  // namespace brindel::app::qt
