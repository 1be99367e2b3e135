// Focused behaviour of the analysis steps: numbering across groups, the growth of
// the account list, errors that end the analysis, and the sections kept in use.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "profile/ProfileAnalysis.h"
#include "support/RecordingLog.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

using registry::store::REG_BINARY;
using registry::store::REG_DWORD;
using registry::store::REG_SZ;
using test::Bytes;
using test::DwordBytes;
using test::Utf16Bytes;
using Lines = std::vector<std::u16string>;

constexpr std::u16string_view kTree = u"Software\\Profiles";
constexpr std::u16string_view kProfile = u"P";
const std::u16string kProfileTree = u"Software\\Profiles\\P";
const std::u16string kProviders = kProfileTree + u"\\9207f3e0a3b11019908b08002b2a56c2";
const std::u16string kAccounts = kProfileTree + u"\\9375CFF0413111d3B88A00104B2A6676";

using test::TRecordingLog;

// The bytes of section ids given as 32 hex digits each.
Bytes Ids(std::initializer_list<const char*> ids) {
  Bytes bytes;
  for (const char* id : ids) {
    const Bytes one = test::HexBytes(platform::FromUtf8(id));
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

Bytes Numbers(std::initializer_list<std::uint32_t> numbers) {
  Bytes bytes;
  for (const std::uint32_t n : numbers) {
    const Bytes one = DwordBytes(n);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

// The lines of the log from the first line equal to `from` up to, not including,
// the first later line equal to `to` (or the end).
Lines Between(const Lines& lines, std::u16string_view from, std::u16string_view to) {
  Lines part;
  bool inside = false;
  for (const auto& line : lines) {
    if (inside && line == to)
      break;
    if (line == from)
      inside = true;
    if (inside)
      part.push_back(line);
  }
  return part;
}

Lines L(std::initializer_list<const char*> lines) {
  Lines out;
  for (const char* line : lines)
    out.push_back(platform::FromUtf8(line));
  return out;
}

class AnalysisTest : public test::StoreFixture {
 protected:
  void SetUp() override { MakeKey(kProfileTree); }
  void Analyse() { analysis_.Analyse(kTree, kProfile); }

  TRecordingLog log_;
  TProfileAnalysis analysis_{log_};
};

// --- numbering across the groups of one list --------------------------------------

struct TGroupCase {
  const char* name;
  Bytes store, addressBook, transport;
  Lines expected;  // the provider groups, from the store heading to the services'
};

// Rows show by name in test listings.
void PrintTo(const TGroupCase& row, std::ostream* out) {
  *out << row.name;
}

class ProviderNumberingTest : public AnalysisTest,
                              public ::testing::WithParamInterface<TGroupCase> {};

TEST_P(ProviderNumberingTest, NumbersRunOnAcrossGroups) {
  const TGroupCase& c = GetParam();
  if (!c.store.empty())
    Put(kProviders, u"01023d00", REG_BINARY, c.store);
  if (!c.addressBook.empty())
    Put(kProviders, u"01023d01", REG_BINARY, c.addressBook);
  if (!c.transport.empty())
    Put(kProviders, u"01023d02", REG_BINARY, c.transport);
  Analyse();
  EXPECT_EQ(c.expected, Between(log_.lines, u"Auslesen der Store-Provider 01023d00:",
                                u"Auslesen der Services 01023d0e:"));
}

const char* kA = "aa000000000000000000000000000001";
const char* kB = "bb000000000000000000000000000002";
const char* kC = "cc000000000000000000000000000003";
const char* kD = "dd000000000000000000000000000004";
const char* kE = "ee000000000000000000000000000005";

INSTANTIATE_TEST_SUITE_P(
    Groups, ProviderNumberingTest,
    ::testing::Values(
        TGroupCase{
            "TwoOneTwo", Ids({kA, kB}), Ids({kC}), Ids({kD, kE}),
            L({"Auslesen der Store-Provider 01023d00:", "Anzahl: 2",
               "1: aa000000000000000000000000000001", "2: bb000000000000000000000000000002", "",
               "Auslesen der Adressbuch-Provider 01023d01:", "Anzahl: 1",
               "3: cc000000000000000000000000000003", "",
               "Auslesen der Transport-Provider 01023d02:", "Anzahl: 2",
               "4: dd000000000000000000000000000004", "5: ee000000000000000000000000000005", ""})},
        TGroupCase{"StrayBytesAfterThreeIds",
                   [] {
                     Bytes b = Ids({kA, kB, kC});
                     b.insert(b.end(), {1, 2, 3, 4, 5, 6, 7, 8});
                     return b;
                   }(),
                   {},
                   {},
                   L({"Auslesen der Store-Provider 01023d00:", "Anzahl: 3",
                      "1: aa000000000000000000000000000001", "2: bb000000000000000000000000000002",
                      "3: cc000000000000000000000000000003", "",
                      "Auslesen der Adressbuch-Provider 01023d01:", "Anzahl: 0", "",
                      "Auslesen der Transport-Provider 01023d02:", "Anzahl: 0", ""})},
        TGroupCase{"SameIdInStoreAndTransport",
                   Ids({kA}),
                   {},
                   Ids({kA}),
                   L({"Auslesen der Store-Provider 01023d00:", "Anzahl: 1",
                      "1: aa000000000000000000000000000001", "",
                      "Auslesen der Adressbuch-Provider 01023d01:", "Anzahl: 0", "",
                      "Auslesen der Transport-Provider 01023d02:", "Anzahl: 1",
                      "2: aa000000000000000000000000000001", ""})}),
    [](const ::testing::TestParamInfo<TGroupCase>& row) { return std::string(row.param.name); });

// --- the account list grows at sorted positions -----------------------------------

struct TAccountCase {
  const char* name;
  Bytes accounts, services, providers;
  Lines expected;  // from the accounts heading to the end of the providers group
};

// Rows show by name in test listings.
void PrintTo(const TAccountCase& row, std::ostream* out) {
  *out << row.name;
}

class AccountValuesGrowthTest : public AnalysisTest,
                                public ::testing::WithParamInterface<TAccountCase> {};

TEST_P(AccountValuesGrowthTest, LinesShowThePositionsTheListGrewBy) {
  const TAccountCase& c = GetParam();
  Put(kAccounts, u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}", REG_BINARY, c.accounts);
  Put(kAccounts, u"{ED475419-B0D6-11D2-8C3B-00104B2A6676}", REG_BINARY, c.services);
  Put(kAccounts, u"{ED475420-B0D6-11D2-8C3B-00104B2A6676}", REG_BINARY, c.providers);
  Analyse();
  EXPECT_EQ(c.expected,
            Between(log_.lines, u"Auslesen der Accounts {ED475418-B0D6-11D2-8C3B-00104B2A6676}",
                    u"Auslesen der 9375 Einträge"));
}

INSTANTIATE_TEST_SUITE_P(
    Groups, AccountValuesGrowthTest,
    ::testing::Values(
        TAccountCase{
            "NewNumbersOnly", Numbers({1, 2}), Numbers({2, 3}), Numbers({1}),
            L({"Auslesen der Accounts {ED475418-B0D6-11D2-8C3B-00104B2A6676}", "Anzahl: 2",
               "1: 00000001", "2: 00000002", "",
               "Auslesen der Services {ED475419-B0D6-11D2-8C3B-00104B2A6676}", "Anzahl: 1",
               "3: 00000003", "", "Auslesen der Provider {ED475420-B0D6-11D2-8C3B-00104B2A6676}",
               "Anzahl: 0", ""})},
        TAccountCase{
            "SmallerNumberLater",
            Numbers({2}),
            Numbers({1}),
            {},
            L({"Auslesen der Accounts {ED475418-B0D6-11D2-8C3B-00104B2A6676}", "Anzahl: 1",
               "1: 00000002", "", "Auslesen der Services {ED475419-B0D6-11D2-8C3B-00104B2A6676}",
               "Anzahl: 1", "2: 00000002", "",
               "Auslesen der Provider {ED475420-B0D6-11D2-8C3B-00104B2A6676}", "Anzahl: 0", ""})}),
    [](const ::testing::TestParamInfo<TAccountCase>& row) { return std::string(row.param.name); });

// --- errors end the analysis where they happen ------------------------------------

struct TErrorCase {
  const char* name;
  void (*arrange)(test::StoreFixture&);
  const char* message;
  const char* lastLine;  // the last line the log holds when the error escapes
};

// Rows show by name in test listings.
void PrintTo(const TErrorCase& row, std::ostream* out) {
  *out << row.name;
}

class AnalysisErrorTest : public AnalysisTest, public ::testing::WithParamInterface<TErrorCase> {
 public:
  // Lets the table's arrange functions reach the fixture's Put.
  static void PutValue(test::StoreFixture& f, std::u16string_view path, std::u16string_view name,
                       std::uint32_t type, const Bytes& data) {
    static_cast<AnalysisErrorTest&>(f).Put(path, name, type, data);
  }
};

TEST_P(AnalysisErrorTest, ErrorEndsTheAnalysisWithTheLogSoFar) {
  const TErrorCase& c = GetParam();
  c.arrange(*this);
  try {
    Analyse();
    FAIL() << "no error";
  } catch (const platform::Exception& error) {
    EXPECT_EQ(platform::FromUtf8(c.message), error.Message());
  }
  ASSERT_FALSE(log_.lines.empty());
  EXPECT_EQ(platform::FromUtf8(c.lastLine), log_.lines.back());
}

const std::u16string kProvider = kProfileTree + u"\\aa000000000000000000000000000001";

INSTANTIATE_TEST_SUITE_P(
    Steps, AnalysisErrorTest,
    ::testing::Values(
        TErrorCase{"TextWhereProviderListIsRead",
                   [](test::StoreFixture& f) {
                     AnalysisErrorTest::PutValue(f, kProviders, u"01023d02", REG_SZ,
                                                 Utf16Bytes(u"kein Binärwert"));
                   },
                   "Ungültiger Datentyp für '01023d02'",
                   "Auslesen der Transport-Provider 01023d02:"},
        TErrorCase{
            "NumberWhereServiceLinkIsRead",
            [](test::StoreFixture& f) {
              AnalysisErrorTest::PutValue(f, kProviders, u"01023d00", REG_BINARY, Ids({kA}));
              AnalysisErrorTest::PutValue(f, kProvider, u"01023d0c", REG_DWORD, DwordBytes(7));
            },
            "Ungültiger Datentyp für '01023d0c'", "*****************************************"},
        TErrorCase{
            "NumberWhereDataFileIsReadAsText",
            [](test::StoreFixture& f) {
              AnalysisErrorTest::PutValue(f, kProviders, u"01023d00", REG_BINARY, Ids({kA}));
              AnalysisErrorTest::PutValue(f, kProvider, u"001e6700", REG_DWORD, DwordBytes(7));
            },
            "Ungültiger Datentyp für '001e6700'", "*****************************************"},
        TErrorCase{"TextWhereAccountListIsRead",
                   [](test::StoreFixture& f) {
                     AnalysisErrorTest::PutValue(f, kAccounts,
                                                 u"{ED475419-B0D6-11D2-8C3B-00104B2A6676}", REG_SZ,
                                                 Utf16Bytes(u"1"));
                   },
                   "Ungültiger Datentyp für '{ED475419-B0D6-11D2-8C3B-00104B2A6676}'",
                   "Auslesen der Services {ED475419-B0D6-11D2-8C3B-00104B2A6676}"},
        TErrorCase{"AccountSubkeyNotHexadecimal",
                   [](test::StoreFixture& f) {
                     AnalysisErrorTest::PutValue(f, kAccounts + u"\\00000001", u"Account Name",
                                                 REG_SZ, Utf16Bytes(u"Anna"));
                     AnalysisErrorTest::PutValue(f, kAccounts + u"\\0000000g", u"Account Name",
                                                 REG_SZ, Utf16Bytes(u"Bernd"));
                   },
                   "'$0000000g' ist kein gültiger Integerwert", "1: 00000001(1)  = Anna () =  & "},
        TErrorCase{"NumberWhereStoreSettingsIdIsRead",
                   [](test::StoreFixture& f) {
                     AnalysisErrorTest::PutValue(
                         f, kProfileTree + u"\\0a0d020000000000c000000000000046", u"01023d15",
                         REG_DWORD, DwordBytes(1));
                   },
                   "Ungültiger Datentyp für '01023d15'", "Auslesen der 9375 Einträge"}),
    [](const ::testing::TestParamInfo<TErrorCase>& row) { return std::string(row.param.name); });

TEST_F(AnalysisTest, RecordsBeforeAFailingAccountStay) {
  Put(kAccounts + u"\\00000001", u"Account Name", REG_SZ, Utf16Bytes(u"Anna"));
  Put(kAccounts + u"\\0000000g", u"Account Name", REG_SZ, Utf16Bytes(u"Bernd"));
  EXPECT_THROW(Analyse(), platform::EConvertError);
  ASSERT_EQ(1, analysis_.AccountsList->Count());
  EXPECT_EQ(u"00000001", (*analysis_.AccountsList)[0].RegKey);
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

// --- sections in use --------------------------------------------------------------

class UsedSectionsTest : public AnalysisTest {
 protected:
  // A provider kA linked to the service kB.
  void LinkedProvider() {
    Put(kProviders, u"01023d00", REG_BINARY, Ids({kA}));
    Put(kProviders, u"01023d0e", REG_BINARY, Ids({kB}));
    Put(kProfileTree + u"\\aa000000000000000000000000000001", u"01023d0c", REG_BINARY, Ids({kB}));
  }
  bool InUse(std::u16string_view id) { return analysis_.GUIDsUsedList->IndexOf(id) >= 0; }
  const std::u16string kService = kProfileTree + u"\\bb000000000000000000000000000002";
};

TEST_F(UsedSectionsTest, SecondExchangeAccountKeepsItsStoreSettingsSection) {
  LinkedProvider();
  // The default account's store settings are named in the store section, the second
  // account's only in its own service section.
  Put(kProfileTree + u"\\0a0d020000000000c000000000000046", u"01023d15", REG_BINARY, Ids({kC}));
  Bytes twenty = Ids({kD});
  twenty.insert(twenty.end(), {9, 9, 9, 9});
  Put(kService, u"01023d15", REG_BINARY, twenty);
  Analyse();
  EXPECT_TRUE(InUse(u"cc000000000000000000000000000003"));
  EXPECT_TRUE(InUse(u"dd000000000000000000000000000004"));
  EXPECT_EQ(8 + 4, analysis_.GUIDsUsedList->Count());
}

TEST_F(UsedSectionsTest, ServiceStoreSettingsOfAnotherKindArePassedOver) {
  LinkedProvider();
  Put(kService, u"01023d15", REG_DWORD, DwordBytes(5));
  Analyse();
  EXPECT_EQ(8 + 2, analysis_.GUIDsUsedList->Count());
}

TEST_F(UsedSectionsTest, UnlinkedProviderKeepsNothingOfItsService) {
  Put(kProviders, u"01023d00", REG_BINARY, Ids({kA}));
  Put(kProfileTree + u"\\aa000000000000000000000000000001", u"01023d0c", REG_BINARY, Ids({kB}));
  Put(kService, u"01023d15", REG_BINARY, Ids({kD}));
  Analyse();
  EXPECT_FALSE(InUse(u"aa000000000000000000000000000001"));
  EXPECT_FALSE(InUse(u"dd000000000000000000000000000004"));
  EXPECT_EQ(8, analysis_.GUIDsUsedList->Count());
}

// --- the scan ---------------------------------------------------------------------

TEST_F(AnalysisTest, UnreadableSectionKeepsItsRecordWithoutALine) {
  Put(kProfileTree + u"\\aa000000000000000000000000000001", u"x", REG_DWORD, DwordBytes(1));
  MakeKey(kProfileTree + u"\\bb000000000000000000000000000002");
  store_.SetProtection(registry::store::HKEY_CURRENT_USER,
                       kProfileTree + u"\\bb000000000000000000000000000002",
                       MemoryStore::Protection::Unreadable);
  Analyse();
  EXPECT_EQ(L({"aa000000000000000000000000000001", "zu löschen, da leer:", "0 von 2"}),
            Between(log_.lines, u"aa000000000000000000000000000001", u""));
  ASSERT_EQ(2, analysis_.RegKeysList->Count());
  EXPECT_FALSE((*analysis_.RegKeysList)[1].bEmpty);
}

TEST_F(AnalysisTest, MissingProfileGivesNoRecords) {
  analysis_.Analyse(kTree, u"Fehlt");
  EXPECT_EQ(L({"zu löschen, da leer:", "0 von 0", ""}),
            Between(log_.lines, u"zu löschen, da leer:", u"9207f3e0a3b11019908b08002b2a56c2"));
}

TEST_F(AnalysisTest, FreeListsIsHarmlessWithoutLists) {
  analysis_.FreeLists();
  analysis_.FreeLists();
  EXPECT_FALSE(analysis_.bListsCreated);
  analysis_.CreateLists();
  analysis_.FreeLists();
  EXPECT_FALSE(analysis_.bListsCreated);
  EXPECT_EQ(nullptr, analysis_.GUIDsUsedList);
}

}  // namespace
}  // namespace brindel::profile
