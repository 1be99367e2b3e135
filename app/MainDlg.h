#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/MainView.h"
#include "app/StoreSession.h"
#include "outlook/OutlookInstall.h"
#include "outlook/ProfileList.h"
#include "profile/Backup.h"
#include "profile/Definition.h"
#include "profile/LogSink.h"
#include "profile/ProfileAnalysis.h"
#include "profile/ProfileMap.h"
#include "profile/Restore.h"

namespace brindel::app {

// Where a run stands; the enabled buttons follow from it.
enum class TMainState {
  Starting,   // until the start message is handled
  NoProfile,  // no profile found: both buttons disabled
  Choosing,   // two or more profiles, none selected yet
  Ready,      // a profile is selected: "Auslesen" enabled
  Analysed,   // "Auslesen" finished: "Löschen" enabled too
  Repaired,   // "Löschen" finished: lists released, log saved
};

// Trims blanks and control characters from both ends, expands %NAME% references
// from the environment and, when asked, appends the path delimiter unless the path
// ends in one. An empty trimmed path is returned as it is, without a delimiter.
std::u16string ExpandPath(std::u16string_view Path, bool TrailingDelimiter);

// The flow of a run, without a toolkit: it owns everything a run needs and talks to
// its window only through TMainView. Each handler runs to its end; an error that
// escapes a step ends the handler, leaves the log as far as it got and is shown as
// the error box. Handlers run one at a time: one that would start while another runs
// (a click let through while messages are handled) does not start, and a window asks
// Busy() before it hands an event on. While an action changes a profile ("Löschen",
// "Wiederherstellen") the profile box is locked, and unlocked on every way out.
class TMainDlg : public profile::TLogSink {
 public:
  explicit TMainDlg(TMainView& View);
  ~TMainDlg() override;
  TMainDlg(const TMainDlg&) = delete;
  TMainDlg& operator=(const TMainDlg&) = delete;

  // Works out the backup folder from the user's documents folder; a front end may
  // give the documents folder instead of asking the platform.
  void FormCreate(std::optional<std::u16string> DocumentsFolder = std::nullopt);
  // Posts the start message and shows the backup folder.
  void FormShow();
  // The start-up: the profile tree of the chosen version and its profiles in the box.
  void WMStartUp();
  // The user changed the selected profile.
  void cbProfilesChange();
  // Chooses the profile of that key name as the user would in the box (the command
  // line names it). Names are matched as the registry matches key names, without
  // regard to letter case, and the exact spelling wins when two differ only in case.
  // An unknown name is shown as the error box; false then, and while a handler runs.
  bool SelectProfile(std::u16string_view Name);
  // The index in StrList of the profile of that key name, matched as SelectProfile
  // matches; -1 when there is none.
  int FindProfile(std::u16string_view Name) const;
  // The profile of the selected item of the box; null when none is selected.
  const profile::TTavixFiles* SelectedProfile() const;
  // "Auslesen": the analysis of the selected profile into the log, and its map to the
  // view; true when it finished.
  bool Analyse();
  // "Löschen": the backup, and only when it worked the repair of the profile last
  // read, then the log saved beside the backup. It runs once over the lists of one
  // "Auslesen". The log is written beside its file before the registry takes the
  // changes and put in place after: a log that cannot be written leaves a store that
  // can forget (hive files) unchanged; on one that took each change at once (the live
  // registry) the box says that the repair is in it and only the log is missing. True
  // when the repair was done and its log saved; State() is Repaired whenever the
  // repair is in the registry.
  bool Repair();
  // "Wiederherstellen": puts a profile back exactly as the .reg file File holds it
  // (profile::RestoreProfile; an empty File is the profile's first backup), with the
  // guard, session and boxes of "Löschen": refused at once on a registry opened
  // read-only, the changes written at the end and forgotten when that fails. It acts
  // on the profile selected in the box, not on the one last read; ProfilName instead
  // names a profile that need not be listed, such as one deleted since its backup. The
  // log is cleared for its report; the result or the reason is a box, and LastRestore
  // keeps the details. Restoring the profile last read ends its analysis: "Löschen"
  // waits for the next "Auslesen". True when the profile is restored and written.
  bool Restore(std::u16string_view File,
               const std::optional<std::u16string>& ProfilName = std::nullopt);
  profile::TRestoreResult LastRestore;
  // The file LastRestore read.
  std::u16string LastRestoreFile;
  // The map of the profile last read, as the view shows it: made by "Auslesen" from
  // the findings of its lists; after the repair of that profile the state it left,
  // from the findings collected before the repair (which frees the lists). A backup
  // that failed or a repair that was refused or forgotten leaves it as it was. Empty
  // once that profile may have changed otherwise: a restore of it, or a repair that
  // failed half-way on a registry that cannot forget.
  std::optional<profile::TProfileMap> ProfileMap;
  // The backups of the selected profile that are in the backup folder, with their role,
  // size and date, for a window to offer one to Restore; empty when none is selected.
  std::vector<profile::TBackupFile> SelectedProfileBackups() const;
  void btnStartClick() { Analyse(); }
  void btnDeleteClick() { Repair(); }
  void lblBackupFolderClick();
  // A click on the window's own background releases the analysis lists.
  void FormClick();
  void Panel1Click();

  void Log(std::u16string_view Line) override;
  void ShowMsgDlg(std::u16string_view Msg, TMsgDlgType Kind);

  // Finds the Outlook installations and sets SelectedOutlookVersion, with the
  // selection dialog when there are two; true when one was found.
  bool GetOutlookVersionToUse();
  // Exports the profile tree into the backup folder and reads it back; true when that
  // worked. LastBackup says why not, or what proved it.
  bool CreateBackup();
  profile::TBackupResult LastBackup;

  TMainState State() const { return state_; }
  TMainView& View() const { return view_; }
  // True while a handler runs, its message boxes included. A window then drops what
  // its event loop lets through, holds back its start message and stays open.
  bool Busy() const { return bBusy; }

  // The major version of the Outlook installation chosen for this run, in decimal
  // ("16"); empty while none is chosen. The start-up turns it into RegTreeToUse.
  std::u16string SelectedOutlookVersion;
  // RegTreeToUse: the key below HKEY_CURRENT_USER that holds the profiles.
  std::u16string RegTreeToUse;
  // The profiles found at start; item i of the profile box belongs to entry i.
  outlook::TProfileList StrList;
  // The profile being worked on: the one last read by "Auslesen" (the start-up points
  // it at each entry while it fills the box).
  profile::PTavixFiles TavixFiles = nullptr;
  // The backup folder, ending in the path delimiter.
  std::u16string cBackupFolder;
  // ProfileTree, cArrKeyConstants and the lists of the last analysis.
  profile::TProfileAnalysis Analysis;
  // The detected installations (OInstallList), Bit32or64 and KtFileInfo.
  outlook::TOutlookDetection Detection;

  // What a front end may give instead of the start-up's own choice: the Outlook
  // version (no detection then) and the profile tree itself.
  std::optional<std::u16string> cOutlookVersion;
  std::optional<std::u16string> cProfilesTree;
  // How the registry keeps the changes of "Löschen" and "Wiederherstellen": written
  // at their end, forgotten when the action failed half-way. Without one, the current
  // store takes each change at once, as the live registry does.
  TStoreSession* cStoreSession = nullptr;
  // Why the registry cannot be changed in this run; "Löschen" and "Wiederherstellen"
  // then refuse at once.
  std::u16string cReadOnlyReason;

 private:
  // Runs Body unless a handler runs already; false when it did not run. An error
  // that escapes Body passes on.
  bool RunGuarded(const std::function<void()>& Body);
  // Runs Body, showing an error that escapes it as the error box; true when Body
  // finished.
  bool ShowingErrors(const std::function<void()>& Body);
  // RunGuarded and ShowingErrors: the error box still counts as the handler.
  bool RunHandler(const std::function<void()>& Body);
  void SetState(TMainState State) { state_ = State; }
  void FillProfileBox();
  // Keeps the map and hands it to the view; none clears it there.
  void SetProfileMap(std::optional<profile::TProfileMap> Map);
  // The backup, the repair, the changes written and the log saved; false when the
  // backup failed (its box is shown), an error when something after it failed.
  bool RepairBody();
  bool RestoreBody(const std::u16string& ProfilName, std::u16string_view File);
  // The text of the log file, as the view holds the log now.
  std::u16string LogText() const;
  // The German reason when the registry did not take the changes; empty when it did.
  std::u16string FlushStore();
  // Forgets the changes not yet written; false when the store cannot.
  bool DiscardChanges();

  TMainView& view_;
  TMainState state_ = TMainState::Starting;
  bool bBusy = false;
  // The repair of the running "Löschen" has begun to change the registry.
  bool bRepairBegun = false;
};

}  // namespace brindel::app
