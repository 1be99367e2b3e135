#include "app/MainDlg.h"

#include <exception>

#include "platform/AnsiCodePage.h"
#include "platform/DocumentsFolder.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "profile/Repair.h"
#include "registry/store/RegistryStore.h"

namespace brindel::app {

using platform::kPathDelimiter;

std::u16string ExpandPath(std::u16string_view Path, bool TrailingDelimiter) {
  Path = platform::Trim(Path);
  if (Path.empty())
    return {};
  std::u16string result = platform::ExpandEnvironmentStrings(Path);
  if (TrailingDelimiter && (result.empty() || result.back() != kPathDelimiter)) {
    result += kPathDelimiter;
  }
  return result;
}

TMainDlg::TMainDlg(TMainView& View)
    : Analysis(*this),
      Detection([this](const std::u16string& Text) { ShowMsgDlg(Text, TMsgDlgType::mtError); }),
      view_(View) {}

TMainDlg::~TMainDlg() = default;

bool TMainDlg::RunGuarded(const std::function<void()>& Body) {
  if (bBusy)
    return false;
  bBusy = true;
  try {
    Body();
  } catch (...) {
    bBusy = false;
    throw;
  }
  bBusy = false;
  return true;
}

bool TMainDlg::ShowingErrors(const std::function<void()>& Body) {
  try {
    Body();
    return true;
  } catch (const platform::Exception& error) {
    ShowMsgDlg(error.Message(), TMsgDlgType::mtError);
  } catch (const std::exception& error) {
    ShowMsgDlg(platform::FromUtf8(error.what()), TMsgDlgType::mtError);
  }
  return false;
}

bool TMainDlg::RunHandler(const std::function<void()>& Body) {
  bool finished = false;
  RunGuarded([&] { finished = ShowingErrors(Body); });
  return finished;
}

void TMainDlg::FormCreate(std::optional<std::u16string> DocumentsFolder) {
  const std::u16string documents = DocumentsFolder ? *DocumentsFolder : platform::DocumentsFolder();
  // With no known documents folder this is the relative path "Brindel" + delimiter.
  cBackupFolder = ExpandPath(documents, true) + u"Brindel" + kPathDelimiter;
  view_.SetStartEnabled(false);
  view_.SetDeleteEnabled(false);
}

void TMainDlg::FormShow() {
  view_.PostStartMessage([this] { WMStartUp(); });
  view_.SetBackupFolderCaption(cBackupFolder);
}

bool TMainDlg::GetOutlookVersionToUse() {
  Detection.GetInstalledOutlookVersions();
  const outlook::TOutlookInstall& first = *Detection.OInstallList[0];
  const outlook::TOutlookInstall& second = *Detection.OInstallList[1];
  if (first.Version > 0 && second.Version > 0) {
    // The close box has no cancel meaning: it chooses the higher version.
    const TVersionChoice choice = view_.ChooseOutlookVersion(first.NameAndBit, second.NameAndBit);
    outlook::SelectedOutlookVersion =
        platform::Decimal(choice == TVersionChoice::Second ? second.Version : first.Version);
  } else if (first.Version > 0) {
    outlook::SelectedOutlookVersion = platform::Decimal(first.Version);
  }
  if (first.Version > 0)
    return true;
  ShowMsgDlg(outlook::kOutlookNotFound, TMsgDlgType::mtError);
  return false;
}

void TMainDlg::WMStartUp() {
  RunHandler([this] {
    if (cOutlookVersion) {
      outlook::SelectedOutlookVersion = *cOutlookVersion;
    } else if (!cProfilesTree) {
      GetOutlookVersionToUse();
    }
    RegTreeToUse = cProfilesTree ? *cProfilesTree : outlook::GetProfilesRegTree();
    StrList = outlook::GetProfileList(RegTreeToUse);
    if (StrList.Count() == 0) {
      SetState(TMainState::NoProfile);
      ShowMsgDlg(u"Es konnte kein Profil ermittelt werden!", TMsgDlgType::mtInformation);
      StrList.Clear();
      return;
    }
    SetState(TMainState::Choosing);
    FillProfileBox();
    if (StrList.Count() == 1) {
      view_.SelectProfile(0);
      view_.SetStartEnabled(true);
      SetState(TMainState::Ready);
    }
  });
}

void TMainDlg::FillProfileBox() {
  view_.ClearProfiles();
  for (int i = 0; i < StrList.Count(); ++i) {
    TavixFiles = &StrList[i];
    // Read afresh for every entry.
    const std::u16string defaultProfile = outlook::GetDefaultProfile(RegTreeToUse);
    std::u16string text = outlook::DecodeProfileKeyName(TavixFiles->ProfilName);
    if (TavixFiles->ProfilName == defaultProfile)
      text += u" (Standard)";
    view_.AddProfile(text);
  }
}

void TMainDlg::cbProfilesChange() {
  const bool selected = view_.SelectedProfile() >= 0;
  // While "Löschen" lets messages through, "Auslesen" stays disabled; the handler
  // enables it again when it ends.
  view_.SetStartEnabled(selected && !bBusy);
  view_.ClearLog();
  if (selected && state_ == TMainState::Choosing)
    SetState(TMainState::Ready);
}

bool TMainDlg::Analyse() {
  const int index = view_.SelectedProfile();
  if (index < 0 || index >= StrList.Count())
    return false;
  return RunHandler([this, index] {
    // The lists are about to be replaced: until this analysis has finished, "Löschen"
    // must not work on them, or a failed analysis would leave it enabled over half
    // filled lists.
    view_.SetDeleteEnabled(false);
    SetState(TMainState::Ready);
    TavixFiles = &StrList[index];
    view_.ClearLog();
    Analysis.Analyse(RegTreeToUse, TavixFiles->ProfilName);
    view_.SetDeleteEnabled(true);
    SetState(TMainState::Analysed);
  });
}

bool TMainDlg::CreateBackup() {
  LastBackup = profile::MakeBackup(Analysis.ProfileTree, TavixFiles->ProfilName, cBackupFolder,
                                   [this] { view_.ProcessMessages(); });
  return LastBackup.Ok;
}

bool TMainDlg::Repair() {
  // The repair needs the lists of the last "Auslesen", and runs once over them.
  if (state_ != TMainState::Analysed || !Analysis.bListsCreated || TavixFiles == nullptr)
    return false;
  // A click let through while the backup handles messages finds the flow busy and
  // must not touch the buttons either.
  RunGuarded([this] {
    if (!cReadOnlyReason.empty()) {
      ShowMsgDlg(cReadOnlyReason, TMsgDlgType::mtError);
      return;
    }
    ShowingErrors([this] { RepairBody(); });
    // An error in the repair leaves "Auslesen" usable.
    view_.SetStartEnabled(view_.SelectedProfile() >= 0);
  });
  return state_ == TMainState::Repaired;
}

void TMainDlg::RepairBody() {
  // Neither button may start anything while the backup lets messages through.
  view_.SetStartEnabled(false);
  view_.SetDeleteEnabled(false);
  if (!CreateBackup()) {
    view_.SetStartEnabled(true);
    view_.SetDeleteEnabled(true);
    view_.ShowBackupFailure(
        u"Daten können NICHT gelöscht werden, da das Anlegen eines Backups fehlschlug",
        LastBackup.Reason);
    return;
  }
  view_.BackupProven(profile::ProvenBackupNote(LastBackup.Proof));
  // From here on "Löschen" stays disabled until the next "Auslesen", also when the
  // repair ends with an error.
  SetState(TMainState::Ready);
  view_.SetStartEnabled(true);
  try {
    profile::RepairProfile(Analysis);
    Analysis.FreeLists();
    FlushStore();
  } catch (...) {
    // A store that keeps changes until they are written (offline hives) forgets the
    // half-done repair, so its files stay as the backup shows them.
    if (cStoreSession)
      cStoreSession->Discard();
    throw;
  }
  SaveLog();
  SetState(TMainState::Repaired);
}

void TMainDlg::FlushStore() {
  std::u16string failure;
  if (cStoreSession) {
    failure = cStoreSession->Flush();
  } else if (auto* store = registry::store::CurrentStore()) {
    failure = TImmediateSession(*store).Flush();
  }
  if (!failure.empty()) {
    throw platform::Exception(u"Die Änderungen an der Registry konnten nicht gespeichert werden: " +
                              failure);
  }
}

void TMainDlg::SaveLog() {
  // What the view holds now is what the user sees, edits included.
  std::u16string text;
  for (const std::u16string& line : view_.LogLines())
    text += line + u"\r\n";
  const std::u16string file = profile::LogFileName(cBackupFolder, TavixFiles->ProfilName);
  const std::string localFile = platform::ToUtf8(file);
  if (platform::FileExists(localFile))
    platform::ClearFileAttributes(localFile);
  if (!platform::WriteFileReplacing(localFile, platform::ToAnsi(text))) {
    throw platform::Exception(u"Die Protokolldatei „" + file + u"“ kann nicht geschrieben werden.");
  }
}

void TMainDlg::lblBackupFolderClick() {
  // Opening the folder may let messages through.
  RunGuarded([this] { view_.OpenFolder(cBackupFolder); });
}

void TMainDlg::FormClick() {
  RunHandler([this] {
    Analysis.FreeLists();
    // "Löschen" needs the lists of the last analysis; with them gone it waits for
    // the next "Auslesen".
    if (state_ == TMainState::Analysed) {
      view_.SetDeleteEnabled(false);
      SetState(TMainState::Ready);
    }
  });
}

void TMainDlg::Panel1Click() {}

void TMainDlg::Log(std::u16string_view Line) {
  view_.AppendLog(Line);
}

void TMainDlg::ShowMsgDlg(std::u16string_view Msg, TMsgDlgType Kind) {
  view_.ShowMessage(Msg, Kind);
}

}  // namespace brindel::app
