#pragma once

#include <string_view>
#include <unordered_set>

#include "profile/ProfileAnalysis.h"

namespace brindel::profile {

// Rewrites a list value of the provider section without the given section id: an
// equal id (letters A to Z compared without case) is dropped, except the first one
// when keepFirst is set. The value is written in every case, created empty when it
// did not exist. Returns true when it was written.
bool RemoveGUIDInList(std::u16string_view ProfileTree, std::u16string_view ValueName,
                      std::u16string_view Guid, bool KeepFirst);

// The same for several ids at once, in one read and one write of the value: the
// registry ends as after one RemoveGUIDInList per id.
bool RemoveGUIDsInList(std::u16string_view ProfileTree, std::u16string_view ValueName,
                       const std::unordered_set<std::u16string>& UpperCaseGuids, bool KeepFirst);

// "Löschen" after a successful backup: on the lists of the last analysis, deletes the
// unused sections, removes unlinked and repeated providers from the lists and deletes
// the faulty account entries, each step reported in the log. An error of a registry
// write or of a list value of the wrong type ends the repair where it happens.
void RepairProfile(TProfileAnalysis& Analysis);

}  // namespace brindel::profile
