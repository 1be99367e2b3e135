#pragma once

// Drives the Win32 windows as a user would, with window messages, and answers their
// modal windows. Nothing here includes windows.h, so that tests can use the registry
// store's names beside it.

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

struct HWND__;

namespace brindel::test {

using Window = HWND__*;

// The control with this id anywhere below `parent`; null when there is none.
Window Control(Window parent, int id);

std::u16string Text(Window window);
bool Enabled(Window window);
bool Visible(Window window);
// The window's style bits (GWL_STYLE).
std::uint32_t Style(Window window);
// The window's class name.
std::u16string ClassName(Window window);

struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TRect&) const = default;
};
// The control's place in the client area of its parent.
TRect PlaceInParent(Window control);
// The size of the client area.
TRect ClientRect(Window window);
// The window's frame on the screen.
TRect FrameOnScreen(Window window);
// The work area of the monitor the window is on: the screen less the task bar.
TRect WorkArea(Window window);
// Whether `inner` lies wholly inside `outer`.
bool Inside(const TRect& inner, const TRect& outer);
// The colour of a pixel of the window's client area as it is on screen.
std::uint32_t Pixel(Window window, int x, int y);
// How many pixels of a part of the window's client area have this colour, as on screen.
int CountPixels(Window window, const TRect& part, std::uint32_t colour);
// Draws what waits to be drawn, in the window and below it, and nothing else.
void PaintPending(Window window);
// The screen's DPI, asked of the screen itself.
int ScreenDpi();
// A length of the 96-DPI layout at the screen's DPI.
int AtScreenDpi(int pixels);

struct TFontInfo {
  std::u16string face;
  int height = 0;  // negative: the character height in pixels
  int weight = 0;
};
// The font a control was given.
TFontInfo ControlFont(Window control);
// The font height of a point size at the screen's DPI, as a negative character height.
int FontHeight(int points);

// The profile box.
std::vector<std::u16string> ComboItems(Window combo);
int ComboSelection(Window combo);
// The user picks an item: the box selects it and tells its parent.
void UserSelects(Window combo, int index);

// A click on a button, as the button handles a mouse click.
void Click(Window button);
// A click at a point of `window`'s client area, delivered to the window that the
// system finds at that point. Returns that window.
Window ClickAt(Window window, int x, int y);
// A click delivered to this very window at a point of its client area, as the system
// delivers one that lands on it.
void ClickOn(Window window, int x, int y);
// A notification of a control to its parent, as the control sends it.
void Notify(Window control, int code);
// Enables or disables a control behind the window's back.
void EnableControl(Window control, bool enabled);
// Asks the window to close, as its close box does.
void Close(Window window);
// Typing: one character message each.
void Type(Window control, std::u16string_view text);
// A key press (down and up) of a virtual key code.
void PressKey(Window control, unsigned virtualKey);
// A key as the keyboard delivers it: posted to the control with the focus (to the
// active window when none has it), for the program's own message loop to take.
// `alt`: with Alt held, as for an access key.
void PostKey(unsigned virtualKey, bool alt = false);
// The window with the keyboard focus of this thread; null when none has it.
Window Focus();
// The active window of this thread: the one the user works in.
Window ActiveWindow();
// The caption a control shows: a single '&' marks the access key and is not shown,
// "&&" shows one '&'.
std::u16string ShownCaption(std::u16string_view text);
// The access key of a caption, upper-case; 0 when it has none.
char16_t AccessKey(std::u16string_view text);
// Selects characters of an edit control.
void SelectText(Window edit, int from, int to);
// Where the line of an edit control starts and how long it is.
int LineStart(Window edit, int line);
int LineLength(Window edit, int line);

// Keys held down while the object lives, as the keyboard state says when a message is
// handled (Ctrl for Ctrl+Tab): GetKeyState then reports them.
class TKeysHeld {
 public:
  explicit TKeysHeld(std::initializer_list<unsigned> keys);
  ~TKeysHeld();
  TKeysHeld(const TKeysHeld&) = delete;
  TKeysHeld& operator=(const TKeysHeld&) = delete;

 private:
  std::vector<unsigned> keys_;
};

// One item of a tree view, read with TVM_GETITEM.
struct TTreeItem {
  std::u16string text;
  int depth = 0;
  bool expanded = false;
  bool hasChildren = false;
  std::intptr_t param = 0;
  void* handle = nullptr;
};
// The items of a tree view, parents before their children.
std::vector<TTreeItem> TreeItems(Window tree);
// The item with the caret (the selected one); null when none.
void* TreeSelection(Window tree);
// The colour of an item's text as the tree's owner sets it when the tree draws the
// item (NM_CUSTOMDRAW), asked the way the tree asks; `selected` draws it as the
// selected item. The system's text colour when the owner sets none.
std::uint32_t TreeItemColour(Window tree, const TTreeItem& item, bool selected = false);
// The colour the system gives text in a window (COLOR_WINDOWTEXT).
std::uint32_t WindowTextColour();
// An RGB colour as windows.h's RGB makes it.
constexpr std::uint32_t Rgb(int red, int green, int blue) {
  return static_cast<std::uint32_t>(red) | (static_cast<std::uint32_t>(green) << 8) |
         (static_cast<std::uint32_t>(blue) << 16);
}

// Where an item's text is drawn in the tree's client area; empty when it is not shown.
TRect TreeItemPlace(Window tree, const TTreeItem& item);

// The rows of a list view in report mode, each row's columns joined by " | ".
std::vector<std::u16string> ListRows(Window list);
// The selected row of a list view; -1 when none.
int ListSelection(Window list);
// The captions of a tab control's tabs and the selected one.
std::vector<std::u16string> TabCaptions(Window tabs);
int TabSelection(Window tabs);
// A click on a tab, as the mouse gives it.
void ClickTab(Window tabs, int index);

// Handles the messages that are waiting, then returns.
void Pump();
// Runs `call` once the thread's message loop gets to it: after what is queued now.
void PostCall(std::function<void()> call);

// Runs `tick` every few milliseconds while the object lives, also inside the message
// loops of modal windows.
class TTicker {
 public:
  explicit TTicker(std::function<void()> tick);
  ~TTicker();
  TTicker(const TTicker&) = delete;
  TTicker& operator=(const TTicker&) = delete;

  void Tick();
  std::uintptr_t Timer() const { return timer_; }

 private:
  std::function<void()> tick_;
  std::uintptr_t timer_ = 0;
  bool ticking_ = false;
};

// The top-level windows of this thread that are shown, of a window class.
std::vector<Window> ShownWindows(std::u16string_view className);

// What a message box showed.
enum class TBoxIcon { None, Error, Information, Question, Other };
struct TShownBox {
  std::u16string title;
  std::u16string text;
  TBoxIcon icon = TBoxIcon::None;
  std::vector<std::u16string> buttons;
  // The main window was on screen and waited for the box.
  bool ownerShownAndDisabled = false;
  // In the middle of the screen's work area.
  bool centred = false;
};

// What the version dialog showed.
struct TShownDialog {
  std::u16string caption;
  std::u16string label;
  std::u16string first;
  std::u16string second;
  std::u16string checkBox;
  bool checked = false;
  TRect client;
  std::uint32_t style = 0;
  // The colour of the dialog's margin and behind the check box's text.
  std::uint32_t marginColour = 0;
  std::uint32_t checkBoxColour = 0;
  TFontInfo buttonFont;
  bool centred = false;
  bool ownerDisabled = false;
  // The label's text fits in its control.
  bool labelFits = false;
};

// What the restore dialog showed.
struct TShownRestoreDlg {
  std::u16string caption;
  std::u16string heading;
  std::vector<std::u16string> rows;
  int selected = -1;
  bool listEnabled = false;
  bool restoreEnabled = false;
  bool otherFileEnabled = false;
  // The id of the control with the focus, and of the default push button.
  int focus = 0;
  int defaultButton = 0;
  bool ownerDisabled = false;
  bool centred = false;
};

// What the user does in the restore dialog, by keyboard where a key does it.
struct TRestoreAnswer {
  enum class Kind {
    Cancel,      // "Abbrechen"
    Escape,      // the Escape key
    EnterOnRow,  // `row` selected, then Enter
    OtherFile,   // "Andere Datei…"
  } kind = Kind::Cancel;
  int row = 0;
};

// How the user ends the version dialog.
enum class TDialogAnswer {
  First,
  Second,
  CloseBox,
  EscapeThenCloseBox,
  TickThenSecond,
  EnterOnSecond,
};

// Answers the modal windows the program opens, as a user would, and keeps what they
// showed: message boxes with their "OK", the version dialog as `dialogAnswer` says.
// A timer of the thread looks for them, so it runs inside their own message loops.
class TModalAnswerer {
 public:
  TModalAnswerer();
  ~TModalAnswerer();
  TModalAnswerer(const TModalAnswerer&) = delete;
  TModalAnswerer& operator=(const TModalAnswerer&) = delete;

  std::vector<TShownBox> boxes;
  std::vector<TShownDialog> dialogs;
  TDialogAnswer dialogAnswer = TDialogAnswer::CloseBox;
  // The restore dialogs shown, and the answers to give them in turn; without one left,
  // "Abbrechen".
  std::vector<TShownRestoreDlg> restoreDialogs;
  std::deque<TRestoreAnswer> restoreAnswers;
  // The answers to the question before a restore (kept in `boxes`), in turn; without
  // one left, yes.
  std::deque<bool> confirmations;
  // Escape was pressed and the dialog was still open afterwards.
  bool openAfterEscape = false;

  // Called by the timer.
  void Answer();

 private:
  void AnswerBox(Window box);
  void AnswerDialog(Window dialog);
  void AnswerQuestion(Window question);
  void AnswerRestoreDlg(Window dialog);

  std::uintptr_t timer_ = 0;
  bool answering_ = false;
  // The dialog that got Escape and is to be closed at the next look.
  Window escaped_ = nullptr;
  // The dialog last answered.
  Window answered_ = nullptr;
  // The question last answered.
  Window question_ = nullptr;
};

}  // namespace brindel::test
