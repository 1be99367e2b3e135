#pragma once

#include <string>
#include <vector>

#include "profile/ProfileAnalysis.h"

namespace brindel::profile {

// A section id with the display name its section holds, empty when it has none.
struct TFoundSection {
  std::u16string Id;
  std::u16string Name;
};

// An id that a provider list names more than once.
struct TRepeatedEntry {
  std::u16string Id;
  int Count = 0;
};

// An account entry the repair deletes, and why.
struct TFaultyAccount {
  std::u16string Account;  // the account number naming its key
  std::u16string Name;
  enum class Reason { NoServiceUid, NotListed } Why = Reason::NoServiceUid;
};

// What one analysis found, read from its lists by the same rules the repair acts on,
// for reports that programs read. It changes nothing.
struct TFindings {
  std::vector<TFoundSection> EmptySections;
  std::vector<TFoundSection> UnusedSections;     // what the repair deletes first
  std::vector<TFoundSection> UnlinkedProviders;  // provider entries without a service
  std::vector<TRepeatedEntry> RepeatedEntries;
  std::vector<TFaultyAccount> FaultyAccounts;
  int Sections = 0;   // sub keys of the profile
  int Providers = 0;  // provider entries
  int UsedIds = 0;    // section ids in use
};

// Reads the findings of the analysis last run; its lists must exist.
TFindings CollectFindings(const TProfileAnalysis& Analysis);

}  // namespace brindel::profile
