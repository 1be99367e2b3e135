#include "profile/Repair.h"

#include <span>
#include <unordered_map>
#include <vector>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "profile/ListValues.h"
#include "profile/ProfileNames.h"
#include "profile/StoreWatch.h"
#include "registry/Codecs.h"
#include "registry/Helpers.h"

namespace brindel::profile {

using platform::AsciiLowerCase;
using platform::AsciiUpperCase;
using platform::Decimal;

namespace {

// The lists of the provider section that a step rewrites.
constexpr std::u16string_view kStoreProvidersOnly[] = {kStoreProviderList};
constexpr std::u16string_view kProviderLists[] = {kStoreProviderList, kAddressBookProviderList,
                                                  kTransportProviderList};
constexpr std::u16string_view kProviderAndServiceLists[] = {
    kStoreProviderList, kAddressBookProviderList, kTransportProviderList, kServiceList};

// What the registry answers when there is nothing to do: a key or value that is not
// there, the end of a list, and the refusal to delete a key that has sub keys (or to
// let a write-only handle read). Any other failed operation would make the repair
// take a key that did not open for an empty one, or report as done what was not.
TStoreWatch WatchRepair() {
  using namespace registry::store;
  return TStoreWatch{ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_NO_MORE_ITEMS,
                     ERROR_ACCESS_DENIED};
}

// Ends the repair at the first operation the registry failed.
void ThrowIfFailed(const TStoreWatch& Watch) {
  if (Watch.Failed())
    throw platform::ERegistryException(Watch.FailureText());
}

// Deletes Name below Path, as RegDeleteKeyAt does; a refusal is an answer, a failure
// ends the repair.
void DeleteKeyAt(std::u16string_view Path, std::u16string_view Name) {
  TStoreWatch watch = WatchRepair();
  registry::RegDeleteKeyAt(kProfileRoot, Path, Name);
  ThrowIfFailed(watch);
}

void StepHeading(TLogSink& Sink, std::u16string_view Heading) {
  Sink.Log(u"");
  Sink.Log(kAsterisks);
  Sink.Log(Heading);
}

bool IsProtected(const TProfileAnalysis& Analysis, std::u16string_view Section) {
  // The registry finds keys without regard to letter case, so neither does this.
  for (const auto& id : Analysis.cArrKeyConstants) {
    if (platform::SameTextIgnoreCase(id, Section))
      return true;
  }
  return false;
}

// Every section the repair deletes goes through here. A section every profile needs
// stays, whatever named it (a damaged account entry may). A name with a backslash
// would reach a key below some section, which no account names.
void DeleteSection(const TProfileAnalysis& Analysis, std::u16string_view Section) {
  if (Section.empty() || IsProtected(Analysis, Section) ||
      Section.find(u'\\') != std::u16string_view::npos) {
    return;
  }
  DeleteKeyAt(Analysis.ProfileTree, Section);
}

// Deletes the sections that nothing uses.
void DeleteUnusedSections(TProfileAnalysis& Analysis) {
  TLogSink& sink = Analysis.LogSink();
  StepHeading(sink, u"Liste der zu löschenden GUIDs:");
  int count = 0;
  for (const auto& record : *Analysis.RegKeysList) {
    if (Analysis.GUIDsUsedList->IndexOf(record->EntryName) >= 0)
      continue;
    sink.Log(AsciiLowerCase(record->EntryName));
    DeleteSection(Analysis, record->EntryName);
    ++count;
  }
  sink.Log(Decimal(count) + u" von " + Decimal(Analysis.RegKeysList->Count()) +
           u" GUIDs wurden gelöscht.");
}

// Removes Ids from each of the lists, as one RemoveGUIDInList per id and list would,
// id by id. The first id goes alone, so that an error of the registry ends the work
// exactly where the calls one by one would end; a store that took the first id in
// every list takes the others too, so the rest go in one rewrite of each list
// instead of one per id, which thousands of repeated entries would make n².
void RemoveGUIDsInLists(const TProfileAnalysis& Analysis,
                        std::span<const std::u16string_view> Lists,
                        const std::vector<std::u16string>& Ids, bool KeepFirst) {
  if (Ids.empty())
    return;
  for (auto list : Lists)
    RemoveGUIDInList(Analysis.ProfileTree, list, Ids.front(), KeepFirst);
  if (Ids.size() == 1)
    return;
  std::unordered_set<std::u16string> rest;
  for (std::size_t i = 1; i < Ids.size(); ++i)
    rest.insert(AsciiUpperCase(Ids[i]));
  for (auto list : Lists)
    RemoveGUIDsInList(Analysis.ProfileTree, list, rest, KeepFirst);
}

// Removes the providers that no listed service links from every list.
void RemoveUnlinkedProviders(TProfileAnalysis& Analysis) {
  TLogSink& sink = Analysis.LogSink();
  StepHeading(sink, u"nicht verknüpfte Einträge aus 9207 und 9375 entfernen ");
  std::vector<std::u16string> unlinked;
  for (const auto& entry : *Analysis.EntriesList) {
    if (entry->EntryPendant.empty())
      unlinked.push_back(entry->Entry9702);
  }
  // Each entry is logged before its removal. The first removal of an id leaves
  // nothing for later entries of the same id to remove, so the second entry logged
  // can take all the others with it.
  int count = 0;
  for (const auto& entry : *Analysis.EntriesList) {
    if (!entry->EntryPendant.empty())
      continue;
    sink.Log(AsciiLowerCase(entry->Entry9702));
    if (count == 0) {
      RemoveGUIDsInLists(Analysis, kProviderAndServiceLists, {unlinked.front()}, false);
    } else if (count == 1) {
      RemoveGUIDsInLists(Analysis, kProviderAndServiceLists,
                         std::vector<std::u16string>(unlinked.begin() + 1, unlinked.end()), false);
    }
    ++count;
  }
  sink.Log(Decimal(count) + u" von " + Decimal(Analysis.EntriesList->Count()) +
           u" GUIDs wurden korrigiert.");
}

// Provider ids listed more than once keep their first place only.
void RemoveRepeatedProviders(TProfileAnalysis& Analysis) {
  TLogSink& sink = Analysis.LogSink();
  StepHeading(sink, u"mehrfache, gleiche 9207er Einträge entfernen");
  const TStringList& providers = *Analysis.ProviderValues;
  // A position counts when a later position holds the same id (compared exactly).
  std::unordered_map<std::u16string, int> remaining;
  for (int i = 0; i < providers.Count(); ++i)
    ++remaining[providers[i]];
  std::vector<std::u16string> found;
  int count = 0;
  for (int i = 0; i < providers.Count(); ++i) {
    if (--remaining[providers[i]] > 0) {
      found.push_back(providers[i]);
      ++count;
    }
  }
  TStringList repeated(true, TStringList::Duplicates::Ignore);
  AddAllSorted(repeated, std::move(found));
  for (int i = 0; i < repeated.Count(); ++i) {
    sink.Log(AsciiLowerCase(repeated[i]));
    if (i == 0) {
      RemoveGUIDsInLists(Analysis, kProviderLists, {repeated[0]}, true);
    } else if (i == 1) {
      RemoveGUIDsInLists(
          Analysis, kProviderLists,
          std::vector<std::u16string>(repeated.Items().begin() + 1, repeated.Items().end()), true);
    }
    // Counted on from the loop above on purpose: the number logged adds each repeated
    // id once to its later listings, so the listing that stays counts too.
    ++count;
  }
  sink.Log(Decimal(count) + u" doppelte Einträge aus 9207 entfernt...");
}

// Deletes account entries without a service, and entries that no account list names.
void DeleteFaultyAccounts(TProfileAnalysis& Analysis) {
  TLogSink& sink = Analysis.LogSink();
  StepHeading(sink, u"Fehlerhafte Accounteinträge löschen");
  const std::u16string accountSection =
      Analysis.ProfileTree + u"\\" + std::u16string(kAccountSection);
  for (const auto& account : *Analysis.AccountsList) {
    if (!account->ServiceUID.empty() || !account->POP3Account.empty())
      continue;
    sink.Log(u"Keine Service UID hinterlegt:");
    sink.Log(accountSection + u" => " + account->RegKey);
    DeleteKeyAt(accountSection, account->RegKey);
  }
  // Names that failed to enumerate would leave their entries as they are, unreported.
  const TStringList names = [&Analysis] {
    TStoreWatch watch = WatchRepair();
    TStringList read = Analysis.GetAccountKeyNames();
    ThrowIfFailed(watch);
    return read;
  }();
  for (int i = 0; i < names.Count(); ++i) {
    const std::u16string& name = names[i];
    if (Analysis.AccountValues->IndexOf(name) >= 0)
      continue;
    sink.Log(u"");
    sink.Log(u"Eintrag, der nicht als Dienst hinterlegt ist: ");
    sink.Log(accountSection + u" => " + name);
    for (const auto& account : *Analysis.AccountsList) {
      if (account->RegKey != name)
        continue;
      sink.Log(u"Die GUIDs des Accounts werden entfernt:");
      sink.Log(Analysis.ProfileTree + u" => " + account->ServiceUID);
      sink.Log(Analysis.ProfileTree + u" => " + account->PrefsUID);
      DeleteSection(Analysis, account->ServiceUID);
      DeleteSection(Analysis, account->PrefsUID);
      sink.Log(std::u16string(kServiceList) + u" => " + account->ServiceUID);
      RemoveGUIDInList(Analysis.ProfileTree, kServiceList, account->ServiceUID, false);
      sink.Log(std::u16string(kStoreProviderList) + u" => " + account->PrefsUID);
      RemoveGUIDInList(Analysis.ProfileTree, kStoreProviderList, account->PrefsUID, false);
      // The providers of the removed service leave the store-provider list.
      std::vector<std::u16string> providers;
      for (const auto& entry : *Analysis.EntriesList) {
        if (entry->EntryPendant == account->ServiceUID)
          providers.push_back(entry->Entry9702);
      }
      RemoveGUIDsInLists(Analysis, kStoreProvidersOnly, providers, false);
    }
    // The entry goes last: it is what names the sections and list entries above, so
    // a repair that stops half-way leaves it for the next run to finish the work.
    DeleteKeyAt(accountSection, name);
  }
}

}  // namespace

bool RemoveGUIDsInList(std::u16string_view ProfileTree, std::u16string_view ValueName,
                       const std::unordered_set<std::u16string>& UpperCaseGuids, bool KeepFirst) {
  TStoreWatch watch = WatchRepair();
  TStringList ids;
  ReadSectionIdList(ProfileTree, ValueName, ids);
  // A list that failed to read is not an empty one: written back, it would lose
  // every id.
  ThrowIfFailed(watch);
  std::unordered_set<std::u16string> kept;
  std::u16string hex;
  hex.reserve(static_cast<std::size_t>(ids.Count()) * 32);
  for (int i = 0; i < ids.Count(); ++i) {
    const std::u16string upper = AsciiUpperCase(ids[i]);
    if (UpperCaseGuids.count(upper) != 0 && !(KeepFirst && kept.insert(upper).second))
      continue;
    hex += ids[i];
  }
  const bool written = registry::RegWriteBinaryAt(
      kProfileRoot, std::u16string(ProfileTree) + u"\\" + std::u16string(kProviderSection),
      ValueName, registry::HexToBytes(hex));
  ThrowIfFailed(watch);
  return written;
}

bool RemoveGUIDInList(std::u16string_view ProfileTree, std::u16string_view ValueName,
                      std::u16string_view Guid, bool KeepFirst) {
  return RemoveGUIDsInList(ProfileTree, ValueName, {AsciiUpperCase(Guid)}, KeepFirst);
}

void RepairProfile(TProfileAnalysis& Analysis) {
  DeleteUnusedSections(Analysis);
  RemoveUnlinkedProviders(Analysis);
  RemoveRepeatedProviders(Analysis);
  DeleteFaultyAccounts(Analysis);
}

}  // namespace brindel::profile
