#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/MainWindow.h"
#include "app/qt/OutlookVersionDlg.h"
#include "app/qt/QtText.h"
#include "outlook/OutlookInstall.h"
#include "outlook/ProfileList.h"
#include "platform/Text.h"
#include "regfile/RegText.h"
#include "registry/store/MemoryStore.h"
#include "support/Bytes.h"

namespace brindel::test {

using app::qt::FromQString;
using app::qt::ToQString;

inline const QString kOfficeTree =
    QStringLiteral("Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles");
inline const QString kMessagingTree = QStringLiteral(
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles");

// What a message box showed.
struct TShownBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  bool centred = false;
  bool mainWindowVisible = false;
};

// What the version dialog showed.
struct TShownDialog {
  QString caption;
  QString label;
  QString first;
  QString second;
  QString checkBox;
  bool checked = false;
  QSize size;
  bool fixedSize = false;
  QColor background;
  QFont buttonFont;
  Qt::WindowFlags flags;
  bool centred = false;
};

// How the user ends the version dialog.
enum class TDialogAnswer { First, Second, CloseBox, EscapeThenCloseBox, TickThenSecond };

// What the restore dialog showed.
struct TShownRestoreDlg {
  QString title;
  QString heading;
  // Each row's columns, joined by " | ".
  QStringList rows;
  bool listEnabled = false;
  bool restoreEnabled = false;
  bool otherFileEnabled = false;
  // The objectName of the widget with the focus and of the default button.
  QString focus;
  QString defaultButton;
};

// What the user does in the restore dialog, by keyboard where a key does it.
struct TRestoreAnswer {
  enum class Kind {
    Cancel,      // "Abbrechen"
    Escape,      // the Escape key
    EnterOnRow,  // the arrow keys to `row`, then Enter
    OtherFile,   // "Andere Datei…" (the chooser is answered with `otherFile`)
  } kind = Kind::Cancel;
  int row = 0;
};

// Answers the modal windows the program opens, as a user would, and keeps what they
// showed: message boxes with their "OK", the version dialog as `dialogAnswer` says.
// It looks every few milliseconds, also inside the modal windows' own event loops.
class TModalAnswerer : public QObject {
 public:
  TModalAnswerer() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
    timer_.start();
  }

  std::vector<TShownBox> boxes;
  std::vector<TShownDialog> dialogs;
  TDialogAnswer dialogAnswer = TDialogAnswer::CloseBox;
  // The restore dialogs shown, and the answers to give them in turn; without one left,
  // "Abbrechen".
  std::vector<TShownRestoreDlg> restoreDialogs;
  std::deque<TRestoreAnswer> restoreAnswers;
  // The answers to the question before a restore, in turn; without one left, yes.
  std::deque<bool> confirmations;
  // The file the chooser of "Andere Datei…" is answered with; empty: it is cancelled.
  // The folders it opened in.
  QString otherFile;
  QStringList chooserFolders;
  // What happened when Escape was pressed: the dialog was still open.
  bool openAfterEscape = false;

 private:
  static bool Centred(const QWidget& window) {
    const QRect screen = window.screen()->availableGeometry();
    const QPoint offset = window.frameGeometry().center() - screen.center();
    return std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1;
  }

  static bool MainWindowVisible() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == QLatin1String("MainDlg") && widget->isVisible())
        return true;
    }
    return false;
  }

  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
      return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      TShownBox shown{box->windowTitle(), box->text(),        box->icon(), {},
                      Centred(*box),      MainWindowVisible()};
      for (QAbstractButton* button : box->buttons())
        shown.buttons << button->text();
      boxes.push_back(shown);
      if (box->objectName() == QLatin1String("RestoreQuestion")) {
        const bool yes = confirmations.empty() || confirmations.front();
        if (!confirmations.empty())
          confirmations.pop_front();
        // By keyboard: Enter takes the default button, Escape the other.
        QTest::keyClick(box, yes ? Qt::Key_Return : Qt::Key_Escape);
        return;
      }
      QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
      return;
    }
    if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
      chooserFolders << chooser->directory().absolutePath();
      if (otherFile.isEmpty()) {
        chooser->reject();
      } else {
        // The name typed into the chooser's line, then Enter.
        chooser->selectFile(otherFile);
        auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QTest::keyClick(name ? static_cast<QWidget*>(name) : chooser, Qt::Key_Return);
      }
      return;
    }
    if (modal->objectName() == QLatin1String("RestoreDlg")) {
      if (!bRestoreAnswerPending)
        AnswerRestoreDlg(*modal);
      return;
    }
    if (auto* dialog = qobject_cast<app::qt::TOutlookVersionDlg*>(modal)) {
      auto* first = dialog->findChild<QPushButton*>(QStringLiteral("btnOutlook0"));
      auto* second = dialog->findChild<QPushButton*>(QStringLiteral("btnOutlook1"));
      auto* check = dialog->findChild<QCheckBox*>(QStringLiteral("chkRemOVersion"));
      auto* label = dialog->findChild<QLabel*>(QStringLiteral("Label1"));
      dialogs.push_back({dialog->windowTitle(), label->text(), first->text(), second->text(),
                         check->text(), check->isChecked(), dialog->size(),
                         dialog->minimumSize() == dialog->maximumSize(),
                         dialog->palette().color(QPalette::Window), first->font(),
                         dialog->windowFlags(), Centred(*dialog)});
      switch (dialogAnswer) {
        case TDialogAnswer::First:
          QTest::mouseClick(first, Qt::LeftButton);
          break;
        case TDialogAnswer::Second:
          QTest::mouseClick(second, Qt::LeftButton);
          break;
        case TDialogAnswer::TickThenSecond:
          QTest::mouseClick(check, Qt::LeftButton);
          QTest::mouseClick(second, Qt::LeftButton);
          break;
        case TDialogAnswer::EscapeThenCloseBox:
          QTest::keyClick(dialog, Qt::Key_Escape);
          openAfterEscape = dialog->isVisible();
          dialog->close();
          break;
        case TDialogAnswer::CloseBox:
          dialog->close();
          break;
      }
    }
  }

  void AnswerRestoreDlg(QWidget& dialog) {
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("lvBackups"));
    auto* restore = dialog.findChild<QPushButton*>(QStringLiteral("btnRestore"));
    auto* other = dialog.findChild<QPushButton*>(QStringLiteral("btnOtherFile"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    TShownRestoreDlg shown;
    shown.title = dialog.windowTitle();
    shown.heading = dialog.findChild<QLabel*>(QStringLiteral("lblBackups"))->text();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QStringList columns;
      for (int column = 0; column < list->columnCount(); ++column)
        columns << list->topLevelItem(i)->text(column);
      while (!columns.isEmpty() && columns.back().isEmpty())
        columns.removeLast();
      shown.rows << columns.join(QStringLiteral(" | "));
    }
    shown.listEnabled = list->isEnabled();
    shown.restoreEnabled = restore->isEnabled();
    shown.otherFileEnabled = other->isEnabled();
    // The dialog's own focus, also before the platform has made it the active window.
    shown.focus = dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString();
    for (QPushButton* button : {restore, other, cancel}) {
      if (button->isDefault())
        shown.defaultButton = button->objectName();
    }
    restoreDialogs.push_back(shown);
    const TRestoreAnswer answer =
        restoreAnswers.empty() ? TRestoreAnswer{} : restoreAnswers.front();
    if (!restoreAnswers.empty())
      restoreAnswers.pop_front();
    // The answer opens modal windows of its own (the question, the chooser), which this
    // timer must answer too, and a timer does not fire inside its own handler: the
    // answer runs from the dialog's loop.
    bRestoreAnswerPending = true;
    QMetaObject::invokeMethod(
        &dialog,
        [this, &dialog, answer, list, other, cancel] {
          bRestoreAnswerPending = false;
          RunRestoreAnswer(dialog, answer, list, other, cancel);
        },
        Qt::QueuedConnection);
  }

  void RunRestoreAnswer(QWidget& dialog, const TRestoreAnswer& answer, QTreeWidget* list,
                        QPushButton* other, QPushButton* cancel) {
    switch (answer.kind) {
      case TRestoreAnswer::Kind::Cancel:
        QTest::mouseClick(cancel, Qt::LeftButton);
        break;
      case TRestoreAnswer::Kind::Escape:
        QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_Escape);
        break;
      case TRestoreAnswer::Kind::EnterOnRow:
        list->setFocus();
        while (list->indexOfTopLevelItem(list->currentItem()) < answer.row)
          QTest::keyClick(list, Qt::Key_Down);
        while (list->indexOfTopLevelItem(list->currentItem()) > answer.row)
          QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Return);
        break;
      case TRestoreAnswer::Kind::OtherFile:
        QTest::mouseClick(other, Qt::LeftButton);
        break;
    }
  }

  QTimer timer_;
  bool bRestoreAnswerPending = false;
};

// The lines of a log fixture: UTF-8, one log line per line.
inline QStringList ExpectedLog(const QString& name) {
  QFile file(QStringLiteral(BRINDEL_FIXTURES "/profiles/") + name);
  if (!file.open(QIODevice::ReadOnly))
    return {QStringLiteral("missing fixture ") + name};
  QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.back().isEmpty())
    lines.removeLast();
  return lines;
}

// One run of the real window over a registry of its own in memory, with a documents
// folder of its own, and a user who answers every modal window.
class TWindowRun {
 public:
  TWindowRun() = default;
  ~TWindowRun() { window_.reset(); }

  // Registry content.
  void Load(const char* fixture) {
    regfile::LoadRegTextFile(
        platform::FromUtf8(std::string(BRINDEL_FIXTURES) + "/profiles/" + fixture), store);
  }
  void Put(const std::u16string& path, std::u16string_view name, const std::u16string& text,
           registry::store::HKEY root) {
    registry::store::HKEY key = 0;
    QCOMPARE(store.CreateKey(root, path, registry::store::KEY_ALL_ACCESS, key), 0);
    QCOMPARE(store.SetValue(key, name, registry::store::REG_SZ, test::Utf16Bytes(text)), 0);
    store.CloseKey(key);
  }
  void Profile(std::u16string_view name) {
    registry::store::HKEY key = 0;
    QCOMPARE(store.CreateKey(registry::store::HKEY_CURRENT_USER,
                             FromQString(kOfficeTree) + u"\\" + std::u16string(name),
                             registry::store::KEY_ALL_ACCESS, key),
             0);
    store.CloseKey(key);
  }
  // An OUTLOOK.EXE registered at a location, with the Bitness of its version.
  void Install(unsigned location, const char* exe, const char16_t* version = nullptr,
               const char16_t* bitness = nullptr) {
    Put(outlook::OutlookLocationKey(location), u"",
        platform::FromUtf8(std::string(BRINDEL_PE_FIXTURES) + "/" + exe),
        registry::store::HKEY_LOCAL_MACHINE);
    if (version && bitness) {
      Put(u"Software\\Microsoft\\Office\\" + std::u16string(version) + u"\\Outlook", u"Bitness",
          bitness, registry::store::HKEY_LOCAL_MACHINE);
    }
  }

  // Creates and shows the window and waits until its start message has run.
  // `OutlookVersion` is given as a front end's option would; none means detection.
  // `Screen`: the screen it opens on, at its top left; none: where the platform puts it.
  void Start(std::optional<std::u16string> OutlookVersion = u"16", QScreen* Screen = nullptr) {
    const std::u16string documents = FromQString(documents_.path());
    window_ = std::make_unique<app::qt::TMainWindow>([&](app::TMainDlg& Dlg) {
      Dlg.cOutlookVersion = OutlookVersion;
      return std::optional<std::u16string>(documents);
    });
    if (Screen) {
      window_->setScreen(Screen);
      window_->move(Screen->availableGeometry().topLeft());
    }
    window_->show();
    QTRY_VERIFY(window_->Dlg().State() != app::TMainState::Starting);
  }

  app::qt::TMainWindow& Window() { return *window_; }
  app::TMainDlg& Dlg() { return window_->Dlg(); }
  template <class T>
  T* Find(const char* name) {
    return window_->findChild<T*>(QLatin1String(name));
  }
  QComboBox* Profiles() { return Find<QComboBox>("cbProfiles"); }
  QPushButton* StartButton() { return Find<QPushButton>("btnStart"); }
  QPushButton* DeleteButton() { return Find<QPushButton>("btnDelete"); }
  QPlainTextEdit* Memo() { return Find<QPlainTextEdit>("Memo1"); }
  QTreeWidget* Map() { return Find<QTreeWidget>("tvProfileMap"); }
  QTabWidget* Pages() { return Find<QTabWidget>("tabPages"); }
  QPushButton* RestoreButton() { return Find<QPushButton>("btnRestore"); }
  QLabel* Label() { return Find<QLabel>("lblBackupFolder"); }

  QStringList Items() {
    QStringList items;
    for (int i = 0; i < Profiles()->count(); ++i)
      items << Profiles()->itemText(i);
    return items;
  }
  // The log as the view shows it: each line ends with a line break.
  QStringList ShownLog() {
    QStringList lines = Memo()->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty())
      lines.removeLast();
    return lines;
  }

  // The user picks a profile with the arrow keys.
  void Choose(int index) {
    QComboBox* box = Profiles();
    while (box->currentIndex() < index)
      QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > index)
      QTest::keyClick(box, Qt::Key_Up);
  }
  static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
  // Typing, umlauts included, one key per character.
  static void Type(QWidget* widget, const QString& text) {
    for (QChar c : text) {
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }

  QString BackupFolder() { return documents_.path() + QStringLiteral("/Brindel/"); }
  QString Documents() { return documents_.path(); }

  registry::store::MemoryStore store;
  TModalAnswerer user;

 private:
  registry::store::ScopedCurrentStore current_{store};
  QTemporaryDir documents_;
  std::unique_ptr<app::qt::TMainWindow> window_;
};

}  // namespace brindel::test
