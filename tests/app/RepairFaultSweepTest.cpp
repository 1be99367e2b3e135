// "Löschen" with one store operation failing, for every operation it makes: the
// backup's reads, the repair's reads, writes and deletions, and the flush. The
// memory store has no transactions, as the live registry has none: a repair that
// fails half-way leaves what it did. What must hold every time is that the failure
// is shown and nothing is reported as done, that the backups hold the profile as it
// was, that every change made is named in the log, and that nothing is lost: further
// runs end where runs without a failure end.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "registry/store/MemoryStore.h"
#include "support/Files.h"
#include "support/SameLog.h"
#include "support/TreeDump.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;
using platform::FromUtf8;
using platform::ToUtf8;
using registry::store::HKEY_CURRENT_USER;
using registry::store::MemoryStore;

constexpr std::u16string_view kBackupFailed =
    u"Daten können NICHT gelöscht werden, da das Anlegen eines Backups fehlschlug";
// An I/O failure of the registry: a failure, not one of the refusals (access denied,
// not found) that the repair takes as answers.
constexpr registry::store::LSTATUS kRegistryIoFailed = 1016;

// A registry tree as keys, each with its values as "type:hex" by name.
using TTree = std::map<std::string, std::map<std::string, std::string>>;

TTree ReadTree(MemoryStore& store) {
  TTree tree;
  std::istringstream lines(test::Dump(store));
  std::string line;
  std::string key;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.front() == '[') {
      key = line.substr(1, line.find(']') - 1);
      tree[key];
    } else {
      const auto equals = line.find('=');
      tree[key][line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return tree;
}

// The 32-digit section ids of a REG_BINARY list value as TreeDump writes it.
std::vector<std::string> IdsOf(const std::string& typeAndHex) {
  std::string digits;
  for (char c : typeAndHex.substr(typeAndHex.find(':') + 1)) {
    if (c != ',')
      digits += c;
  }
  std::vector<std::string> ids;
  for (std::size_t i = 0; i + 32 <= digits.size(); i += 32)
    ids.push_back(digits.substr(i, 32));
  return ids;
}

bool LogNames(const std::vector<std::u16string>& log, const std::string& text) {
  const std::u16string wanted = platform::AsciiLowerCase(FromUtf8(text));
  for (const auto& line : log) {
    if (platform::AsciiLowerCase(line).find(wanted) != std::u16string::npos)
      return true;
  }
  return false;
}

// Every difference between the trees is a key the log names, or a section id the log
// names that left a list value, or a list value created empty.
::testing::AssertionResult ChangesNamedInLog(const TTree& before, const TTree& after,
                                             const std::vector<std::u16string>& log) {
  for (const auto& [key, values] : before) {
    const auto now = after.find(key);
    if (now == after.end()) {
      const std::string name = key.substr(key.rfind('\\') + 1);
      if (!LogNames(log, name))
        return ::testing::AssertionFailure() << "deleted without a log line: " << key;
      continue;
    }
    for (const auto& [name, data] : now->second) {
      const auto old = values.find(name);
      if (old == values.end()) {
        if (IdsOf(data).empty())
          continue;
        return ::testing::AssertionFailure() << "value made: " << key << " " << name;
      }
      if (old->second == data)
        continue;
      std::vector<std::string> left = IdsOf(data);
      for (const std::string& id : IdsOf(old->second)) {
        const auto kept = std::find(left.begin(), left.end(), id);
        if (kept != left.end()) {
          left.erase(kept);
        } else if (!LogNames(log, id)) {
          return ::testing::AssertionFailure()
                 << "id " << id << " left " << key << " " << name << " without a log line";
        }
      }
      if (!left.empty())
        return ::testing::AssertionFailure() << "ids added to " << key << " " << name;
    }
    for (const auto& [name, data] : values) {
      if (!now->second.count(name))
        return ::testing::AssertionFailure() << "value deleted: " << key << " " << name;
    }
  }
  for (const auto& [key, values] : after) {
    if (!before.count(key))
      return ::testing::AssertionFailure() << "key made: " << key;
  }
  return ::testing::AssertionSuccess();
}

struct TSweepCase {
  const char* name;
  const char* regFile;
  std::u16string_view tree;
  std::u16string_view profile;
};

void PrintTo(const TSweepCase& row, std::ostream* out) {
  *out << row.name;
}

// One flow object over its own store and its own documents folder, as a run of the
// program has them.
class TSweepRun {
 public:
  TSweepRun(const TSweepCase& Case, fs::path Documents)
      : case_(Case), documents_(std::move(Documents)) {
    fs::create_directories(documents_);
    regfile::LoadRegTextFile(FromUtf8(test::ProfileFixture(Case.regFile)), store_);
    dlg_.cProfilesTree = std::u16string(Case.tree);
    dlg_.FormCreate(FromUtf8(documents_.string()));
    dlg_.FormShow();
    view_.RunPosted();
    for (int i = 0; i < dlg_.StrList.Count(); ++i) {
      if (dlg_.StrList[i].ProfilName == Case.profile) {
        view_.SelectProfile(i);
        dlg_.cbProfilesChange();
      }
    }
  }

  // "Auslesen", then "Löschen" with the given operation of "Löschen" failing
  // (0: none). Returns the number of operations "Löschen" made.
  std::uint64_t AnalyseAndDelete(std::uint64_t failing) {
    dlg_.btnStartClick();
    EXPECT_EQ(TMainState::Analysed, dlg_.State());
    view_.messages.clear();
    store_.FailOperation(failing, failing == 0 ? 0 : kRegistryIoFailed);
    dlg_.btnDeleteClick();
    const std::uint64_t operations = store_.OperationCount();
    store_.FailOperation(0, 0);
    return operations;
  }

  // Runs without failures until a run changes nothing more: the repair may leave
  // work that only the next "Auslesen" sees.
  TTree RepairToTheEnd() {
    TTree tree = ReadTree(store_);
    for (int run = 0; run < 5; ++run) {
      AnalyseAndDelete(0);
      EXPECT_TRUE(view_.messages.empty());
      TTree next = ReadTree(store_);
      if (next == tree)
        return tree;
      tree = std::move(next);
    }
    ADD_FAILURE() << "the repair never ends";
    return tree;
  }

  std::string ProfileExport() {
    regfile::TExRegistry reg(registry::store::KEY_READ);
    reg.UseRoot(HKEY_CURRENT_USER);
    EXPECT_TRUE(reg.Open(dlg_.Analysis.ProfileTree, false));
    std::unique_ptr<regfile::TMemoryStream> stream;
    EXPECT_TRUE(reg.ExportKey(u"", true, stream));
    return stream ? std::string(stream->Bytes()) : std::string();
  }

  std::optional<std::string> File(std::string_view suffix) const {
    const fs::path file = documents_ / "Brindel" / (ToUtf8(case_.profile) + std::string(suffix));
    if (!fs::exists(file))
      return std::nullopt;
    return test::ReadWholeFile(file);
  }

  MemoryStore store_;
  registry::store::ScopedCurrentStore current_{store_};
  test::FakeMainView view_;
  TMainDlg dlg_{view_};

 private:
  const TSweepCase& case_;
  fs::path documents_;
};

class RepairFaultSweepTest : public ::testing::TestWithParam<TSweepCase> {
 protected:
  void SetUp() override {
#ifdef __linux__
    // Every run syncs its backup files; on the RAM disk the hundreds of runs do not
    // wait for a disk.
    char pattern[] = "/dev/shm/brindel-sweep-XXXXXX";
    if (::mkdtemp(pattern) != nullptr)
      temp_ = pattern;
#endif
    if (temp_.empty()) {
      const auto folder = platform::MakeTemporaryFolder("brindel-sweep-");
      ASSERT_TRUE(folder.has_value());
      temp_ = fs::path(FromUtf8(*folder));
    }
  }
  void TearDown() override {
    fs::remove_all(temp_);
  }

  fs::path temp_;
};

TEST_P(RepairFaultSweepTest, EveryFailingOperationIsShownAndLosesNothing) {
  // The run without a failure: how many operations "Löschen" makes, and where
  // repairing ends.
  TSweepRun clean(GetParam(), temp_ / "clean");
  clean.dlg_.btnStartClick();
  const std::string untouched = clean.ProfileExport();
  const TTree before = ReadTree(clean.store_);
  const std::uint64_t operations = clean.AnalyseAndDelete(0);
  ASSERT_TRUE(clean.view_.messages.empty());
  ASSERT_EQ(TMainState::Repaired, clean.dlg_.State());
  const TTree end = clean.RepairToTheEnd();
  ASSERT_GT(operations, 0u);

  int backupFailures = 0;
  int repairFailures = 0;
  for (std::uint64_t failing = 1; failing <= operations; ++failing) {
    SCOPED_TRACE("operation " + std::to_string(failing) + " of " + std::to_string(operations));
    TSweepRun run(GetParam(), temp_ / std::to_string(failing));
    run.AnalyseAndDelete(failing);
    const auto& messages = run.view_.messages;
    ASSERT_EQ(1u, messages.size()) << "no failure shown";
    EXPECT_NE(TMainState::Repaired, run.dlg_.State());
    EXPECT_FALSE(run.File(".log").has_value()) << "the log was saved as if it had worked";
    const TTree after = ReadTree(run.store_);
    if (messages[0].text == kBackupFailed) {
      ++backupFailures;
      EXPECT_EQ(TMsgDlgType::mtInformation, messages[0].kind);
      EXPECT_EQ(before, after) << "changed after a failed backup";
      EXPECT_FALSE(run.File(".reg").has_value());
      EXPECT_FALSE(run.File("-original.reg").has_value());
      EXPECT_EQ(TMainState::Analysed, run.dlg_.State());
    } else {
      ++repairFailures;
      EXPECT_EQ(TMsgDlgType::mtError, messages[0].kind) << ToUtf8(messages[0].text);
      EXPECT_EQ(untouched, run.File(".reg")) << "the backup is not the profile as it was";
      EXPECT_EQ(untouched, run.File("-original.reg"));
      EXPECT_TRUE(ChangesNamedInLog(before, after, run.view_.log));
    }
    // Nothing was lost: running again ends where runs without a failure end, and the
    // first backup still holds the profile as it was.
    if (after != before) {
      EXPECT_EQ(end, run.RepairToTheEnd());
    }
    EXPECT_EQ(untouched, run.File("-original.reg").value_or(untouched));
    if (HasFailure())
      break;
  }
  EXPECT_GT(backupFailures, 0);
  EXPECT_GT(repairFailures, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, RepairFaultSweepTest,
    ::testing::Values(TSweepCase{"Damaged", "damaged.reg",
                                 u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows "
                                 u"Messaging Subsystem\\Profiles",
                                 u"Kaputt"},
                      TSweepCase{"UnlistedAccounts", "accounts.reg",
                                 u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles",
                                 u"Konten"}),
    [](const ::testing::TestParamInfo<TSweepCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::app
