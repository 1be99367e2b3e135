#include "app/MainDlg.h"

#include <cstdint>
#include <exception>

#include "platform/AnsiCodePage.h"
#include "platform/DocumentsFolder.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "profile/Findings.h"
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
    SelectedOutlookVersion =
        platform::Decimal(choice == TVersionChoice::Second ? second.Version : first.Version);
  } else if (first.Version > 0) {
    SelectedOutlookVersion = platform::Decimal(first.Version);
  }
  if (first.Version > 0)
    return true;
  ShowMsgDlg(outlook::kOutlookNotFound, TMsgDlgType::mtError);
  return false;
}

void TMainDlg::WMStartUp() {
  RunHandler([this] {
    if (cOutlookVersion) {
      SelectedOutlookVersion = *cOutlookVersion;
    } else if (!cProfilesTree) {
      GetOutlookVersionToUse();
    }
    RegTreeToUse =
        cProfilesTree ? *cProfilesTree : outlook::GetProfilesRegTree(SelectedOutlookVersion);
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

void TMainDlg::SetProfileMap(std::optional<profile::TProfileMap> Map) {
  ProfileMap = std::move(Map);
  if (ProfileMap) {
    view_.ShowProfileMap(*ProfileMap);
  } else {
    view_.ClearProfileMap();
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

int TMainDlg::FindProfile(std::u16string_view Name) const {
  for (int i = 0; i < StrList.Count(); ++i) {
    if (StrList[i].ProfilName == Name)
      return i;
  }
  for (int i = 0; i < StrList.Count(); ++i) {
    if (platform::SameTextIgnoreCase(StrList[i].ProfilName, Name))
      return i;
  }
  return -1;
}

bool TMainDlg::SelectProfile(std::u16string_view Name) {
  if (bBusy)
    return false;
  const int index = FindProfile(Name);
  if (index < 0) {
    ShowMsgDlg(
        u"Ein Profil „" + std::u16string(Name) + u"“ gibt es in " + RegTreeToUse + u" nicht.",
        TMsgDlgType::mtError);
    return false;
  }
  view_.SelectProfile(index);
  cbProfilesChange();
  return true;
}

const profile::TTavixFiles* TMainDlg::SelectedProfile() const {
  const int index = view_.SelectedProfile();
  return index >= 0 && index < StrList.Count() ? &StrList[index] : nullptr;
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
    SetProfileMap(std::nullopt);
    Analysis.Analyse(RegTreeToUse, TavixFiles->ProfilName);
    SetProfileMap(profile::BuildProfileMap(Analysis, profile::CollectFindings(Analysis)));
    view_.SetDeleteEnabled(true);
    SetState(TMainState::Analysed);
  });
}

bool TMainDlg::CreateBackup() {
  LastBackup = profile::MakeBackup(Analysis.ProfileTree, TavixFiles->ProfilName, cBackupFolder,
                                   [this] { view_.ProcessMessages(); });
  return LastBackup.Ok;
}

namespace {

// Locks the profile box for the life of an action that changes a profile, and
// unlocks it on every way out.
class TProfileBoxLock {
 public:
  explicit TProfileBoxLock(TMainView& View) : view_(View) { view_.SetProfilesEnabled(false); }
  ~TProfileBoxLock() { view_.SetProfilesEnabled(true); }
  TProfileBoxLock(const TProfileBoxLock&) = delete;
  TProfileBoxLock& operator=(const TProfileBoxLock&) = delete;

 private:
  TMainView& view_;
};

constexpr std::u16string_view kNotSaved =
    u"Die Änderungen an der Registry konnten nicht gespeichert werden: ";

// "... kann nicht geschrieben werden", with the system's reason when it gave one.
std::u16string NotWritten(const std::u16string& File, const std::u16string& Why) {
  return u"„" + File + u"“ kann nicht geschrieben werden" + (Why.empty() ? u"." : u": " + Why);
}

// How many keys and values a proof compared.
std::u16string Counted(const profile::TBackupProof& Proof) {
  return platform::Decimal(static_cast<std::int64_t>(Proof.Keys)) + u" Schlüssel, " +
         platform::Decimal(static_cast<std::int64_t>(Proof.Values)) + u" Werte";
}

}  // namespace

bool TMainDlg::Repair() {
  // The repair needs the lists of the last "Auslesen", and runs once over them.
  if (state_ != TMainState::Analysed || !Analysis.bListsCreated || TavixFiles == nullptr)
    return false;
  bool saved = false;
  // A click let through while the backup handles messages finds the flow busy and
  // must not touch the buttons either.
  RunGuarded([this, &saved] {
    const TProfileBoxLock lock(view_);
    if (!cReadOnlyReason.empty()) {
      ShowMsgDlg(cReadOnlyReason, TMsgDlgType::mtError);
      return;
    }
    bRepairBegun = false;
    ShowingErrors([this, &saved] { saved = RepairBody(); });
    if (state_ == TMainState::Repaired && ProfileMap) {
      SetProfileMap(profile::RepairedProfileMap(*ProfileMap));
    } else if (bRepairBegun && !(cStoreSession && cStoreSession->CanDiscard())) {
      // Part of the repair may be in the registry: the map no longer tells.
      SetProfileMap(std::nullopt);
    }
    // An error in the repair leaves "Auslesen" usable.
    view_.SetStartEnabled(view_.SelectedProfile() >= 0);
  });
  return saved;
}

bool TMainDlg::RepairBody() {
  // Neither button may start anything while the backup lets messages through.
  view_.SetStartEnabled(false);
  view_.SetDeleteEnabled(false);
  if (!CreateBackup()) {
    view_.SetStartEnabled(true);
    view_.SetDeleteEnabled(true);
    view_.ShowBackupFailure(
        u"Daten können NICHT gelöscht werden, da das Anlegen eines Backups fehlschlug",
        LastBackup.Reason);
    return false;
  }
  view_.BackupProven(profile::ProvenBackupNote(LastBackup.Proof));
  // From here on "Löschen" stays disabled until the next "Auslesen", also when the
  // repair ends with an error.
  SetState(TMainState::Ready);
  view_.SetStartEnabled(true);
  bRepairBegun = true;
  try {
    profile::RepairProfile(Analysis);
    Analysis.FreeLists();
  } catch (...) {
    // A store that keeps changes until they are written (offline hives) forgets the
    // half-done repair, so its files stay as the backup shows them.
    DiscardChanges();
    throw;
  }
  // The log is written beside its file first: a store that can still forget the
  // repair does so when there is no room for its log.
  const std::u16string logFile = profile::LogFileName(cBackupFolder, TavixFiles->ProfilName);
  const std::string file = platform::ToUtf8(logFile);
  const std::string staged = platform::TemporaryFileOf(file);
  platform::RemoveLeftoverOf(staged);
  const bool logWritten = platform::WriteFileReplacing(staged, platform::ToAnsi(LogText()));
  const std::u16string logFailure = logWritten ? u"" : platform::LastFileErrorText();
  if (!logWritten && DiscardChanges()) {
    throw platform::Exception(u"Die Protokolldatei " + NotWritten(logFile, logFailure) +
                              u" Die Reparatur wurde deshalb verworfen; die Registry ist "
                              u"unverändert.");
  }
  if (const std::u16string failure = FlushStore(); !failure.empty()) {
    platform::DeleteFile(staged);
    DiscardChanges();
    throw platform::Exception(std::u16string(kNotSaved) + failure);
  }
  SetState(TMainState::Repaired);
  // The repair is in the registry now, whatever happens to its log.
  std::u16string missing = logFailure;
  if (logWritten) {
    if (platform::FileExists(file))
      platform::ClearFileAttributes(file);
    if (platform::ReplaceFile(staged, file))
      return true;
    missing = platform::LastFileErrorText();
    platform::DeleteFile(staged);
  }
  throw platform::Exception(
      u"Die Reparatur ist in der Registry gespeichert, und „" + LastBackup.CurrentFile +
      u"“ hält den Stand davor. Nur die Protokolldatei " + NotWritten(logFile, missing));
}

std::u16string TMainDlg::FlushStore() {
  if (cStoreSession)
    return cStoreSession->Flush();
  if (auto* store = registry::store::CurrentStore())
    return TImmediateSession(*store).Flush();
  return {};
}

bool TMainDlg::DiscardChanges() {
  if (!cStoreSession || !cStoreSession->CanDiscard())
    return false;
  cStoreSession->Discard();
  return true;
}

std::u16string TMainDlg::LogText() const {
  // What the view holds now is what the user sees, edits included.
  std::u16string text;
  for (const std::u16string& line : view_.LogLines())
    text += line + u"\r\n";
  return text;
}

std::vector<profile::TBackupFile> TMainDlg::SelectedProfileBackups() const {
  const profile::TTavixFiles* selected = SelectedProfile();
  if (selected == nullptr)
    return {};
  return profile::ProfileBackups(cBackupFolder, selected->ProfilName);
}

bool TMainDlg::Restore(std::u16string_view File, const std::optional<std::u16string>& ProfilName) {
  std::u16string name;
  if (ProfilName) {
    const int index = FindProfile(*ProfilName);
    name = index >= 0 ? StrList[index].ProfilName : *ProfilName;
  } else if (const profile::TTavixFiles* selected = SelectedProfile()) {
    name = selected->ProfilName;
  } else {
    return false;
  }
  bool restored = false;
  RunGuarded([&] {
    const TProfileBoxLock lock(view_);
    LastRestore = {};
    LastRestoreFile.clear();
    if (!cReadOnlyReason.empty()) {
      ShowMsgDlg(cReadOnlyReason, TMsgDlgType::mtError);
      return;
    }
    const bool startEnabled = view_.SelectedProfile() >= 0;
    view_.SetStartEnabled(false);
    view_.SetDeleteEnabled(false);
    ShowingErrors([&] { restored = RestoreBody(name, File); });
    // The lists of the profile last read no longer show it once it may have changed.
    if (TavixFiles != nullptr && TavixFiles->ProfilName == name) {
      Analysis.FreeLists();
      SetProfileMap(std::nullopt);
      if (state_ == TMainState::Analysed)
        SetState(TMainState::Ready);
    }
    view_.SetStartEnabled(startEnabled);
    view_.SetDeleteEnabled(state_ == TMainState::Analysed);
  });
  return restored;
}

bool TMainDlg::RestoreBody(const std::u16string& ProfilName, std::u16string_view File) {
  LastRestoreFile =
      File.empty() ? profile::FirstBackupName(cBackupFolder, ProfilName) : std::u16string(File);
  const std::u16string& file = LastRestoreFile;
  view_.ClearLog();
  Log(profile::kAsterisks);
  Log(u"Wiederherstellen des Profils \"" + ProfilName + u"\"");
  Log(profile::kAsterisks);
  Log(u"aus " + platform::InGermanQuotes(file));
  auto* store = registry::store::CurrentStore();
  if (store == nullptr)
    throw platform::Exception(u"Es ist keine Registry geöffnet.");
  profile::TRestoreResult& result = LastRestore;
  result =
      profile::RestoreProfile(profile::ProfileTreeOf(RegTreeToUse, ProfilName), ProfilName,
                              cBackupFolder, file, *store, [this] { return DiscardChanges(); });
  if (result.Restored) {
    // The registry has not taken the restore until it is written.
    if (const std::u16string failure = FlushStore(); !failure.empty()) {
      result.Restored = false;
      result.Message = DiscardChanges()
                           ? u"Die Wiederherstellung aus " + platform::InGermanQuotes(file) +
                                 u" schlug fehl: " + failure + u" Es wurde nichts geändert."
                           : std::u16string(kNotSaved) + failure;
    }
  }
  if (!result.SavedFile.empty() && result.SavedProof.Proven) {
    Log(u"Der vorige Stand ist gesichert in " + platform::InGermanQuotes(result.SavedFile) + u" (" +
        Counted(result.SavedProof) + u").");
  }
  if (!result.Restored) {
    Log(u"Nicht wiederhergestellt.");
    ShowMsgDlg(result.Message, TMsgDlgType::mtError);
    return false;
  }
  Log(u"Wiederhergestellt: " + Counted(result.RestoredProof) + u" wie in der Datei.");
  std::u16string note = u"Profil „" + ProfilName + u"“ aus „" + file + u"“ wiederhergestellt";
  if (!result.SavedFile.empty())
    note += u"; der vorige Stand liegt in „" + result.SavedFile + u"“";
  ShowMsgDlg(note + u".", TMsgDlgType::mtInformation);
  view_.BackupProven(profile::ProvenBackupNote(result.RestoredProof));
  return true;
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
