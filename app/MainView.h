#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brindel::profile {
struct TProfileMap;
}

namespace brindel::app {

// The kind of a message box: its icon and its title.
enum class TMsgDlgType { mtError, mtInformation };

// How the selection dialog between two Outlook installations ended.
enum class TVersionChoice {
  First,   // the button of the first (higher) installation
  Second,  // the button of the second installation
  Closed,  // the close box: counts as the higher version
};

// The title every front end shows for a kind of message box.
inline std::u16string_view MsgDlgCaption(TMsgDlgType kind) {
  return kind == TMsgDlgType::mtError ? u"Fehler" : u"Informationen";
}

// What the flow object TMainDlg needs of its window: the profile box, the two
// buttons, the backup folder label, the log, the profile map and message boxes. Both windows (Qt
// and Win32), the command line and tests implement it. Nothing here calls back into TMainDlg except
// PostStartMessage and the front end's own event handling.
class TMainView {
 public:
  virtual ~TMainView() = default;

  // The profile box (cbProfiles): items in the order added, never sorted. Index -1
  // means no item is selected. Selecting from here is not a change by the user, so
  // it does not lead to cbProfilesChange.
  virtual void ClearProfiles() = 0;
  virtual void AddProfile(std::u16string_view Text) = 0;
  virtual void SelectProfile(int Index) = 0;
  virtual int SelectedProfile() const = 0;
  // Locks and unlocks the profile box. The flow locks it while an action changes a
  // profile and lets messages through: a selection changed then would clear the log
  // that the action writes and saves.
  virtual void SetProfilesEnabled(bool Enabled) = 0;

  // "Auslesen" (btnStart) and "Löschen" (btnDelete).
  virtual void SetStartEnabled(bool Enabled) = 0;
  virtual void SetDeleteEnabled(bool Enabled) = 0;

  // The caption of the backup folder label (lblBackupFolder).
  virtual void SetBackupFolderCaption(std::u16string_view Caption) = 0;

  // The log (Memo1). It lives in the view and the user may edit it there, so what
  // LogLines gives back is what the view holds now, not what was appended.
  virtual void ClearLog() = 0;
  virtual void AppendLog(std::u16string_view Line) = 0;
  virtual std::vector<std::u16string> LogLines() const = 0;

  // A modal message box with the title of its kind (MsgDlgCaption) and one "OK"
  // button; returns when it is dismissed.
  virtual void ShowMessage(std::u16string_view Text, TMsgDlgType Kind) = 0;

  // "Löschen" could not make its backup: Message is the fixed text of the box, Reason
  // why, with the file or folder and the system's words. A window shows both in the
  // one box, Reason as its second line.
  virtual void ShowBackupFailure(std::u16string_view Message, std::u16string_view Reason) {
    ShowMessage(Reason.empty() ? std::u16string(Message)
                               : std::u16string(Message) + u"\n" + std::u16string(Reason),
                TMsgDlgType::mtInformation);
  }
  // The backup was read back and holds the profile as the registry does; Note counts
  // its keys and values. A window shows nothing, since the repair follows at once.
  virtual void BackupProven(std::u16string_view Note) { (void)Note; }

  // The profile at a glance, beside the log: the map of the profile last read, after
  // "Löschen" the state the repair left. A view without such a page shows nothing.
  virtual void ShowProfileMap(const profile::TProfileMap& Map) { (void)Map; }
  // No map: nothing read yet, or the profile has changed since.
  virtual void ClearProfileMap() {}

  // Lets the window handle the messages that are waiting, once, and returns.
  virtual void ProcessMessages() = 0;

  // Runs Handler once the window is on screen and its event loop gets to it, after
  // the caller has returned (the posted start message).
  virtual void PostStartMessage(std::function<void()> Handler) = 0;

  // The modal dialog "Auswahl der Outlook Version" with one button per installation,
  // captioned with their names; returns how it ended.
  virtual TVersionChoice ChooseOutlookVersion(std::u16string_view First,
                                              std::u16string_view Second) = 0;

  // Shows the folder in the platform's file browser; the outcome is not reported.
  virtual void OpenFolder(std::u16string_view Folder) = 0;
};

}  // namespace brindel::app
