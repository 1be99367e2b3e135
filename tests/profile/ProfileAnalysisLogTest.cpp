// The complete "Auslesen" log of whole fixture profiles, compared line by line with
// the expected text written out by hand beside each fixture.

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "profile/ProfileAnalysis.h"
#include "registry/store/MemoryStore.h"
#include "regfile/RegText.h"
#include "support/RecordingLog.h"
#include "support/SameLog.h"

namespace brindel::profile {
namespace {

using platform::FromUtf8;
using platform::ToUtf8;
using Lines = std::vector<std::u16string>;

constexpr std::u16string_view kOfficeTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kMessagingTree =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

using test::TRecordingLog;

using test::SameLog;

struct TLogCase {
  const char* name;
  const char* regFile;
  const char* expectedFile;
  std::u16string_view tree;
  std::u16string_view profile;
};

// Rows show by name in test listings.
void PrintTo(const TLogCase& row, std::ostream* out) {
  *out << row.name;
}

class WholeLogTest : public ::testing::TestWithParam<TLogCase> {
 protected:
  registry::store::MemoryStore store_;
  registry::store::ScopedCurrentStore current_{store_};
};

TEST_P(WholeLogTest, MatchesTheExpectedLog) {
  const TLogCase& c = GetParam();
  regfile::LoadRegTextFile(FromUtf8(test::ProfileFixture(c.regFile)), store_);
  TRecordingLog log;
  TProfileAnalysis analysis(log);
  analysis.Analyse(c.tree, c.profile);
  EXPECT_TRUE(SameLog(test::ReadProfileLog(c.expectedFile), log.lines));
  EXPECT_EQ(0u, store_.OpenHandleCount());
}

TEST_P(WholeLogTest, SecondRunGivesTheSameLog) {
  const TLogCase& c = GetParam();
  regfile::LoadRegTextFile(FromUtf8(test::ProfileFixture(c.regFile)), store_);
  TRecordingLog first;
  TRecordingLog second;
  TProfileAnalysis analysis(first);
  analysis.Analyse(c.tree, c.profile);
  const int records = analysis.RegKeysList->Count();
  TProfileAnalysis again(second);
  again.Analyse(c.tree, c.profile);
  again.Analyse(c.tree, c.profile);
  // The second run keeps nothing of the first: the lists hold one run's records.
  EXPECT_EQ(records, again.RegKeysList->Count());
  const Lines oneRun(second.lines.begin(), second.lines.begin() + first.lines.size());
  const Lines twoRuns(second.lines.begin() + first.lines.size(), second.lines.end());
  EXPECT_TRUE(SameLog(first.lines, oneRun));
  EXPECT_TRUE(SameLog(first.lines, twoRuns));
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, WholeLogTest,
    ::testing::Values(
        TLogCase{"Healthy", "healthy.reg", "healthy.expected.txt", kOfficeTree, u"Outlook"},
        TLogCase{"Damaged", "damaged.reg", "damaged.expected.txt", kMessagingTree, u"Kaputt"},
        TLogCase{"WithoutSections", "new.reg", "new.expected.txt", kOfficeTree, u"Neu"},
        TLogCase{"UnlistedAccounts", "accounts.reg", "accounts.expected.txt", kOfficeTree,
                 u"Konten"}),
    [](const ::testing::TestParamInfo<TLogCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::profile
