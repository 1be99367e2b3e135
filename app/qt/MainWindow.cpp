#include "app/qt/MainWindow.h"

#include "app/FocusOrder.h"
#include "app/Version.h"

#include <algorithm>
#include <iterator>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "app/MapLook.h"
#include "app/qt/Look.h"
#include "app/qt/MsgDlg.h"
#include "app/qt/OutlookVersionDlg.h"
#include "app/qt/QtText.h"
#include "app/qt/RestoreDlg.h"
#include "profile/ProfileMap.h"

namespace brindel::app::qt {

namespace {

constexpr int kClientWidth = 754;
constexpr int kClientHeight = 623;
constexpr int kPanelHeight = 81;

// A click: the left button released over the widget it was pressed on.
bool IsClick(const QWidget& widget, const QMouseEvent& event) {
  return event.button() == Qt::LeftButton && widget.rect().contains(event.position().toPoint());
}

QColor ToQColor(const TColour& Colour) {
  return QColor(Colour.Red, Colour.Green, Colour.Blue);
}

// An entry of the map with its marks in words and, where it has one, its colour, and
// the entries below it.
QTreeWidgetItem* MapItem(const profile::TMapEntry& Entry) {
  auto* item = new QTreeWidgetItem(QStringList{ToQString(profile::MapEntryLine(Entry))});
  if (const auto colour = EntryColour(Entry))
    item->setForeground(0, ToQColor(*colour));
  for (const profile::TMapEntry& child : Entry.Children)
    item->addChild(MapItem(child));
  return item;
}

}  // namespace

TMainWindow::TMainWindow(const TSettings& Settings, QWidget* Parent)
    : QWidget(Parent), dlg_(*this) {
  setObjectName(QStringLiteral("MainDlg"));
  setWindowTitle(QStringLiteral("Brindel ") + QString::fromUtf8(kVersionCaption));
  setFont(WindowFont());
  resize(kClientWidth, kClientHeight);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setFixedHeight(kPanelHeight);

  cbProfiles = new QComboBox(Panel1);
  cbProfiles->setObjectName(QStringLiteral("cbProfiles"));
  cbProfiles->setEditable(false);
  cbProfiles->setGeometry(24, 23, 297, 21);

  // Alt+A and Alt+L; the '&' only underlines the letter.
  btnStart = new QPushButton(QStringLiteral("&Auslesen"), Panel1);
  btnStart->setObjectName(QStringLiteral("btnStart"));
  btnStart->setGeometry(342, 21, 75, 25);

  btnDelete = new QPushButton(QStringLiteral("&Löschen"), Panel1);
  btnDelete->setObjectName(QStringLiteral("btnDelete"));
  btnDelete->setGeometry(423, 21, 75, 25);

  // Alt+W; wider than the other two for its longer caption.
  btnRestore = new QPushButton(QStringLiteral("&Wiederherstellen…"), Panel1);
  btnRestore->setObjectName(QStringLiteral("btnRestore"));
  btnRestore->setGeometry(504, 21, 110, 25);
  btnRestore->setEnabled(false);

  lblBackupFolder = new QLabel(QStringLiteral("Backupordner: "), Panel1);
  lblBackupFolder->setObjectName(QStringLiteral("lblBackupFolder"));
  lblBackupFolder->setTextFormat(Qt::PlainText);
  lblBackupFolder->move(24, 56);
  lblBackupFolder->adjustSize();
  lblBackupFolder->setCursor(Qt::PointingHandCursor);
  // The filter compares with both widgets, and the panel's children announce
  // themselves to it as they are made: it is installed once both exist.
  Panel1->installEventFilter(this);
  lblBackupFolder->installEventFilter(this);

  // The pages fill the window below the panel, without a frame of their own, so that
  // the report is as wide as the window, as it has always been.
  tabPages = new QTabWidget(this);
  tabPages->setObjectName(QStringLiteral("tabPages"));
  tabPages->setDocumentMode(true);
  tabPages->tabBar()->setObjectName(QStringLiteral("tabBar"));

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setFont(LogFont());
  Memo1->setReadOnly(false);
  // Long lines scroll sideways, so a log line is one line on screen too.
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Tab moves on to the next control instead of going into the text.
  Memo1->setTabChangesFocus(true);

  tvProfileMap = new QTreeWidget(this);
  tvProfileMap->setObjectName(QStringLiteral("tvProfileMap"));
  tvProfileMap->setHeaderHidden(true);
  tvProfileMap->setColumnCount(1);
  // Rows of one height let a map of a thousand sections lay itself out at once.
  tvProfileMap->setUniformRowHeights(true);
  tvProfileMap->setSelectionMode(QAbstractItemView::SingleSelection);
  tvProfileMap->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

  tabPages->addTab(Memo1, QStringLiteral("Bericht"));
  tabPages->addTab(tvProfileMap, QStringLiteral("Profil"));
  ClearProfileMap();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel1);
  layout->addWidget(tabPages, 1);

  // The pages by keyboard from anywhere in the window, as in a tabbed dialog.
  for (const QKeySequence& keys :
       {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { TurnPage(1); });
  }
  for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                   QKeySequence(Qt::CTRL | Qt::Key_PageUp)}) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { TurnPage(-1); });
  }

  // Only a change by the user counts: the box's own changes are made with its
  // signals blocked.
  connect(cbProfiles, &QComboBox::currentIndexChanged, this,
          [this] { Handle([this] { dlg_.cbProfilesChange(); }); });
  // What "Auslesen" has found is for "Löschen", the next step.
  connect(btnStart, &QPushButton::clicked, this,
          [this] { Handle([this] { dlg_.btnStartClick(); }, btnDelete); });
  connect(btnDelete, &QPushButton::clicked, this,
          [this] { Handle([this] { dlg_.btnDeleteClick(); }); });
  connect(btnRestore, &QPushButton::clicked, this, [this] { btnRestoreClick(); });

  dlg_.FormCreate(Settings ? Settings(dlg_) : std::nullopt);
}

TMainWindow::~TMainWindow() = default;

bool TMainWindow::Handle(const std::function<void()>& Handler, QWidget* FocusAfter) {
  if (dlg_.Busy())
    return false;
  QWidget* focusBefore = focusWidget();
  Handler();
  SettleFocus(focusBefore, FocusAfter);
  return true;
}

void TMainWindow::EnableControl(QWidget* Control, bool Enabled) {
  // A disabled widget hands the focus to the next one in the chain; here it goes to
  // the control that stands in for it.
  if (!Enabled && focusWidget() == Control)
    FocusInsteadOf(Control)->setFocus(Qt::OtherFocusReason);
  Control->setEnabled(Enabled);
}

bool TMainWindow::CanTakeFocus(const QWidget* Control) const {
  return Control && Control->isEnabled() && Control->isVisibleTo(this);
}

QWidget* TMainWindow::FocusInsteadOf(const QWidget* Control) const {
  // The tab order, ending with the page shown; a page that went hands the focus to the
  // page that came.
  QWidget* const page = tabPages->currentWidget();
  if (Control == Memo1 || Control == tvProfileMap)
    return page;
  QWidget* const order[] = {cbProfiles, btnStart, btnDelete, btnRestore, tabPages->tabBar(), page};
  return FocusStandIn<QWidget*>(order, Control,
                                [this](const QWidget* control) { return CanTakeFocus(control); });
}

void TMainWindow::SettleFocus(QWidget* Before, QWidget* Preferred) {
  QWidget* target = Before;
  if (CanTakeFocus(Preferred)) {
    target = Preferred;
  } else if (!CanTakeFocus(Before)) {
    target = FocusInsteadOf(Before);
  }
  // A window that is not active gives the focus to this widget once it is.
  if (focusWidget() != target)
    target->setFocus(Qt::OtherFocusReason);
}

void TMainWindow::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (bShown)
    return;
  bShown = true;
  // At a large scale on a small screen the design's size is more than the screen has;
  // the same after a move to another screen.
  FitIntoScreen(*this);
  if (QWindow* window = windowHandle())
    connect(window, &QWindow::screenChanged, this, [this] { FitIntoScreen(*this); });
  dlg_.FormShow();
}

void TMainWindow::closeEvent(QCloseEvent* Event) {
  // Closing while a handler runs would end the program half-way through an action.
  if (dlg_.Busy()) {
    Event->ignore();
    return;
  }
  QWidget::closeEvent(Event);
}

void TMainWindow::mousePressEvent(QMouseEvent* Event) {
  Event->accept();
}

void TMainWindow::mouseReleaseEvent(QMouseEvent* Event) {
  Event->accept();
  if (IsClick(*this, *Event))
    Handle([this] { dlg_.FormClick(); });
}

bool TMainWindow::eventFilter(QObject* Watched, QEvent* Event) {
  // The panel and the label take their own clicks, so that none reaches the window's
  // background, which would release the analysis lists.
  const bool panel = Watched == Panel1;
  const bool label = Watched == lblBackupFolder;
  if (!panel && !label)
    return QWidget::eventFilter(Watched, Event);
  switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return true;
    case QEvent::MouseButtonRelease: {
      const auto& widget = *static_cast<QWidget*>(Watched);
      if (IsClick(widget, *static_cast<QMouseEvent*>(Event))) {
        if (label) {
          Handle([this] { dlg_.lblBackupFolderClick(); });
        } else {
          Handle([this] { dlg_.Panel1Click(); });
        }
      }
      return true;
    }
    default:
      return QWidget::eventFilter(Watched, Event);
  }
}

void TMainWindow::ClearProfiles() {
  const QSignalBlocker blocker(cbProfiles);
  cbProfiles->clear();
}

void TMainWindow::AddProfile(std::u16string_view Text) {
  const QSignalBlocker blocker(cbProfiles);
  const int selected = cbProfiles->currentIndex();
  cbProfiles->addItem(ToQString(Text));
  // A combo box selects its first item by itself; the list starts with none selected.
  cbProfiles->setCurrentIndex(selected);
}

void TMainWindow::SelectProfile(int Index) {
  const QSignalBlocker blocker(cbProfiles);
  cbProfiles->setCurrentIndex(Index);
}

int TMainWindow::SelectedProfile() const {
  return cbProfiles->currentIndex();
}

void TMainWindow::SetProfilesEnabled(bool Enabled) {
  EnableControl(cbProfiles, Enabled);
}

void TMainWindow::SetStartEnabled(bool Enabled) {
  EnableControl(btnStart, Enabled);
  EnableControl(btnRestore, Enabled);
}

void TMainWindow::SetDeleteEnabled(bool Enabled) {
  EnableControl(btnDelete, Enabled);
}

void TMainWindow::SetBackupFolderCaption(std::u16string_view Caption) {
  lblBackupFolder->setText(ToQString(Caption));
  lblBackupFolder->adjustSize();
}

void TMainWindow::ClearLog() {
  Memo1->clear();
}

void TMainWindow::AppendLog(std::u16string_view Line) {
  // Every line of the log ends with a line break, as in a memo's text, so an empty
  // first line is a line too. A line typed by hand after the last break is ended
  // first.
  QTextCursor end(Memo1->document());
  end.movePosition(QTextCursor::End);
  end.beginEditBlock();
  if (!end.block().text().isEmpty())
    end.insertBlock();
  end.insertText(ToQString(Line));
  end.insertBlock();
  end.endEditBlock();
  Memo1->moveCursor(QTextCursor::End);
}

std::vector<std::u16string> TMainWindow::LogLines() const {
  // Raw text keeps what was typed (no space for a no-break space); block and line
  // separators both end a line.
  QString text = Memo1->document()->toRawText();
  text.replace(QChar::LineSeparator, QChar::ParagraphSeparator);
  QStringList lines = text.split(QChar::ParagraphSeparator);
  // Text after the last line break is a line only when it is not empty.
  if (!lines.isEmpty() && lines.back().isEmpty())
    lines.removeLast();
  std::vector<std::u16string> result;
  result.reserve(static_cast<std::size_t>(lines.size()));
  for (const QString& line : lines)
    result.push_back(FromQString(line));
  return result;
}

void TMainWindow::ShowMessage(std::u16string_view Text, TMsgDlgType Kind) {
  ShowMsgDlg(Text, Kind, this);
}

void TMainWindow::ShowProfileMap(const profile::TProfileMap& Map) {
  // One fill with drawing held back: a profile of a thousand sections stays quick.
  tvProfileMap->setUpdatesEnabled(false);
  tvProfileMap->clear();
  auto* counts = new QTreeWidgetItem(QStringList{ToQString(Map.CountLine)});
  tvProfileMap->addTopLevelItems({counts, MapItem(Map.Root)});
  tvProfileMap->expandAll();
  // The arrow keys start at the top; nothing is selected before the user moves.
  tvProfileMap->setCurrentItem(counts, 0, QItemSelectionModel::NoUpdate);
  tvProfileMap->setUpdatesEnabled(true);
}

void TMainWindow::ClearProfileMap() {
  tvProfileMap->clear();
  auto* note = new QTreeWidgetItem(QStringList{ToQString(kNoMapNote)});
  note->setForeground(0, ToQColor(kNoteColour));
  tvProfileMap->addTopLevelItem(note);
  tvProfileMap->setCurrentItem(note, 0, QItemSelectionModel::NoUpdate);
}

void TMainWindow::btnRestoreClick() {
  const profile::TTavixFiles* profile = dlg_.SelectedProfile();
  if (dlg_.Busy() || profile == nullptr)
    return;
  const std::u16string name = profile->ProfilName;
  TRestoreDlg dialog(name, dlg_.cBackupFolder, dlg_.SelectedProfileBackups(), this);
  if (dialog.exec() != QDialog::Accepted)
    return;
  const std::u16string file = dialog.ChosenFile();
  Handle([this, file] { dlg_.Restore(file); });
}

void TMainWindow::TurnPage(int Step) {
  QWidget* const shown = tabPages->currentWidget();
  QWidget* const focus = focusWidget();
  const bool focusOnPage = focus && (focus == shown || shown->isAncestorOf(focus));
  const int count = tabPages->count();
  tabPages->setCurrentIndex((tabPages->currentIndex() + Step + count) % count);
  if (focusOnPage)
    tabPages->currentWidget()->setFocus(Qt::TabFocusReason);
}

void TMainWindow::ProcessMessages() {
  QCoreApplication::processEvents();
}

void TMainWindow::PostStartMessage(std::function<void()> Handler) {
  QMetaObject::invokeMethod(
      this, [this, Handler = std::move(Handler)] { RunStartMessage(Handler); },
      Qt::QueuedConnection);
}

void TMainWindow::RunStartMessage(std::function<void()> Handler) {
  // A posted message waits for a running handler rather than being dropped.
  if (dlg_.Busy()) {
    PostStartMessage(std::move(Handler));
    return;
  }
  Handle(Handler);
}

TVersionChoice TMainWindow::ChooseOutlookVersion(std::u16string_view First,
                                                 std::u16string_view Second) {
  // A dialog of its own, without an owner, for this one choice.
  TOutlookVersionDlg dialog;
  dialog.SetInstallations(First, Second);
  dialog.exec();
  return dialog.Choice();
}

void TMainWindow::OpenFolder(std::u16string_view Folder) {
  // The desktop's file browser; whether it could be started is not reported.
  QProcess::startDetached(QStringLiteral("xdg-open"), {ToQString(Folder)});
}

}  // namespace brindel::app::qt
