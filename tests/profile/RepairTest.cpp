// The repair steps: the batched list rewrites against a straightforward one-call-per-
// item repair on generated profiles, and the cases of single steps.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "profile/ProfileAnalysis.h"
#include "profile/Repair.h"
#include "regfile/StoreExport.h"
#include "registry/Helpers.h"
#include "support/RecordingLog.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

using platform::AsciiLowerCase;
using platform::AsciiUpperCase;
using registry::store::HKEY_CURRENT_USER;
using registry::store::MemoryStore;
using registry::store::REG_BINARY;
using registry::store::REG_SZ;
using test::Bytes;
using test::Utf16Bytes;
using Lines = std::vector<std::u16string>;

constexpr std::u16string_view kTree = u"Software\\Profiles";
constexpr std::u16string_view kProfile = u"P";
const std::u16string kProfileTree = u"Software\\Profiles\\P";
const std::u16string kProviders = kProfileTree + u"\\9207f3e0a3b11019908b08002b2a56c2";
const std::u16string kAccounts = kProfileTree + u"\\9375CFF0413111d3B88A00104B2A6676";

using test::TRecordingLog;

using test::HexBytes;

Bytes IdListBytes(const std::vector<std::u16string>& ids) {
  Bytes bytes;
  for (const auto& id : ids) {
    const Bytes one = HexBytes(id);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

std::u16string Hex(const Bytes& bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string hex;
  for (auto b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

// --- A repair written straight from its rules, one list rewrite per item -------------

void ReferenceRemove(std::u16string_view value, std::u16string_view id, bool keepFirst) {
  const Bytes bytes = registry::RegReadBinaryAt(1, kProviders, value);
  Bytes kept;
  bool appended = false;
  for (std::size_t i = 0; i + 16 <= bytes.size(); i += 16) {
    const Bytes one(bytes.begin() + static_cast<long>(i),
                    bytes.begin() + static_cast<long>(i) + 16);
    if (Hex(one) == AsciiUpperCase(id)) {
      if (!keepFirst || appended)
        continue;
      appended = true;
    }
    kept.insert(kept.end(), one.begin(), one.end());
  }
  registry::RegWriteBinaryAt(1, kProviders, value, kept);
}

bool ReferenceProtected(const TProfileAnalysis& analysis, std::u16string_view section) {
  for (const auto& id : analysis.cArrKeyConstants) {
    if (AsciiUpperCase(id) == AsciiUpperCase(section))
      return true;
  }
  return false;
}

void ReferenceRepair(TProfileAnalysis& a, TRecordingLog& log) {
  const std::u16string stars(41, u'*');
  auto heading = [&](std::u16string_view text) {
    log.Log(u"");
    log.Log(stars);
    log.Log(text);
  };
  auto number = [](std::size_t n) { return platform::Widen(std::to_string(n)); };

  heading(u"Liste der zu löschenden GUIDs:");
  std::size_t deleted = 0;
  for (const auto& key : *a.RegKeysList) {
    if (a.GUIDsUsedList->IndexOf(key->EntryName) >= 0)
      continue;
    log.Log(AsciiLowerCase(key->EntryName));
    registry::RegDeleteKeyAt(1, kProfileTree, key->EntryName);
    ++deleted;
  }
  log.Log(number(deleted) + u" von " + number(a.RegKeysList->Count()) + u" GUIDs wurden gelöscht.");

  heading(u"nicht verknüpfte Einträge aus 9207 und 9375 entfernen ");
  std::size_t corrected = 0;
  for (const auto& entry : *a.EntriesList) {
    if (!entry->EntryPendant.empty())
      continue;
    log.Log(AsciiLowerCase(entry->Entry9702));
    for (auto value : {u"01023d00", u"01023d01", u"01023d02", u"01023d0e"})
      ReferenceRemove(value, entry->Entry9702, false);
    ++corrected;
  }
  log.Log(number(corrected) + u" von " + number(a.EntriesList->Count()) +
          u" GUIDs wurden korrigiert.");

  heading(u"mehrfache, gleiche 9207er Einträge entfernen");
  const auto& providers = a.ProviderValues->Items();
  std::vector<std::u16string> repeated;
  std::size_t count = 0;
  for (std::size_t i = 0; i < providers.size(); ++i) {
    if (std::find(providers.begin() + static_cast<long>(i) + 1, providers.end(), providers[i]) ==
        providers.end())
      continue;
    ++count;
    bool known = false;
    for (const auto& r : repeated)
      known = known || AsciiUpperCase(r) == AsciiUpperCase(providers[i]);
    if (!known)
      repeated.push_back(providers[i]);
  }
  std::sort(repeated.begin(), repeated.end(),
            [](const auto& x, const auto& y) { return AsciiUpperCase(x) < AsciiUpperCase(y); });
  for (const auto& id : repeated) {
    log.Log(AsciiLowerCase(id));
    for (auto value : {u"01023d00", u"01023d01", u"01023d02"})
      ReferenceRemove(value, id, true);
    ++count;
  }
  log.Log(number(count) + u" doppelte Einträge aus 9207 entfernt...");

  heading(u"Fehlerhafte Accounteinträge löschen");
  for (const auto& account : *a.AccountsList) {
    if (!account->ServiceUID.empty() || !account->POP3Account.empty())
      continue;
    log.Log(u"Keine Service UID hinterlegt:");
    log.Log(kAccounts + u" => " + account->RegKey);
    registry::RegDeleteKeyAt(1, kAccounts, account->RegKey);
  }
  const TStringList names = a.GetAccountKeyNames();
  for (const auto& name : names.Items()) {
    if (a.AccountValues->IndexOf(name) >= 0)
      continue;
    log.Log(u"");
    log.Log(u"Eintrag, der nicht als Dienst hinterlegt ist: ");
    log.Log(kAccounts + u" => " + name);
    for (const auto& account : *a.AccountsList) {
      if (account->RegKey != name)
        continue;
      log.Log(u"Die GUIDs des Accounts werden entfernt:");
      log.Log(kProfileTree + u" => " + account->ServiceUID);
      log.Log(kProfileTree + u" => " + account->PrefsUID);
      for (const auto& section : {account->ServiceUID, account->PrefsUID}) {
        if (!section.empty() && !ReferenceProtected(a, section) &&
            section.find(u'\\') == std::u16string::npos)
          registry::RegDeleteKeyAt(1, kProfileTree, section);
      }
      log.Log(u"01023d0e => " + account->ServiceUID);
      ReferenceRemove(u"01023d0e", account->ServiceUID, false);
      log.Log(u"01023d00 => " + account->PrefsUID);
      ReferenceRemove(u"01023d00", account->PrefsUID, false);
      for (const auto& entry : *a.EntriesList) {
        if (entry->EntryPendant == account->ServiceUID)
          ReferenceRemove(u"01023d00", entry->Entry9702, false);
      }
    }
    // The entry itself last, so that a repair ended by an error leaves it to name its
    // sections again.
    registry::RegDeleteKeyAt(1, kAccounts, name);
  }
}

// --- Generated profiles -----------------------------------------------------------

std::u16string RandomId(std::mt19937& random, int pool) {
  // A small pool makes the same ids come back.
  const unsigned n = static_cast<unsigned>(random() % static_cast<unsigned>(pool));
  std::u16string id(32, u'0');
  id[0] = u"0123456789abcdef"[n / 16 % 16];
  id[1] = u"0123456789abcdef"[n % 16];
  id[31] = u'7';
  return id;
}

void Put(MemoryStore& store, const std::u16string& path, std::u16string_view name,
         std::uint32_t type, const Bytes& data) {
  registry::store::HKEY key = 0;
  ASSERT_EQ(0, store.CreateKey(HKEY_CURRENT_USER, path, registry::store::KEY_ALL_ACCESS, key));
  ASSERT_EQ(0, store.SetValue(key, name, type, data));
  store.CloseKey(key);
}

// A damaged profile drawn from the seed: repeated providers in all three lists, some
// without section or with an unlisted service, orphan and empty sections, accounts
// listed or not, with and without Service UID, one naming a protected section.
void Generate(MemoryStore& store, unsigned seed) {
  std::mt19937 random(seed);
  const int pool = 4 + static_cast<int>(random() % 40);
  std::vector<std::u16string> services;
  for (int s = 0; s < 1 + static_cast<int>(random() % 4); ++s)
    services.push_back(RandomId(random, pool));
  std::vector<std::u16string> lists[3];
  for (auto& list : lists) {
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i)
      list.push_back(RandomId(random, pool));
  }
  for (int l = 0; l < 3; ++l) {
    // Now and then a list value is missing.
    if (random() % 5 != 0)
      Put(store, kProviders, std::u16string(u"01023d0") + char16_t(u'0' + l), REG_BINARY,
          IdListBytes(lists[l]));
  }
  Put(store, kProviders, u"01023d0e", REG_BINARY, IdListBytes(services));
  for (const auto& list : lists) {
    for (const auto& id : list) {
      if (random() % 6 == 0)
        continue;  // no section
      const std::u16string service =
          random() % 4 == 0 ? RandomId(random, pool) : services[random() % services.size()];
      Put(store, kProfileTree + u"\\" + id, u"01023d0c", REG_BINARY, HexBytes(service));
    }
  }
  for (int o = 0; o < static_cast<int>(random() % 4); ++o)
    Put(store, kProfileTree + u"\\" + RandomId(random, 1000), u"001e3001", REG_SZ,
        Utf16Bytes(u"Verwaist"));
  Bytes listed;
  const int accounts = static_cast<int>(random() % 5);
  for (int n = 1; n <= accounts; ++n) {
    const std::u16string key = kAccounts + u"\\0000000" + char16_t(u'0' + n);
    const auto kind = random() % 5;
    std::u16string service = services[random() % services.size()];
    if (kind == 0)
      service = u"9207F3E0A3B11019908B08002B2A56C2";
    if (kind != 1)
      Put(store, key, u"Service UID", REG_SZ, Utf16Bytes(service));
    Put(store, key, u"Preferences UID", REG_BINARY, HexBytes(RandomId(random, pool)));
    if (random() % 2 == 0)
      listed.insert(listed.end(), {static_cast<std::uint8_t>(n), 0, 0, 0});
  }
  Put(store, kAccounts, u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}", REG_BINARY, listed);
}

struct TOutcome {
  Lines log;
  std::optional<std::u16string> error;
  std::string registry;
};

// Generates the profile, runs "Auslesen", lets `disturb` change the store, then runs
// the repair given; the log of the repair alone, its error and the registry after.
template <typename Repair, typename Disturb>
TOutcome RunRepair(unsigned seed, Disturb disturb, Repair repair) {
  MemoryStore store;
  TOutcome outcome;
  {
    registry::store::ScopedCurrentStore current(store);
    Generate(store, seed);
    TRecordingLog analysisLog;
    TProfileAnalysis analysis(analysisLog);
    analysis.Analyse(kTree, kProfile);
    disturb(store);
    TRecordingLog log;
    try {
      repair(analysis, log);
    } catch (const platform::Exception& error) {
      outcome.error = error.Message();
    }
    outcome.log = analysisLog.lines;
    outcome.log.insert(outcome.log.end(), log.lines.begin(), log.lines.end());
  }
  regfile::TMemoryStream text;
  EXPECT_TRUE(regfile::SaveStoreAsReg(store, {HKEY_CURRENT_USER}, text));
  outcome.registry = std::string(text.Bytes());
  return outcome;
}

struct TDisturbance {
  const char* name;
  void (*apply)(MemoryStore&);
};

void PrintTo(const TDisturbance& row, std::ostream* out) {
  *out << row.name;
}

// A list value of the provider section that now holds text instead of section ids.
void TurnIntoText(MemoryStore& store, std::u16string_view list) {
  registry::store::HKEY key = 0;
  store.OpenKey(HKEY_CURRENT_USER, kProviders, registry::store::KEY_ALL_ACCESS, key);
  store.SetValue(key, list, REG_SZ, Utf16Bytes(u"kaputt"));
  store.CloseKey(key);
}

class RepairEquivalenceTest : public ::testing::TestWithParam<TDisturbance> {};

TEST_P(RepairEquivalenceTest, BatchedRewritesEndAsOneRewritePerItem) {
  int errors = 0;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const TOutcome expected = RunRepair(seed, GetParam().apply, ReferenceRepair);
    // RepairProfile logs into the analysis's log, the reference into a log of its
    // own; RunRepair joins them.
    const TOutcome actual = RunRepair(
        seed, GetParam().apply, [](TProfileAnalysis& a, TRecordingLog&) { RepairProfile(a); });
    EXPECT_EQ(expected.log, actual.log);
    EXPECT_EQ(expected.error, actual.error);
    EXPECT_EQ(expected.registry, actual.registry);
    errors += expected.error.has_value();
    if (HasFailure())
      break;
  }
  if (std::string(GetParam().name) != "None") {
    EXPECT_GT(errors, 0) << "the disturbance never showed";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Disturbances, RepairEquivalenceTest,
    ::testing::Values(TDisturbance{"None", [](MemoryStore&) {}},
                      TDisturbance{"RefusedWrites",
                                   [](MemoryStore& store) {
                                     store.InjectFault(HKEY_CURRENT_USER, kProviders,
                                                       MemoryStore::Operation::SetValue, 5);
                                   }},
                      TDisturbance{"TransportListBecameText",
                                   [](MemoryStore& store) { TurnIntoText(store, u"01023d02"); }},
                      TDisturbance{"ServiceListBecameText",
                                   [](MemoryStore& store) { TurnIntoText(store, u"01023d0e"); }}),
    [](const ::testing::TestParamInfo<TDisturbance>& row) { return std::string(row.param.name); });

// --- Single steps -----------------------------------------------------------------

class RepairTest : public test::StoreFixture {
 protected:
  // "Auslesen", then the repair; the log lines from the repair's first heading on.
  Lines AnalyseAndRepair() {
    TProfileAnalysis analysis(log_);
    analysis.Analyse(kTree, kProfile);
    const std::size_t start = log_.lines.size();
    if (beforeRepair_)
      beforeRepair_();
    RepairProfile(analysis);
    return Lines(log_.lines.begin() + static_cast<long>(start), log_.lines.end());
  }

  // The ids of a list value, or nothing when it does not exist.
  std::optional<std::vector<std::u16string>> List(std::u16string_view value) {
    const auto [type, bytes] = Get(kProviders, value);
    if (type < 0)
      return std::nullopt;
    EXPECT_EQ(REG_BINARY, type);
    std::vector<std::u16string> ids;
    for (std::size_t i = 0; i + 16 <= bytes.size(); i += 16)
      ids.push_back(AsciiLowerCase(Hex(
          Bytes(bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i) + 16))));
    return ids;
  }

  // The lines of one repair step: from its heading to the next empty line of a heading.
  static Lines Step(const Lines& lines, std::u16string_view heading) {
    Lines part;
    auto it = std::find(lines.begin(), lines.end(), heading);
    for (++it; it < lines.end() &&
               !(it + 1 < lines.end() && *it == u"" && *(it + 1) == std::u16string(41, u'*'));
         ++it)
      part.push_back(*it);
    return part;
  }

  TRecordingLog log_;
  std::function<void()> beforeRepair_;
};

const std::u16string kA1 = u"a1000000000000000000000000000001";
const std::u16string kA2 = u"a2000000000000000000000000000002";
const std::u16string kA3 = u"a3000000000000000000000000000003";
const std::u16string kS1 = u"51000000000000000000000000000001";
// An I/O failure of the registry, which no repair step takes as an answer.
constexpr registry::store::LSTATUS kIoFailed = 1016;

// An unlinked provider listed twice: the removal of unlinked providers logs and counts
// both entries, the removal of repeated ones (working on the lists as read) logs it
// once and counts both again.
TEST_F(RepairTest, DoubleListedUnlinkedProviderCountsInBothListCleanUps) {
  Put(kProviders, u"01023d00", REG_BINARY, IdListBytes({kA2, kA1, kA2}));
  Put(kProviders, u"01023d0e", REG_BINARY, IdListBytes({kS1}));
  Put(kProfileTree + u"\\" + kA1, u"01023d0c", REG_BINARY, HexBytes(kS1));
  const Lines lines = AnalyseAndRepair();
  EXPECT_EQ((Lines{kA2, kA2, u"2 von 3 GUIDs wurden korrigiert."}),
            Step(lines, u"nicht verknüpfte Einträge aus 9207 und 9375 entfernen "));
  EXPECT_EQ((Lines{kA2, u"2 doppelte Einträge aus 9207 entfernt..."}),
            Step(lines, u"mehrfache, gleiche 9207er Einträge entfernen"));
  EXPECT_EQ(std::vector<std::u16string>{kA1}, List(u"01023d00"));
}

// Each list keeps the first of its own repeated entries; every position of an id
// found more than once counts.
TEST_F(RepairTest, RepeatedProvidersKeepTheirFirstPlaceInEachList) {
  Put(kProviders, u"01023d00", REG_BINARY, IdListBytes({kA1, kA3, kA1}));
  Put(kProviders, u"01023d02", REG_BINARY, IdListBytes({kA3, kA2, kA3, kA3, kA1}));
  Put(kProviders, u"01023d0e", REG_BINARY, IdListBytes({kS1}));
  for (const auto& id : {kA1, kA2, kA3})
    Put(kProfileTree + u"\\" + id, u"01023d0c", REG_BINARY, HexBytes(kS1));
  const Lines lines = AnalyseAndRepair();
  EXPECT_EQ((Lines{kA1, kA3, u"7 doppelte Einträge aus 9207 entfernt..."}),
            Step(lines, u"mehrfache, gleiche 9207er Einträge entfernen"));
  EXPECT_EQ((std::vector<std::u16string>{kA1, kA3}), List(u"01023d00"));
  EXPECT_EQ((std::vector<std::u16string>{kA3, kA2, kA1}), List(u"01023d02"));
}

TEST_F(RepairTest, MissingListValueIsCreatedEmpty) {
  Put(kProviders, u"01023d00", REG_BINARY, IdListBytes({kA1}));
  const Lines lines = AnalyseAndRepair();
  ASSERT_EQ(u"1 von 1 GUIDs wurden korrigiert.",
            Step(lines, u"nicht verknüpfte Einträge aus 9207 und 9375 entfernen ").back());
  for (auto value : {u"01023d00", u"01023d01", u"01023d02", u"01023d0e"})
    EXPECT_EQ(std::vector<std::u16string>{}, List(value)) << platform::ToUtf8(value);
}

// Without anything to remove no list is written: a missing one stays missing.
TEST_F(RepairTest, NothingToRemoveWritesNoList) {
  Put(kProviders, u"01023d00", REG_BINARY, IdListBytes({kA1}));
  Put(kProviders, u"01023d0e", REG_BINARY, IdListBytes({kS1}));
  Put(kProfileTree + u"\\" + kA1, u"01023d0c", REG_BINARY, HexBytes(kS1));
  AnalyseAndRepair();
  EXPECT_EQ(std::nullopt, List(u"01023d01"));
}

TEST_F(RepairTest, SectionInUseInAnotherLetterCaseStays) {
  Put(kProviders, u"01023d00", REG_BINARY, IdListBytes({kA1}));
  Put(kProviders, u"01023d0e", REG_BINARY, IdListBytes({kS1}));
  Put(kProfileTree + u"\\A1000000000000000000000000000001", u"01023d0c", REG_BINARY, HexBytes(kS1));
  const Lines lines = AnalyseAndRepair();
  EXPECT_EQ(Lines{u"0 von 2 GUIDs wurden gelöscht."},
            Step(lines, u"Liste der zu löschenden GUIDs:"));
  EXPECT_TRUE(KeyExists(kProfileTree + u"\\" + kA1));
}

// A registry operation that fails ends the repair where it happens, with the key
// named; what the registry refuses as an answer (a section with sub keys of its own)
// is logged and counted and the repair goes on. A list that failed to read is never
// written back empty.
struct TFailureCase {
  const char* name;
  std::u16string key;  // below the profile tree; empty: no failure
  MemoryStore::Operation operation;
  // The start of the error, or empty when the repair ends without one.
  std::u16string error;
  bool sectionDeleted;  // the unused section, which the first step deletes
  // 01023d00 afterwards: the removal of unlinked providers takes a2, the account
  // clean-up a1 with the account's service.
  Lines storeProviders;
  bool accountDeleted;  // the unlisted account entry, which the account clean-up deletes
};

void PrintTo(const TFailureCase& row, std::ostream* out) {
  *out << row.name;
}

class RepairFailureTest : public RepairTest, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(RepairFailureTest, EndsTheRepairWhereItHappens) {
  const TFailureCase& c = GetParam();
  const std::u16string unused = kProfileTree + u"\\e0000000000000000000000000000001";
  Put(kProviders, u"01023d00", REG_BINARY, IdListBytes({kA2, kA1}));
  Put(kProviders, u"01023d0e", REG_BINARY, IdListBytes({kS1}));
  Put(kProfileTree + u"\\" + kA1, u"01023d0c", REG_BINARY, HexBytes(kS1));
  Put(unused, u"001e3001", REG_SZ, Utf16Bytes(u"Verwaist"));
  Put(kAccounts + u"\\00000007", u"Service UID", REG_BINARY, HexBytes(kS1));
  if (c.key.empty())
    MakeKey(unused + u"\\Unterschlüssel");
  if (!c.key.empty()) {
    beforeRepair_ = [&] {
      ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, kProfileTree + u"\\" + c.key, c.operation,
                                     kIoFailed));
    };
  }
  std::u16string error;
  try {
    AnalyseAndRepair();
  } catch (const platform::Exception& e) {
    error = e.Message();
  }
  EXPECT_EQ(c.error, error.substr(0, c.error.size())) << platform::ToUtf8(error);
  EXPECT_EQ(c.error.empty(), error.empty()) << platform::ToUtf8(error);
  if (!c.key.empty())
    store_.InjectFault(HKEY_CURRENT_USER, kProfileTree + u"\\" + c.key, c.operation, 0);
  EXPECT_EQ(!c.sectionDeleted, KeyExists(unused));
  EXPECT_EQ(c.storeProviders, List(u"01023d00"));
  EXPECT_EQ(!c.accountDeleted, KeyExists(kAccounts + u"\\00000007"));
}

const std::u16string kSectionsKey = u"9207f3e0a3b11019908b08002b2a56c2";

INSTANTIATE_TEST_SUITE_P(
    Failures, RepairFailureTest,
    ::testing::Values(
        TFailureCase{"SectionWithSubKeysIsRefused",
                     u"",
                     MemoryStore::Operation::DeleteKey,
                     u"",
                     false,
                     {},
                     true},
        TFailureCase{"SectionFailsToDelete",
                     u"e0000000000000000000000000000001",
                     MemoryStore::Operation::DeleteKey,
                     u"Der Registry-Schlüssel „HKEY_CURRENT_USER\\Software\\Profiles\\P\\"
                     u"e0000000000000000000000000000001“ lässt sich nicht löschen: ",
                     false,
                     {kA2, kA1},
                     false},
        TFailureCase{"ListFailsToRead",
                     kSectionsKey,
                     MemoryStore::Operation::QueryValue,
                     u"Der Registry-Schlüssel „HKEY_CURRENT_USER\\Software\\Profiles\\P\\" +
                         kSectionsKey + u"“ lässt sich nicht lesen: ",
                     true,
                     {kA2, kA1},
                     false},
        TFailureCase{"ProviderSectionFailsToOpen",
                     kSectionsKey,
                     MemoryStore::Operation::Open,
                     u"Der Registry-Schlüssel „HKEY_CURRENT_USER\\Software\\Profiles\\P\\" +
                         kSectionsKey + u"“ lässt sich nicht öffnen: ",
                     true,
                     {kA2, kA1},
                     false}),
    [](const ::testing::TestParamInfo<TFailureCase>& row) { return std::string(row.param.name); });

TEST_F(RepairTest, AccountSubkeyThatAppearedAfterAuslesenIsDeletedAlone) {
  Put(kAccounts, u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}", REG_BINARY, {1, 0, 0, 0});
  Put(kAccounts + u"\\00000001", u"Service UID", REG_BINARY, HexBytes(kS1));
  Put(kProfileTree + u"\\" + kS1, u"001e3001", REG_SZ, Utf16Bytes(u"Dienst"));
  Put(kProviders, u"01023d0e", REG_BINARY, IdListBytes({kS1}));
  beforeRepair_ = [&] {
    Put(kAccounts + u"\\00000007", u"Service UID", REG_BINARY, HexBytes(kS1));
  };
  const Lines lines = AnalyseAndRepair();
  EXPECT_EQ(
      (Lines{u"", u"Eintrag, der nicht als Dienst hinterlegt ist: ", kAccounts + u" => 00000007"}),
      Step(lines, u"Fehlerhafte Accounteinträge löschen"));
  EXPECT_FALSE(KeyExists(kAccounts + u"\\00000007"));
  EXPECT_TRUE(KeyExists(kAccounts + u"\\00000001"));
  EXPECT_TRUE(KeyExists(kProfileTree + u"\\" + kS1));
  EXPECT_EQ(std::vector<std::u16string>{kS1}, List(u"01023d0e"));
}

// A damaged account entry may name any key: a protected section in any letter case,
// or a path below one. Neither is deleted, though the lines are logged.
struct TNamedSection {
  const char* name;
  std::u16string_view serviceUid;
  std::u16string_view kept;  // the key below the profile that must stay
};

void PrintTo(const TNamedSection& row, std::ostream* out) {
  *out << row.name;
}

class ProtectedSectionTest : public RepairTest,
                             public ::testing::WithParamInterface<TNamedSection> {};

TEST_P(ProtectedSectionTest, AccountNamingItDoesNotDeleteIt) {
  Put(kProviders, u"01023d0e", REG_BINARY, IdListBytes({kS1}));
  Put(kAccounts, u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}", REG_BINARY, {1, 0, 0, 0});
  Put(kAccounts + u"\\00000002", u"Service UID", REG_SZ, Utf16Bytes(GetParam().serviceUid));
  MakeKey(kProfileTree + u"\\" + std::u16string(GetParam().kept));
  const Lines lines = AnalyseAndRepair();
  const Lines step = Step(lines, u"Fehlerhafte Accounteinträge löschen");
  ASSERT_EQ(8u, step.size());
  EXPECT_EQ(kProfileTree + u" => " + AsciiLowerCase(GetParam().serviceUid), step[4]);
  EXPECT_TRUE(KeyExists(kProfileTree + u"\\" + std::u16string(GetParam().kept)));
  EXPECT_FALSE(KeyExists(kAccounts + u"\\00000002"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProtectedSectionTest,
    ::testing::Values(TNamedSection{"ProviderSection", u"9207f3e0a3b11019908b08002b2a56c2",
                                    u"9207f3e0a3b11019908b08002b2a56c2"},
                      TNamedSection{"ProviderSectionUpperCase", u"9207F3E0A3B11019908B08002B2A56C2",
                                    u"9207f3e0a3b11019908b08002b2a56c2"},
                      TNamedSection{"BracedId", u"{D9734F19-8CFB-411D-BC59-833E334FCB5E}",
                                    u"{D9734F19-8CFB-411D-BC59-833E334FCB5E}"},
                      TNamedSection{"AccountSection", u"9375cff0413111d3b88a00104b2a6676",
                                    u"9375CFF0413111d3B88A00104B2A6676"},
                      TNamedSection{"KeyBelowASection", u"c1000000000000000000000000000001\\sub",
                                    u"c1000000000000000000000000000001\\sub"}),
    [](const ::testing::TestParamInfo<TNamedSection>& row) { return std::string(row.param.name); });

// --- The sorted list added at once --------------------------------------------------

TEST(AddAllSortedTest, EndsAsOneAddPerText) {
  std::mt19937 random(7);
  const std::u16string letters = u"aAbB0{-";
  for (int round = 0; round < 300; ++round) {
    const auto rule = round % 2 ? TStringList::Duplicates::Accept : TStringList::Duplicates::Ignore;
    TStringList one(true, rule);
    TStringList all(true, rule);
    std::vector<std::u16string> held;
    std::vector<std::u16string> texts;
    for (int i = 0; i < static_cast<int>(random() % 12); ++i) {
      std::u16string text;
      for (int c = 0; c < 1 + static_cast<int>(random() % 2); ++c)
        text += letters[random() % letters.size()];
      (i % 3 == 0 ? held : texts).push_back(text);
    }
    for (const auto& text : held) {
      one.Add(text);
      all.Add(text);
    }
    for (const auto& text : texts)
      one.Add(text);
    AddAllSorted(all, texts);
    ASSERT_EQ(one.Items(), all.Items()) << "round " << round;
    EXPECT_TRUE(all.Sorted());
  }
}

}  // namespace
}  // namespace brindel::profile
