#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

#include "app/MainDlg.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "regfile/RegText.h"
#include "support/Environment.h"
#include "support/StoreFixture.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

using registry::store::REG_BINARY;
using registry::store::REG_DWORD;
using registry::store::REG_SZ;
using test::Utf16Bytes;

constexpr std::u16string_view kOfficeOutlook = u"Software\\Microsoft\\Office\\16.0\\Outlook";
const std::u16string kOfficeTree = std::u16string(kOfficeOutlook) + u"\\Profiles";

class MainDlgTest : public test::StoreFixture {
 protected:
  // The version is given, as a front end's option does, so no detection runs.
  void SetUp() override { dlg_.cOutlookVersion = u"16"; }

  void Load(const char* fixture) {
    regfile::LoadRegTextFile(
        platform::FromUtf8(std::string(BRINDEL_FIXTURES) + "/profiles/" + fixture), store_);
  }
  void Profile(std::u16string_view name) { MakeKey(kOfficeTree + u"\\" + std::u16string(name)); }

  // Creation, showing and the posted start message, as a front end runs them.
  void Start() {
    dlg_.FormCreate(u"/home/anna/Dokumente");
    dlg_.FormShow();
    view_.RunPosted();
  }
  void Choose(int index) {
    view_.SelectProfile(index);
    dlg_.cbProfilesChange();
  }

  test::FakeMainView view_;
  TMainDlg dlg_{view_};
};

TEST_F(MainDlgTest, NoProfileShowsTheInformationOnce) {
  Start();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(u"Es konnte kein Profil ermittelt werden!", view_.messages[0].text);
  EXPECT_EQ(TMsgDlgType::mtInformation, view_.messages[0].kind);
  EXPECT_TRUE(view_.items.empty());
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_EQ(TMainState::NoProfile, dlg_.State());
}

TEST_F(MainDlgTest, OneProfileIsSelectedAtStart) {
  Profile(u"Outlook");
  Start();
  EXPECT_EQ(std::vector<std::u16string>{u"Outlook"}, view_.items);
  EXPECT_EQ(0, view_.selected);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(TMainState::Ready, dlg_.State());
}

TEST_F(MainDlgTest, TwoProfilesWaitForAChoiceEvenWithADefault) {
  Profile(u"Outlook");
  Profile(u"Zweit");
  Put(kOfficeTree, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Zweit"));
  Start();
  EXPECT_EQ((std::vector<std::u16string>{u"Outlook", u"Zweit (Standard)"}), view_.items);
  EXPECT_EQ(-1, view_.selected);
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_EQ(TMainState::Choosing, dlg_.State());
  Choose(1);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_EQ(TMainState::Ready, dlg_.State());
}

TEST_F(MainDlgTest, DefaultProfileIsComparedWithLetterCase) {
  Profile(u"Outlook");
  Profile(u"Zweit");
  Put(kOfficeOutlook, u"DefaultProfile", REG_SZ, Utf16Bytes(u"outlook"));
  Start();
  EXPECT_EQ((std::vector<std::u16string>{u"Outlook", u"Zweit"}), view_.items);
}

TEST_F(MainDlgTest, DefaultProfileOfCurrentOutlookIsFoundAboveTheTree) {
  Profile(u"Outlook");
  Profile(u"Zweit");
  Put(kOfficeOutlook, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Outlook"));
  Start();
  EXPECT_EQ((std::vector<std::u16string>{u"Outlook (Standard)", u"Zweit"}), view_.items);
}

TEST_F(MainDlgTest, DefaultProfileOfWrongKindEndsTheStartUpWithAnErrorBox) {
  Profile(u"Outlook");
  Put(kOfficeTree, u"DefaultProfile", REG_DWORD, test::DwordBytes(1));
  Start();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(u"Ungültiger Datentyp für 'DefaultProfile'", view_.messages[0].text);
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_EQ(u"Fehler", MsgDlgCaption(view_.messages[0].kind));
  EXPECT_EQ(-1, view_.selected);
  EXPECT_FALSE(view_.startEnabled);
}

// A profile tree given by the front end (--profiles-tree): the default profile is the
// one that tree names, and another tree's value, even of the wrong type, is not read.
TEST_F(MainDlgTest, NamedProfileTreeMarksItsOwnDefault) {
  const std::u16string named = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
  for (const auto* name : {u"Eins", u"Zwei"})
    MakeKey(named + u"\\" + name);
  Put(named, u"DefaultProfile", REG_SZ, Utf16Bytes(u"Zwei"));
  // Without a version the tree would be the Windows Messaging Subsystem's.
  Put(u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles",
      u"DefaultProfile", REG_DWORD, test::DwordBytes(1));
  dlg_.cProfilesTree = named;
  Start();
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ((std::vector<std::u16string>{u"Eins", u"Zwei (Standard)"}), view_.items);
}

TEST_F(MainDlgTest, DisplayFormInTheBoxRawNameInTheLog) {
  Profile(u"Büro[|u1");
  Start();
  EXPECT_EQ(std::vector<std::u16string>{u"Büro\\1"}, view_.items);
  dlg_.btnStartClick();
  ASSERT_GE(view_.log.size(), 2u);
  EXPECT_EQ(u"Auslesen des Profils \"Büro[|u1\"", view_.log[1]);
  EXPECT_EQ(u"Büro[|u1", dlg_.TavixFiles->ProfilName);
}

TEST_F(MainDlgTest, AuslesenTwiceGivesTheSameLogAndEnablesLoeschen) {
  Load("healthy.reg");
  Load("new.reg");
  Start();
  EXPECT_EQ((std::vector<std::u16string>{u"Neu", u"Outlook (Standard)"}), view_.items);
  Choose(1);
  dlg_.btnStartClick();
  const std::vector<std::u16string> first = view_.log;
  EXPECT_EQ(u"Auslesen des Profils \"Outlook\"", first.at(1));
  EXPECT_TRUE(view_.deleteEnabled);
  EXPECT_EQ(TMainState::Analysed, dlg_.State());
  dlg_.btnStartClick();
  EXPECT_EQ(first, view_.log);
  EXPECT_EQ(kOfficeTree + u"\\Outlook", dlg_.Analysis.ProfileTree);
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(MainDlgTest, ErrorInAuslesenShowsTheBoxAndKeepsLoeschenDisabled) {
  Load("healthy.reg");
  Start();
  dlg_.btnStartClick();
  ASSERT_TRUE(view_.deleteEnabled);
  // A text value where the analysis reads a list of ids.
  Put(kOfficeTree + u"\\Outlook\\9207f3e0a3b11019908b08002b2a56c2", u"01023d01", REG_SZ,
      Utf16Bytes(u"kaputt"));
  dlg_.btnStartClick();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(u"Ungültiger Datentyp für '01023d01'", view_.messages[0].text);
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_EQ(u"Auslesen der Adressbuch-Provider 01023d01:", view_.log.back());
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_NE(TMainState::Analysed, dlg_.State());
  // The handler has ended: the next one runs.
  Put(kOfficeTree + u"\\Outlook\\9207f3e0a3b11019908b08002b2a56c2", u"01023d01", REG_BINARY, {});
  dlg_.btnStartClick();
  EXPECT_TRUE(view_.deleteEnabled);
}

// A window asks the flow whether a handler runs: until its error box is closed, the
// handler that shows it still does, and a click let through then starts nothing.
TEST_F(MainDlgTest, TheErrorBoxStillBelongsToItsHandler) {
  Load("healthy.reg");
  Start();
  Put(kOfficeTree + u"\\Outlook\\9207f3e0a3b11019908b08002b2a56c2", u"01023d01", REG_SZ,
      Utf16Bytes(u"kaputt"));
  int boxes = 0;
  bool busyDuringBox = false;
  view_.onShowMessage = [&] {
    if (++boxes > 1)
      return;
    busyDuringBox = dlg_.Busy();
    dlg_.btnStartClick();
  };
  EXPECT_FALSE(dlg_.Analyse());
  EXPECT_TRUE(busyDuringBox);
  EXPECT_EQ(1, boxes) << "the click during the box analysed again";
  EXPECT_FALSE(dlg_.Busy());
}

TEST_F(MainDlgTest, SelectionChangeClearsTheLogAndLeavesLoeschen) {
  Load("healthy.reg");
  Load("new.reg");
  Start();
  Choose(1);
  dlg_.btnStartClick();
  Choose(0);
  EXPECT_TRUE(view_.log.empty());
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_TRUE(view_.deleteEnabled);
  // "Löschen" still belongs to the profile last read.
  EXPECT_EQ(u"Outlook", dlg_.TavixFiles->ProfilName);
}

// --- Choosing a profile by name -----------------------------------------------------

struct TSelectCase {
  const char* name;
  std::u16string_view given;
  int selected;  // -1: refused
};

void PrintTo(const TSelectCase& row, std::ostream* out) {
  *out << row.name;
}

class SelectProfileTest : public MainDlgTest, public ::testing::WithParamInterface<TSelectCase> {};

// The command line names a profile: it is matched as the registry matches key names,
// and chosen as the user would choose it in the box.
TEST_P(SelectProfileTest, MatchesAsTheRegistryDoes) {
  Profile(u"Büro");
  Profile(u"Outlook");
  Start();
  view_.log = {u"vom letzten Mal"};
  EXPECT_EQ(GetParam().selected >= 0, dlg_.SelectProfile(GetParam().given));
  EXPECT_EQ(GetParam().selected, view_.selected);
  if (GetParam().selected < 0) {
    ASSERT_EQ(1u, view_.messages.size());
    EXPECT_EQ(u"Ein Profil „" + std::u16string(GetParam().given) + u"“ gibt es in " + kOfficeTree +
                  u" nicht.",
              view_.messages[0].text);
    EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
    EXPECT_FALSE(view_.startEnabled);
    EXPECT_EQ(nullptr, dlg_.SelectedProfile());
    return;
  }
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_TRUE(view_.log.empty()) << "a change of the selection clears the log";
  EXPECT_EQ(TMainState::Ready, dlg_.State());
  ASSERT_NE(nullptr, dlg_.SelectedProfile());
  EXPECT_EQ(dlg_.StrList[GetParam().selected].ProfilName, dlg_.SelectedProfile()->ProfilName);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SelectProfileTest,
    ::testing::Values(TSelectCase{"Exact", u"Outlook", 1}, TSelectCase{"LowerCase", u"outlook", 1},
                      TSelectCase{"UmlautInCapitals", u"BÜRO", 0},
                      TSelectCase{"MixedCase", u"bÜrO", 0}, TSelectCase{"Unknown", u"Privat", -1},
                      TSelectCase{"Part", u"Outloo", -1}, TSelectCase{"Empty", u"", -1}),
    [](const ::testing::TestParamInfo<TSelectCase>& row) { return std::string(row.param.name); });

// A registry keeps one of two names that differ only in case; a list that holds both
// (made here by hand) gives the exact spelling, whichever comes first.
TEST_F(MainDlgTest, TheExactSpellingWinsOverAnotherCase) {
  for (const auto* name : {u"OUTLOOK", u"Outlook", u"outlook"}) {
    auto record = std::make_unique<profile::TTavixFiles>();
    record->ProfilName = name;
    dlg_.StrList.Add(std::move(record));
  }
  EXPECT_EQ(1, dlg_.FindProfile(u"Outlook"));
  EXPECT_EQ(2, dlg_.FindProfile(u"outlook"));
  EXPECT_EQ(0, dlg_.FindProfile(u"OutLook"));
  EXPECT_EQ(-1, dlg_.FindProfile(u"Outlook2"));
}

TEST_F(MainDlgTest, NoChoiceWhileAHandlerRuns) {
  Load("healthy.reg");
  Load("new.reg");
  Start();
  dlg_.SelectProfile(u"Outlook");
  dlg_.btnStartClick();
  bool chosen = true;
  view_.onProcessMessages = [&] { chosen = dlg_.SelectProfile(u"Neu"); };
  dlg_.btnDeleteClick();
  EXPECT_FALSE(chosen);
  EXPECT_EQ(1, view_.selected);
}

TEST_F(MainDlgTest, BackgroundClickReleasesTheListsAndLoeschenWithThem) {
  Load("healthy.reg");
  Start();
  dlg_.btnStartClick();
  dlg_.FormClick();
  EXPECT_FALSE(dlg_.Analysis.bListsCreated);
  EXPECT_FALSE(view_.deleteEnabled);
  EXPECT_TRUE(view_.startEnabled);
  dlg_.Panel1Click();
  dlg_.FormClick();
  EXPECT_TRUE(view_.messages.empty());
}

// A path written with "|" where the system's path delimiter stands.
std::u16string Native(std::u16string_view path) {
  std::u16string native(path);
  std::replace(native.begin(), native.end(), u'|', platform::kPathDelimiter);
  return native;
}

TEST_F(MainDlgTest, BackupFolderIsBelowTheDocumentsFolder) {
  dlg_.FormCreate(Native(u"  |home|anna|Dokumente "));
  EXPECT_EQ(u"Backupordner: ", view_.caption);
  dlg_.FormShow();
  EXPECT_EQ(Native(u"|home|anna|Dokumente|Brindel|"), dlg_.cBackupFolder);
  EXPECT_EQ(Native(u"|home|anna|Dokumente|Brindel|"), view_.caption);
  dlg_.lblBackupFolderClick();
  EXPECT_EQ(std::vector<std::u16string>{Native(u"|home|anna|Dokumente|Brindel|")}, view_.opened);
}

TEST_F(MainDlgTest, UnknownDocumentsFolderGivesARelativeBackupFolder) {
  dlg_.FormCreate(u"");
  dlg_.FormShow();
  EXPECT_EQ(Native(u"Brindel|"), view_.caption);
}

TEST_F(MainDlgTest, StartMessageWaitsForTheEventLoop) {
  Profile(u"Outlook");
  dlg_.FormCreate(u"/tmp");
  dlg_.FormShow();
  EXPECT_EQ(1u, view_.posted.size());
  EXPECT_TRUE(view_.items.empty());
  EXPECT_EQ(TMainState::Starting, dlg_.State());
  view_.RunPosted();
  EXPECT_EQ(1u, view_.items.size());
}

// --- ExpandPath -------------------------------------------------------------------

struct TPathCase {
  const char* name;
  std::u16string_view path;
  bool trailing;
  std::u16string_view expected;
};

// Rows show by name in test listings.
void PrintTo(const TPathCase& row, std::ostream* out) {
  *out << row.name;
}

class ExpandPathTest : public ::testing::TestWithParam<TPathCase> {
 protected:
  test::ScopedEnv docs_{"BRINDEL_TEST_DOCS", platform::ToUtf8(Native(u"|srv|docs")).c_str()};
};

TEST_P(ExpandPathTest, TrimsExpandsAndEnds) {
  EXPECT_EQ(Native(GetParam().expected), ExpandPath(Native(GetParam().path), GetParam().trailing));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExpandPathTest,
    ::testing::Values(TPathCase{"Trimmed", u" \t|home|a \r\n", false, u"|home|a"},
                      TPathCase{"DelimiterAdded", u"|home|a", true, u"|home|a|"},
                      TPathCase{"DelimiterNotDoubled", u"|home|a|", true, u"|home|a|"},
                      TPathCase{"EmptyStaysEmpty", u"   ", true, u""},
                      TPathCase{"Expanded", u"%BRINDEL_TEST_DOCS%|x", true, u"|srv|docs|x|"},
                      TPathCase{"UnknownStays", u"%BRINDEL_NOT_SET%|x", false,
                                u"%BRINDEL_NOT_SET%|x"}),
    [](const ::testing::TestParamInfo<TPathCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::app
