#pragma once

#include <string>
#include <vector>

#include "profile/Findings.h"
#include "profile/ProfileAnalysis.h"

namespace brindel::profile {

// What a mark says of an entry. Windows colour the marks by their kind, but every
// mark also says in words what it means, so that nothing rests on colour alone.
enum class TMapMarkKind {
  Deleted,        // the repair deletes it, or (after the repair) deleted it
  Removed,        // the repair takes it out of the store-provider list with a faulty account
  Stays,          // nothing uses it, but the repair cannot delete it: it has sub keys
  Empty,          // a section that holds no values
  Unlinked,       // a provider whose service is not listed
  Repeated,       // listed more than once
  FaultyAccount,  // an account entry the repair deletes
  Kept,           // a section every profile needs; the repair never deletes it
};

struct TMapMark {
  TMapMarkKind Kind = TMapMarkKind::Deleted;
  std::u16string Text;  // "wird gelöscht", "leer", "doppelt (2×)", ...
};

// One entry of the map: what it is, its marks, and the entries below it.
struct TMapEntry {
  std::u16string Text;
  // The section id (lower case) or account number the entry stands for; empty for the
  // profile and the groups.
  std::u16string Id;
  std::vector<TMapMark> Marks;
  std::vector<TMapEntry> Children;
};

// What the map counts: the profile's parts, and what the repair does (or did) to them.
struct TMapCounts {
  int Sections = 0;
  int Services = 0;
  int ProviderEntries = 0;
  int Accounts = 0;
  int Deleted = 0;  // sections the repair deletes
  int Empty = 0;
  int Unlinked = 0;  // provider entries without a listed service
  int Repeated = 0;  // provider ids listed more than once
  int FaultyAccounts = 0;
};

// A profile at a glance: its services with their providers, its accounts with the
// service and sections they name, and the sections that nothing uses or that are
// empty. It is made from the same findings as the report's numbers, never from the
// report's text.
struct TProfileMap {
  TMapCounts Counts;
  // The counts in words, for the line above the map.
  std::u16string CountLine;
  TMapEntry Root;
  // The map shows the profile after a repair, with what the repair did.
  bool Repaired = false;
};

// The map of the profile that the analysis last read; its lists must exist. Reads
// the display names of the sections from the registry.
TProfileMap BuildProfileMap(const TProfileAnalysis& Analysis, const TFindings& Findings);

// The same map once the repair of its findings is done: what the repair deleted or
// removed says so ("gelöscht", "entfernt"), and the count line says what was done.
TProfileMap RepairedProfileMap(TProfileMap Map);

// The line above a map: its counts in words, before the repair or after it.
std::u16string CountLine(const TMapCounts& Counts, bool Repaired);

// One entry as a line: its text, then its marks in brackets ("[leer; geschützt]").
std::u16string MapEntryLine(const TMapEntry& Entry);

// The map as text: the count line, then one line per entry, indented by two blanks a
// level, its marks in brackets after it. Lines end with "\n".
std::u16string ProfileMapText(const TProfileMap& Map);

}  // namespace brindel::profile
