// The map beside the log, as the flow hands it to the view: made by "Auslesen" from
// the findings, turned into the state after the repair once the repair is in the
// registry, kept where nothing changed the profile, and taken away where the profile
// may have changed in a way the map does not know.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/MainDlg.h"
#include "app/RegistrySource.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "profile/Findings.h"
#include "profile/ProfileMap.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "support/NamedRows.h"
#include "support/StoreFixture.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;
using platform::FromUtf8;
using registry::store::HKEY_CURRENT_USER;
using test::PrintTo;
using test::RowName;

constexpr std::u16string_view kTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kProviders = u"\\9207f3e0a3b11019908b08002b2a56c2";

// A registry that keeps its changes until they are written, as a hive does: what the
// flow forgets counts as forgotten.
class ForgettingSession : public TStoreSession {
 public:
  std::u16string Flush() override { return {}; }
  std::u16string Commit() override { return {}; }
  void Discard() override { ++discards; }
  bool CanDiscard() const override { return true; }

  int discards = 0;
};

// The demo's two profiles, "Büro" (damaged) read, in a documents folder of the
// test's own.
class ProfileMapFlowTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    const std::string_view demo = DemoRegistryText();
    regfile::LoadRegText(std::span(reinterpret_cast<const std::uint8_t*>(demo.data()), demo.size()),
                         store_);
    temp_ = fs::path(FromUtf8(*platform::MakeTemporaryFolder("brindel-map-flow-")));
    dlg_.cOutlookVersion = u"16";
    dlg_.FormCreate(FromUtf8(temp_.string()));
    dlg_.FormShow();
    view_.RunPosted();
  }
  void TearDown() override { fs::remove_all(temp_); }

  // "Auslesen" of a profile; the text of the map it showed.
  std::u16string Read(std::u16string_view profile) {
    EXPECT_TRUE(dlg_.SelectProfile(profile));
    EXPECT_TRUE(dlg_.Analyse());
    EXPECT_TRUE(view_.map.has_value());
    return view_.map ? profile::ProfileMapText(*view_.map) : u"";
  }
  // The profile's tree as a .reg file beside the backups, to restore from.
  std::u16string SavedAs(std::u16string_view profile, const std::string& file) {
    regfile::TExRegistry reg(registry::store::KEY_READ);
    EXPECT_TRUE(reg.Open(std::u16string(kTree) + u"\\" + std::u16string(profile), false));
    std::unique_ptr<regfile::TMemoryStream> stream;
    EXPECT_TRUE(reg.ExportKey(u"", true, stream));
    const fs::path path = temp_ / file;
    std::ofstream(path, std::ios::binary) << (stream ? std::string(stream->Bytes()) : "");
    return FromUtf8(path.string());
  }

  fs::path temp_;
  test::FakeMainView view_;
  TMainDlg dlg_{view_};
  ForgettingSession forgetting_;
};

TEST_F(ProfileMapFlowTest, AuslesenShowsTheMapOfWhatItFound) {
  ASSERT_FALSE(view_.map.has_value()) << "nothing read yet";
  const std::u16string shown = Read(u"Büro");
  // The same map as the findings of the lists give, made while they exist.
  EXPECT_EQ(profile::ProfileMapText(
                profile::BuildProfileMap(dlg_.Analysis, profile::CollectFindings(dlg_.Analysis))),
            shown);
  EXPECT_EQ(u"Profil „Büro“", view_.map->Root.Text);
  EXPECT_FALSE(view_.map->Repaired);
  EXPECT_GT(view_.map->Counts.Deleted, 0);
  ASSERT_TRUE(dlg_.ProfileMap.has_value());
  EXPECT_EQ(shown, profile::ProfileMapText(*dlg_.ProfileMap));
  // Another profile read replaces it.
  EXPECT_EQ(u"Profil „Outlook“", (Read(u"Outlook"), view_.map->Root.Text));
}

// A map of the profile before must not stand beside a report that ended half-way.
TEST_F(ProfileMapFlowTest, AnAuslesenThatFailsLeavesNoMap) {
  Read(u"Büro");
  Put(std::u16string(kTree) + u"\\Büro" + std::u16string(kProviders), u"01023d01",
      registry::store::REG_SZ, test::Utf16Bytes(u"kaputt"));
  EXPECT_FALSE(dlg_.Analyse());
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_FALSE(view_.map.has_value());
  EXPECT_FALSE(dlg_.ProfileMap.has_value());
}

// What the map page shows after an action, next to the map "Auslesen" showed.
enum class TMapAfter {
  AsRead,    // the map of "Auslesen", unchanged
  Repaired,  // the same map after the repair, with what was done
  None,      // no map: the profile may have changed
};

class MapAfterActionTest;

struct TMapCase {
  const char* name;
  std::function<void(MapAfterActionTest&, TMainDlg&, registry::store::MemoryStore&)> act;
  TMapAfter after;
};

class MapAfterActionTest : public ProfileMapFlowTest,
                           public ::testing::WithParamInterface<TMapCase> {
 public:
  std::u16string SavedFile(std::u16string_view profile) {
    return SavedAs(profile, "gesichert.reg");
  }
  const fs::path& Temp() const { return temp_; }
  ForgettingSession& Forgetting() { return forgetting_; }
};

TEST_P(MapAfterActionTest, ShowsWhatTheRegistryHolds) {
  const std::u16string read = Read(u"Büro");
  const profile::TProfileMap map = *view_.map;
  GetParam().act(*this, dlg_, store_);
  switch (GetParam().after) {
    case TMapAfter::AsRead:
      ASSERT_TRUE(view_.map.has_value());
      EXPECT_EQ(read, profile::ProfileMapText(*view_.map));
      break;
    case TMapAfter::Repaired:
      ASSERT_TRUE(view_.map.has_value());
      EXPECT_TRUE(view_.map->Repaired);
      EXPECT_EQ(profile::ProfileMapText(profile::RepairedProfileMap(map)),
                profile::ProfileMapText(*view_.map));
      break;
    case TMapAfter::None:
      EXPECT_FALSE(view_.map.has_value());
      break;
  }
  // The flow keeps what the view shows.
  ASSERT_EQ(view_.map.has_value(), dlg_.ProfileMap.has_value());
  if (view_.map) {
    EXPECT_EQ(profile::ProfileMapText(*view_.map), profile::ProfileMapText(*dlg_.ProfileMap));
  }
}

// A section whose list value cannot be written: the repair ends after deleting the
// unused sections.
void RefuseTheProviderList(registry::store::MemoryStore& Store) {
  ASSERT_TRUE(Store.InjectFault(
      HKEY_CURRENT_USER, std::u16string(kTree) + u"\\Büro" + std::u16string(kProviders),
      registry::store::MemoryStore::Operation::SetValue, registry::store::ERROR_ACCESS_DENIED));
}

INSTANTIATE_TEST_SUITE_P(
    Actions, MapAfterActionTest,
    ::testing::Values(
        TMapCase{"RepairDone", [](auto&, TMainDlg& Dlg, auto&) { EXPECT_TRUE(Dlg.Repair()); },
                 TMapAfter::Repaired},
        TMapCase{"BackupFailed",
                 [](MapAfterActionTest& Test, TMainDlg& Dlg, auto&) {
                   // A file where the backup folder should be.
                   std::ofstream(Test.Temp() / "Brindel").put('x');
                   EXPECT_FALSE(Dlg.Repair());
                 },
                 TMapAfter::AsRead},
        TMapCase{"RepairRefusedOnAReadOnlyRegistry",
                 [](auto&, TMainDlg& Dlg, auto&) {
                   Dlg.cReadOnlyReason = u"Die Registry ist nur zum Lesen geöffnet.";
                   EXPECT_FALSE(Dlg.Repair());
                 },
                 TMapAfter::AsRead},
        TMapCase{"RepairEndedAndForgotten",
                 [](MapAfterActionTest& Test, TMainDlg& Dlg, registry::store::MemoryStore& Store) {
                   Dlg.cStoreSession = &Test.Forgetting();
                   RefuseTheProviderList(Store);
                   EXPECT_FALSE(Dlg.Repair());
                   EXPECT_EQ(1, Test.Forgetting().discards);
                 },
                 TMapAfter::AsRead},
        TMapCase{"RepairEndedHalfWayOnARegistryThatCannotForget",
                 [](auto&, TMainDlg& Dlg, registry::store::MemoryStore& Store) {
                   RefuseTheProviderList(Store);
                   EXPECT_FALSE(Dlg.Repair());
                 },
                 TMapAfter::None},
        TMapCase{"AnotherProfileChosen",
                 [](auto&, TMainDlg& Dlg, auto&) { EXPECT_TRUE(Dlg.SelectProfile(u"Outlook")); },
                 TMapAfter::AsRead},
        TMapCase{"ProfileReadRestored",
                 [](MapAfterActionTest& Test, TMainDlg& Dlg, auto&) {
                   EXPECT_TRUE(Dlg.Restore(Test.SavedFile(u"Büro")));
                 },
                 TMapAfter::None},
        TMapCase{"ProfileReadRestoredFromAFileThatIsMissing",
                 [](MapAfterActionTest& Test, TMainDlg& Dlg, auto&) {
                   EXPECT_FALSE(Dlg.Restore(Test.SavedFile(u"Büro") + u".fehlt"));
                 },
                 TMapAfter::None},
        TMapCase{"AnotherProfileRestored",
                 [](MapAfterActionTest& Test, TMainDlg& Dlg, auto&) {
                   EXPECT_TRUE(Dlg.SelectProfile(u"Outlook"));
                   EXPECT_TRUE(Dlg.Restore(Test.SavedFile(u"Outlook")));
                 },
                 TMapAfter::AsRead},
        TMapCase{"RestoreRefusedOnAReadOnlyRegistry",
                 [](MapAfterActionTest& Test, TMainDlg& Dlg, auto&) {
                   const std::u16string file = Test.SavedFile(u"Büro");
                   Dlg.cReadOnlyReason = u"Die Registry ist nur zum Lesen geöffnet.";
                   EXPECT_FALSE(Dlg.Restore(file));
                 },
                 TMapAfter::AsRead}),
    RowName<TMapCase>);

// The state after the repair comes from the findings collected before it: the lists
// are gone by then.
TEST_F(ProfileMapFlowTest, TheRepairedMapNeedsNoLists) {
  Read(u"Büro");
  ASSERT_TRUE(dlg_.Repair());
  EXPECT_FALSE(dlg_.Analysis.bListsCreated);
  ASSERT_TRUE(view_.map.has_value());
  const std::u16string text = profile::ProfileMapText(*view_.map);
  EXPECT_EQ(std::u16string::npos, text.find(u"wird gelöscht"));
  EXPECT_NE(std::u16string::npos, text.find(u"[gelöscht]"));
  EXPECT_NE(std::u16string::npos, text.find(u" vor der Reparatur. Gelöscht: "));
}

}  // namespace
}  // namespace brindel::app
