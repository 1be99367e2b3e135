// The findings a report gives are what the repair then does: read from the same lists
// by the same rules, checked against the repair's own log on whole fixture profiles.

#include "profile/Findings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "profile/Repair.h"
#include "regfile/RegText.h"
#include "support/RecordingLog.h"
#include "support/SameLog.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

using Ids = std::vector<std::u16string>;

constexpr std::u16string_view kMessagingTree =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr std::u16string_view kOfficeTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";

// The lines of the repair's log between a heading and the count line after it.
Ids Listed(const std::vector<std::u16string>& log, std::u16string_view heading) {
  Ids ids;
  auto line = std::find(log.begin(), log.end(), heading);
  for (++line; line != log.end() && line->find(u" von ") == std::u16string::npos &&
               line->find(u"doppelte") == std::u16string::npos && !line->empty();
       ++line) {
    ids.push_back(*line);
  }
  return ids;
}

template <typename Found>
Ids IdsOf(const std::vector<Found>& found) {
  Ids ids;
  for (const auto& one : found)
    ids.push_back(one.Id);
  return ids;
}

struct FixtureProfile {
  const char* file;
  std::u16string_view tree;
  std::u16string_view profile;
};

class FindingsTest : public test::StoreFixture,
                     public ::testing::WithParamInterface<FixtureProfile> {};

TEST_P(FindingsTest, NameWhatTheRepairDoes) {
  regfile::LoadRegTextFile(platform::FromUtf8(test::ProfileFixture(GetParam().file)),
                                   store_);
  test::TRecordingLog log;
  TProfileAnalysis analysis(log);
  analysis.Analyse(GetParam().tree, GetParam().profile);
  const TFindings findings = CollectFindings(analysis);
  log.lines.clear();
  RepairProfile(analysis);

  EXPECT_EQ(Listed(log.lines, u"Liste der zu löschenden GUIDs:"), IdsOf(findings.UnusedSections));
  EXPECT_EQ(Listed(log.lines, u"nicht verknüpfte Einträge aus 9207 und 9375 entfernen "),
            IdsOf(findings.UnlinkedProviders));
  Ids repeated = IdsOf(findings.RepeatedEntries);
  std::sort(repeated.begin(), repeated.end());
  EXPECT_EQ(Listed(log.lines, u"mehrfache, gleiche 9207er Einträge entfernen"), repeated);
  // Each faulty account appears in the log as "section => account".
  for (const TFaultyAccount& account : findings.FaultyAccounts) {
    const bool logged = std::any_of(log.lines.begin(), log.lines.end(), [&](const auto& line) {
      return line.ends_with(u" => " + account.Account);
    });
    EXPECT_TRUE(logged) << platform::ToUtf8(account.Account);
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, FindingsTest,
                         ::testing::Values(FixtureProfile{"damaged.reg", kMessagingTree, u"Kaputt"},
                                           FixtureProfile{"accounts.reg", kOfficeTree, u"Konten"},
                                           FixtureProfile{"healthy.reg", kOfficeTree, u"Outlook"}),
                         [](const auto& row) {
                           const std::string name = row.param.file;
                           return name.substr(0, name.find('.'));
                         });

class DamagedFindingsTest : public test::StoreFixture {};

TEST_F(DamagedFindingsTest, CarryNamesCountsAndReasons) {
  regfile::LoadRegTextFile(platform::FromUtf8(test::ProfileFixture("damaged.reg")), store_);
  test::TRecordingLog log;
  TProfileAnalysis analysis(log);
  analysis.Analyse(kMessagingTree, u"Kaputt");
  const TFindings findings = CollectFindings(analysis);
  EXPECT_EQ(14, findings.Sections);
  EXPECT_EQ(6, findings.Providers);
  ASSERT_EQ(1u, findings.RepeatedEntries.size());
  EXPECT_EQ(u"a1000000000000000000000000000001", findings.RepeatedEntries[0].Id);
  EXPECT_EQ(3, findings.RepeatedEntries[0].Count);
  ASSERT_FALSE(findings.FaultyAccounts.empty());
  EXPECT_EQ(u"0000000a", findings.FaultyAccounts[0].Account);
  EXPECT_EQ(TFaultyAccount::Reason::NoServiceUid, findings.FaultyAccounts[0].Why);
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

}  // namespace
}  // namespace brindel::profile
