#include "profile/ProfileAnalysis.h"

#include <algorithm>
#include <string>

#include "platform/Text.h"
#include "profile/ListValues.h"
#include "registry/Codecs.h"
#include "registry/Helpers.h"
#include "registry/RegAccess.h"

namespace brindel::profile {

using platform::AsciiLowerCase;
using platform::Decimal;
using platform::Trim;
using registry::BoolToText;
using registry::BytesToHex;
using registry::HexToInt;
using registry::HexToText;
using registry::RegReadBinaryAt;
using registry::RegReadBinaryHexAt;
using registry::RegReadStringAt;
using registry::RegValueExistsAt;
using registry::RegValueKindAt;
using registry::TRegAccess;
using registry::TRegValueKind;
using registry::store::KEY_ALL_ACCESS;
using registry::store::KEY_READ;

namespace {

// How an account value becomes its field.
enum class TFieldForm {
  Text,       // binary values are UTF-16 text
  LowerCase,  // section ids: binary as hex text; both lower-cased
  AsRead,     // binary as upper-case hex text, not decoded
};

std::u16string ReadAccountField(std::u16string_view path, std::u16string_view name,
                                TFieldForm form) {
  if (!RegValueExistsAt(kProfileRoot, path, name))
    return {};
  if (RegValueKindAt(kProfileRoot, path, name) == TRegValueKind::vkBinary) {
    const std::u16string hex = RegReadBinaryHexAt(kProfileRoot, path, name);
    switch (form) {
      case TFieldForm::Text:
        return HexToText(hex);
      case TFieldForm::LowerCase:
        return AsciiLowerCase(hex);
      case TFieldForm::AsRead:
        return hex;
    }
  }
  const std::u16string text = RegReadStringAt(kProfileRoot, path, name);
  return form == TFieldForm::LowerCase ? AsciiLowerCase(text) : text;
}

}  // namespace

void AddAllSorted(TStringList& List, std::vector<std::u16string> Texts) {
  auto less = [](const std::u16string& a, const std::u16string& b) {
    return platform::CompareTextIgnoreCase(a, b) < 0;
  };
  const std::vector<std::u16string>& held = List.Items();
  if (List.DuplicateRule() == TStringList::Duplicates::Ignore) {
    // The first of equal texts wins, and none that the list already holds.
    std::stable_sort(Texts.begin(), Texts.end(), less);
    Texts.erase(std::unique(Texts.begin(), Texts.end(),
                            [](const auto& a, const auto& b) {
                              return platform::CompareTextIgnoreCase(a, b) == 0;
                            }),
                Texts.end());
    int index = 0;
    std::erase_if(Texts, [&](const std::u16string& text) { return List.Find(text, index); });
  } else {
    // Each text goes before the equal ones added earlier and those already held.
    std::reverse(Texts.begin(), Texts.end());
    std::stable_sort(Texts.begin(), Texts.end(), less);
  }
  std::vector<std::u16string> merged;
  merged.reserve(held.size() + Texts.size());
  // On a tie std::merge takes the first range first: the new texts.
  std::merge(std::make_move_iterator(Texts.begin()), std::make_move_iterator(Texts.end()),
             held.begin(), held.end(), std::back_inserter(merged), less);
  // Appended to an unsorted list the order stays as it is; switching back to sorted
  // sorts stably, which leaves a sorted order unchanged.
  List.SetSorted(false);
  List.Clear();
  for (std::u16string& text : merged)
    List.Add(std::move(text));
  List.SetSorted(true);
}

TProfileAnalysis::TProfileAnalysis(TLogSink& Sink) : sink_(Sink) {
  for (std::size_t i = 0; i < kKeyConstants.size(); ++i) {
    cArrKeyConstants[i] = std::u16string(kKeyConstants[i]);
  }
}

std::u16string TProfileAnalysis::SectionPath(std::u16string_view Section) const {
  return ProfileTree + u"\\" + std::u16string(Section);
}

bool TProfileAnalysis::IsKeyConstant(std::u16string_view Name) const {
  for (const std::u16string& constant : cArrKeyConstants) {
    if (constant == Name)
      return true;
  }
  return false;
}

void TProfileAnalysis::Analyse(std::u16string_view RegTreeToUse, std::u16string_view ProfilName) {
  sink_.Log(kAsterisks);
  sink_.LogFmt(u"Auslesen des Profils \"%s\"", {ProfilName});
  sink_.Log(kAsterisks);
  FreeLists();
  CreateLists();
  ProfileTree = ProfileTreeOf(RegTreeToUse, ProfilName);
  ScanProfileKeys();
  LogEmptySections();
  ReadProviderLists();
  CheckLinks();
  ReadAccountLists();
  ReadAccountEntries();
  FillGUIDsUsedList();
}

void TProfileAnalysis::CreateLists() {
  EntriesList = std::make_unique<TRecordList<TEntries>>();
  RegKeysList = std::make_unique<TRecordList<TRegKeys>>();
  AccountsList = std::make_unique<TRecordList<TAccounts>>();
  ProviderValues = std::make_unique<TStringList>(false, TStringList::Duplicates::Accept);
  ServiceValues = std::make_unique<TStringList>(true, TStringList::Duplicates::Accept);
  AccountValues = std::make_unique<TStringList>(true, TStringList::Duplicates::Ignore);
  GUIDsUsedList = std::make_unique<TStringList>();
  bListsCreated = true;
}

void TProfileAnalysis::FreeLists() {
  if (!bListsCreated)
    return;
  ProviderValues.reset();
  ServiceValues.reset();
  AccountValues.reset();
  RegKeysList.reset();
  EntriesList.reset();
  AccountsList.reset();
  GUIDsUsedList.reset();
  // The cursors pointed into the records just released.
  Entries = nullptr;
  RegKeys = nullptr;
  Accounts = nullptr;
  bListsCreated = false;
}

void TProfileAnalysis::ScanProfileKeys() {
  sink_.Log(u"");
  sink_.Log(u"Alle Registryschlüssel auslesen");
  sink_.Log(kAsterisks);

  TRegAccess reg(KEY_READ);
  if (!reg.Open(ProfileTree, false))
    return;
  TStringList names(true, TStringList::Duplicates::Ignore);
  reg.GetSubKeyNames(names);
  for (const std::u16string& name : names.Items()) {
    // With no key open, the next path is taken from the root.
    reg.Close();
    auto record = std::make_unique<TRegKeys>();
    RegKeys = record.get();
    RegKeys->EntryName = name;
    RegKeys->bStandard = IsKeyConstant(name);
    std::u16string line = name;
    const std::u16string path = SectionPath(name);
    if (reg.Open(path, false)) {
      registry::TRegKeyInfo info;
      reg.GetKeyInfo(info);
      if (info.NumValues == 0) {
        RegKeys->bEmpty = true;
        line += u" -> leer";
      } else if (reg.ValueExists(kDisplayNameValue)) {
        if (RegValueKindAt(kProfileRoot, path, kDisplayNameValue) == TRegValueKind::vkBinary) {
          line += u" -> " + HexToText(RegReadBinaryHexAt(kProfileRoot, path, kDisplayNameValue));
        } else {
          line += u" -> " + RegReadStringAt(kProfileRoot, path, kDisplayNameAnsiValue);
        }
      } else if (reg.ValueExists(kDisplayNameAnsiValue)) {
        line += u" -> " + RegReadStringAt(kProfileRoot, path, kDisplayNameAnsiValue);
      }
      sink_.Log(line);
    }
    RegKeys->bToDelete = !RegKeys->bStandard && RegKeys->bEmpty;
    RegKeysList->Add(std::move(record));
  }
}

void TProfileAnalysis::LogEmptySections() {
  sink_.Log(u"zu löschen, da leer:");
  int toDelete = 0;
  for (const auto& record : *RegKeysList) {
    if (!record->bToDelete)
      continue;
    sink_.Log(record->EntryName);
    ++toDelete;
  }
  sink_.Log(Decimal(toDelete) + u" von " + Decimal(RegKeysList->Count()));
}

void TProfileAnalysis::ReadGroup(std::u16string_view Heading, std::u16string_view ValueName,
                                 TListReader Reader, TStringList& List, int& PreviousCount) {
  sink_.Log(Heading);
  if (List.Sorted()) {
    TStringList read;
    Reader(ProfileTree, ValueName, read);
    AddAllSorted(List, read.Items());
  } else {
    Reader(ProfileTree, ValueName, List);
  }
  const int count = List.Count();
  sink_.Log(u"Anzahl: " + Decimal(count - PreviousCount));
  for (int k = PreviousCount + 1; k <= count; ++k) {
    sink_.Log(Decimal(k) + u": " + List[k - 1]);
  }
  PreviousCount = count;
}

void TProfileAnalysis::ReadProviderLists() {
  sink_.Log(u"");
  sink_.Log(kProviderSection);
  sink_.Log(u"");
  int providers = 0;
  ReadGroup(u"Auslesen der Store-Provider 01023d00:", kStoreProviderList, ReadSectionIdList,
            *ProviderValues, providers);
  sink_.Log(u"");
  ReadGroup(u"Auslesen der Adressbuch-Provider 01023d01:", kAddressBookProviderList,
            ReadSectionIdList, *ProviderValues, providers);
  sink_.Log(u"");
  ReadGroup(u"Auslesen der Transport-Provider 01023d02:", kTransportProviderList, ReadSectionIdList,
            *ProviderValues, providers);
  sink_.Log(u"");
  int services = 0;
  ReadGroup(u"Auslesen der Services 01023d0e:", kServiceList, ReadSectionIdList, *ServiceValues,
            services);
}

void TProfileAnalysis::ReadAccountLists() {
  sink_.Log(u"");
  sink_.Log(kAccountSection);
  sink_.Log(u"");
  int accounts = 0;
  ReadGroup(u"Auslesen der Accounts {ED475418-B0D6-11D2-8C3B-00104B2A6676}", kAccountList,
            ReadAccountNumberList, *AccountValues, accounts);
  sink_.Log(u"");
  ReadGroup(u"Auslesen der Services {ED475419-B0D6-11D2-8C3B-00104B2A6676}", kAccountServiceList,
            ReadAccountNumberList, *AccountValues, accounts);
  sink_.Log(u"");
  ReadGroup(u"Auslesen der Provider {ED475420-B0D6-11D2-8C3B-00104B2A6676}", kAccountProviderList,
            ReadAccountNumberList, *AccountValues, accounts);
}

void TProfileAnalysis::CheckLinks() {
  sink_.Log(u"");
  sink_.Log(u"Überprüfen der Verknüpfungen:");
  sink_.Log(kAsterisks);
  for (int k = 0; k < ProviderValues->Count(); ++k) {
    auto record = std::make_unique<TEntries>();
    Entries = record.get();
    Entries->Entry9702 = (*ProviderValues)[k];
    const std::u16string path = SectionPath(Entries->Entry9702);
    const std::u16string service = RegReadBinaryHexAt(kProfileRoot, path, kServiceUidValue);
    int index = 0;
    if (ServiceValues->Find(service, index)) {
      Entries->EntryPendant = AsciiLowerCase(service);
    }
    Entries->ContainerName = GetContainerName(path);
    Entries->DataFilePath = GetDataFilePath(path);
    Entries->isStandard =
        RegReadBinaryHexAt(kProfileRoot, path, kResourceFlagsValue) == kDefaultStoreFlags;
    EntriesList->Add(std::move(record));
    sink_.Log(Decimal(k + 1) + u": " + Entries->Entry9702 + u" <=> " + Entries->EntryPendant +
              u" = " + Entries->ContainerName + u" => " + Entries->DataFilePath + u" (Standard = " +
              BoolToText(Entries->isStandard) + u")");
  }
}

std::u16string TProfileAnalysis::GetContainerName(std::u16string_view SectionPath) const {
  TRegAccess reg;
  if (!reg.OpenReadOnly(SectionPath))
    return {};
  if (reg.GetValueKind(kDisplayNameValue) == TRegValueKind::vkBinary) {
    return HexToText(RegReadBinaryHexAt(kProfileRoot, SectionPath, kDisplayNameValue));
  }
  if (reg.GetValueKind(kDisplayNameAnsiValue) == TRegValueKind::vkString) {
    return RegReadStringAt(kProfileRoot, SectionPath, kDisplayNameAnsiValue);
  }
  return {};
}

std::u16string TProfileAnalysis::GetDataFilePath(std::u16string_view SectionPath) const {
  TRegAccess reg;
  if (!reg.OpenReadOnly(SectionPath))
    return {};
  if (reg.ValueExists(kDataFileValue)) {
    switch (reg.GetValueKind(kDataFileValue)) {
      case TRegValueKind::vkBinary:
        return HexToText(RegReadBinaryHexAt(kProfileRoot, SectionPath, kDataFileValue));
      case TRegValueKind::vkString:
        return reg.ReadString(kDataFileValue);
      default:
        return {};
    }
  }
  if (reg.GetValueKind(kDataFileAnsiValue) == TRegValueKind::vkBinary) {
    return HexToText(RegReadBinaryHexAt(kProfileRoot, SectionPath, kDataFileAnsiValue));
  }
  if (reg.ValueExists(kDataFileAnsiValue))
    return reg.ReadString(kDataFileAnsiValue);
  return {};
}

TStringList TProfileAnalysis::GetAccountKeyNames() const {
  TStringList names;
  TRegAccess reg(KEY_ALL_ACCESS);
  // A section that may be read but not changed still lists its accounts: without
  // them the accounts' sections would count as unused and be deleted.
  if (reg.Open(SectionPath(kAccountSection), false) ||
      reg.OpenReadOnly(SectionPath(kAccountSection))) {
    reg.GetSubKeyNames(names);
  }
  return names;
}

void TProfileAnalysis::ReadAccountEntries() {
  sink_.Log(u"");
  sink_.Log(u"Auslesen der 9375 Einträge");
  const std::u16string base = SectionPath(kAccountSection) + u"\\";
  const TStringList names = GetAccountKeyNames();
  for (int i = 0; i < names.Count(); ++i) {
    auto record = std::make_unique<TAccounts>();
    Accounts = record.get();
    Accounts->RegKey = names[i];
    Accounts->KeyAndSettingsID = Decimal(HexToInt(Accounts->RegKey));
    const std::u16string path = base + Accounts->RegKey;
    Accounts->Accountname = ReadAccountField(path, u"Account Name", TFieldForm::Text);
    Accounts->ServiceName = ReadAccountField(path, u"Service Name", TFieldForm::Text);
    Accounts->ServiceUID = ReadAccountField(path, u"Service UID", TFieldForm::LowerCase);
    Accounts->PrefsUID = ReadAccountField(path, u"Preferences UID", TFieldForm::LowerCase);
    Accounts->POP3Account = ReadAccountField(path, u"POP3 Server", TFieldForm::AsRead);
    Accounts->XPProviderUID = ReadAccountField(path, u"XP Provider UID", TFieldForm::LowerCase);
    AccountsList->Add(std::move(record));
    sink_.Log(Decimal(i + 1) + u": " + Accounts->RegKey + u"(" + Accounts->KeyAndSettingsID +
              u") " + u" = " + Accounts->Accountname + u" (" + Accounts->ServiceName + u") = " +
              Accounts->ServiceUID + u" & " + Accounts->PrefsUID);
  }
}

void TProfileAnalysis::FillGUIDsUsedList() {
  GUIDsUsedList->SetDuplicates(TStringList::Duplicates::Ignore);
  GUIDsUsedList->SetSorted(true);
  // Gathered first and added at once, in the order of the sources.
  std::vector<std::u16string> used;
  for (const auto& entry : *EntriesList) {
    if (entry->EntryPendant.empty())
      continue;
    used.push_back(entry->Entry9702);
    used.push_back(entry->EntryPendant);
    // Each Exchange account keeps its own mailbox store settings in its service
    // section; only the default account's copy is in the store section below. A
    // value of another kind names nothing and is passed over.
    const std::u16string service = SectionPath(entry->EntryPendant);
    if (RegValueKindAt(kProfileRoot, service, kStoreSettingsValue) == TRegValueKind::vkBinary) {
      std::vector<std::uint8_t> id = RegReadBinaryAt(kProfileRoot, service, kStoreSettingsValue);
      if (id.size() >= 16) {
        id.resize(16);
        used.push_back(AsciiLowerCase(BytesToHex(id)));
      }
    }
  }
  for (const auto& account : *AccountsList) {
    if (!Trim(account->ServiceUID).empty()) {
      used.push_back(account->ServiceUID);
      used.push_back(account->PrefsUID);
    } else if (!Trim(account->POP3Account).empty()) {
      used.push_back(account->PrefsUID);
    }
  }
  for (const std::u16string& constant : cArrKeyConstants)
    used.push_back(constant);
  const std::u16string store =
      RegReadBinaryHexAt(kProfileRoot, SectionPath(kStoreSection), kStoreSettingsValue);
  if (!Trim(store).empty())
    used.push_back(store);
  AddAllSorted(*GUIDsUsedList, std::move(used));

  sink_.Log(u"");
  sink_.Log(kAsterisks);
  sink_.Log(u"Liste der tatsächlich verwendeten " + Decimal(GUIDsUsedList->Count()) + u" GUIDs:");
  for (const std::u16string& id : GUIDsUsedList->Items())
    sink_.Log(AsciiLowerCase(id));
}

}  // namespace brindel::profile
