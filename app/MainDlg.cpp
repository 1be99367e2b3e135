#include "app/MainDlg.h"

#include <exception>

#include "platform/DocumentsFolder.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace brindel::app {

using platform::kPathDelimiter;

std::u16string ExpandPath(std::u16string_view Path, bool TrailingDelimiter) {
  while (!Path.empty() && Path.front() <= u' ')
    Path.remove_prefix(1);
  while (!Path.empty() && Path.back() <= u' ')
    Path.remove_suffix(1);
  if (Path.empty())
    return {};
  std::u16string result = platform::ExpandEnvironmentStrings(Path);
  if (TrailingDelimiter && (result.empty() || result.back() != kPathDelimiter)) {
    result += kPathDelimiter;
  }
  return result;
}

TMainDlg::TMainDlg(TMainView& View) : Analysis(*this), view_(View) {}

TMainDlg::~TMainDlg() = default;

bool TMainDlg::RunHandler(const std::function<void()>& Body) {
  if (bBusy)
    return false;
  bBusy = true;
  try {
    Body();
    bBusy = false;
    return true;
  } catch (const platform::Exception& error) {
    bBusy = false;
    ShowMsgDlg(error.Message(), TMsgDlgType::mtError);
  } catch (const std::exception& error) {
    bBusy = false;
    ShowMsgDlg(platform::FromUtf8(error.what()), TMsgDlgType::mtError);
  }
  return false;
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

void TMainDlg::GetOutlookVersionToUse() {}

void TMainDlg::WMStartUp() {
  RunHandler([this] {
    GetOutlookVersionToUse();
    RegTreeToUse = outlook::GetProfilesRegTree();
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
    const std::u16string defaultProfile = outlook::GetDefaultProfile();
    std::u16string text = outlook::DecodeProfileKeyName(TavixFiles->ProfilName);
    if (TavixFiles->ProfilName == defaultProfile)
      text += u" (Standard)";
    view_.AddProfile(text);
  }
}

void TMainDlg::cbProfilesChange() {
  const bool selected = view_.SelectedProfile() >= 0;
  view_.SetStartEnabled(selected);
  view_.ClearLog();
  if (selected && state_ == TMainState::Choosing)
    SetState(TMainState::Ready);
}

void TMainDlg::btnStartClick() {
  const int index = view_.SelectedProfile();
  if (index < 0 || index >= StrList.Count())
    return;
  RunHandler([this, index] {
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

void TMainDlg::lblBackupFolderClick() {
  view_.OpenFolder(cBackupFolder);
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
