#include "profile/Findings.h"

#include <map>

#include "platform/Errors.h"
#include "platform/Text.h"

namespace brindel::profile {
namespace {

TFoundSection Section(const TProfileAnalysis& Analysis, std::u16string_view Id) {
  TFoundSection found{platform::AsciiLowerCase(Id), {}};
  try {
    found.Name = Analysis.GetContainerName(Analysis.ProfileTree + u"\\" + std::u16string(Id));
  } catch (const platform::Exception&) {
    // A name of the wrong type is no name; the analysis reported it already.
  }
  return found;
}

}  // namespace

TFindings CollectFindings(const TProfileAnalysis& Analysis) {
  TFindings findings;
  findings.Sections = Analysis.RegKeysList->Count();
  findings.Providers = Analysis.EntriesList->Count();
  findings.UsedIds = Analysis.GUIDsUsedList->Count();
  for (const auto& record : *Analysis.RegKeysList) {
    if (record->bToDelete)
      findings.EmptySections.push_back(Section(Analysis, record->EntryName));
    if (Analysis.GUIDsUsedList->IndexOf(record->EntryName) < 0)
      findings.UnusedSections.push_back(Section(Analysis, record->EntryName));
  }
  for (const auto& entry : *Analysis.EntriesList) {
    if (entry->EntryPendant.empty()) {
      findings.UnlinkedProviders.push_back(
          {platform::AsciiLowerCase(entry->Entry9702), entry->ContainerName});
    }
  }
  // Provider ids compared exactly, in the order of their first place.
  std::map<std::u16string, int> counts;
  std::vector<std::u16string> order;
  const TStringList& providers = *Analysis.ProviderValues;
  for (int i = 0; i < providers.Count(); ++i) {
    if (counts[providers[i]]++ == 0)
      order.push_back(providers[i]);
  }
  for (const std::u16string& id : order) {
    if (counts[id] > 1)
      findings.RepeatedEntries.push_back({platform::AsciiLowerCase(id), counts[id]});
  }
  for (const auto& account : *Analysis.AccountsList) {
    if (account->ServiceUID.empty() && account->POP3Account.empty()) {
      findings.FaultyAccounts.push_back(
          {account->RegKey, account->Accountname, TFaultyAccount::Reason::NoServiceUid});
    }
  }
  const TStringList names = Analysis.GetAccountKeyNames();
  for (int i = 0; i < names.Count(); ++i) {
    if (Analysis.AccountValues->IndexOf(names[i]) >= 0)
      continue;
    std::u16string name;
    for (const auto& account : *Analysis.AccountsList) {
      if (account->RegKey == names[i])
        name = account->Accountname;
    }
    findings.FaultyAccounts.push_back({names[i], name, TFaultyAccount::Reason::NotListed});
  }
  return findings;
}

}  // namespace brindel::profile
