// The real Win32 window, driven with window messages through the store: start-up,
// "Auslesen", "Löschen", the log that the user may edit, and the clicks around them.

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/SameLog.h"
#include "tests/app/win32/WindowTestSupport.h"

#include <windows.h>

namespace brindel::test {
namespace {

using Lines = std::vector<std::u16string>;

constexpr char16_t kDamagedValue[] = u"\\9207f3e0a3b11019908b08002b2a56c2";

// The place of a control at 96 DPI, in its parent's client area.
struct TLayoutCase {
  const char* name;
  int id;
  TRect place;
  // A drop-down list takes the height of its font; only its place and width are given.
  bool fixedHeight;
};

class MainWindowLayoutTest : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(MainWindowLayoutTest, PlacesTheControl) {
  const TLayoutCase& row = GetParam();
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  EXPECT_EQ((TRect{0, 0, AtScreenDpi(754), AtScreenDpi(623)}), ClientRect(run.Handle()));
  const Window control = run.Find(row.id);
  ASSERT_NE(nullptr, control);
  TRect expected{AtScreenDpi(row.place.left), AtScreenDpi(row.place.top),
                 AtScreenDpi(row.place.width), AtScreenDpi(row.place.height)};
  TRect actual = PlaceInParent(control);
  if (!row.fixedHeight)
    expected.height = actual.height;
  EXPECT_EQ(expected, actual);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, MainWindowLayoutTest,
    ::testing::Values(TLayoutCase{"Panel1", app::win32::kPanel1, {0, 0, 754, 81}, true},
                      TLayoutCase{"cbProfiles", app::win32::kCbProfiles, {24, 23, 297, 21}, false},
                      TLayoutCase{"btnStart", app::win32::kBtnStart, {342, 21, 75, 25}, true},
                      TLayoutCase{"btnDelete", app::win32::kBtnDelete, {423, 21, 75, 25}, true},
                      // The third button after the other two, wider for its caption.
                      TLayoutCase{"btnRestore", app::win32::kBtnRestore, {504, 21, 110, 25}, true},
                      // The tab strip where the report began; as high as its font needs.
                      TLayoutCase{"tabPages", app::win32::kTabPages, {0, 81, 754, 0}, false}),
    [](const auto& row) { return std::string(row.param.name); });

// Below the tab strip, the report and the map each fill the rest of the window.
TEST(MainWindowTest, TheReportAndTheMapFillThePagesBelowTheTabStrip) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  EXPECT_EQ((std::vector<std::u16string>{u"Bericht", u"Profil"}), TabCaptions(run.Tabs()));
  EXPECT_EQ(0, TabSelection(run.Tabs()));
  const TRect strip = PlaceInParent(run.Tabs());
  EXPECT_GT(strip.height, AtScreenDpi(12));
  const int top = strip.top + strip.height;
  const TRect page{0, top, AtScreenDpi(754), AtScreenDpi(623) - top};
  EXPECT_EQ(page, PlaceInParent(run.Memo()));
  EXPECT_EQ(page, PlaceInParent(run.Map()));
  EXPECT_TRUE(Visible(run.Memo()));
  EXPECT_FALSE(Visible(run.Map()));
  EXPECT_EQ(u"SysTabControl32", ClassName(run.Tabs()));
  EXPECT_EQ(u"SysTreeView32", ClassName(run.Map()));
}

TEST(MainWindowTest, ShowsTheCaptionFontsAndTheLogView) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  EXPECT_EQ(u"Brindel 1.1 [170825]", Text(run.Handle()));
  for (Window control : {run.Profiles(), run.StartButton(), run.DeleteButton(), run.RestoreButton(),
                         run.Label(), run.Tabs(), run.Map()}) {
    const TFontInfo font = ControlFont(control);
    EXPECT_EQ(u"Tahoma", font.face);
    EXPECT_EQ(FontHeight(8), font.height);
  }
  EXPECT_EQ(u"Auslesen", ShownCaption(Text(run.StartButton())));
  EXPECT_EQ(u"Löschen", ShownCaption(Text(run.DeleteButton())));
  EXPECT_EQ(u"Wiederherstellen…", ShownCaption(Text(run.RestoreButton())));
  // A list to pick from, without typing, in the order the items were added.
  EXPECT_EQ(static_cast<std::uint32_t>(CBS_DROPDOWNLIST), Style(run.Profiles()) & 3u);
  EXPECT_EQ(0u, Style(run.Profiles()) & CBS_SORT);
  const TFontInfo log = ControlFont(run.Memo());
  EXPECT_EQ(u"Courier New", log.face);
  EXPECT_EQ(FontHeight(10), log.height);
  const std::uint32_t memo = Style(run.Memo());
  EXPECT_NE(0u, memo & ES_MULTILINE);
  EXPECT_EQ(0u, memo & ES_READONLY);
  EXPECT_NE(0u, memo & WS_HSCROLL);
  EXPECT_NE(0u, memo & WS_VSCROLL);
  // The label shows the folder alone, at its place on the panel.
  EXPECT_EQ(run.BackupFolder(), Text(run.Label()));
  const TRect label = PlaceInParent(run.Label());
  EXPECT_EQ(AtScreenDpi(24), label.left);
  EXPECT_EQ(AtScreenDpi(56), label.top);
  EXPECT_NE(0u, Style(run.Label()) & SS_NOTIFY);
}

TEST(MainWindowTest, NoProfileShowsTheInformationOnceAfterTheWindowIsShown) {
  TWindowRun run;
  run.Start();
  ASSERT_EQ(1u, run.user.boxes.size());
  const TShownBox& box = run.user.boxes[0];
  EXPECT_EQ(u"Es konnte kein Profil ermittelt werden!", box.text);
  EXPECT_EQ(u"Informationen", box.title);
  EXPECT_EQ(TBoxIcon::Information, box.icon);
  EXPECT_EQ(Lines{u"OK"}, box.buttons);
  // The start-up ran from the posted message, once the window was on screen.
  EXPECT_TRUE(box.ownerShownAndDisabled);
  EXPECT_TRUE(box.centred);
  EXPECT_TRUE(run.Items().empty());
  EXPECT_FALSE(Enabled(run.StartButton()));
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(Enabled(run.Handle()));
  Pump();
  EXPECT_EQ(1u, run.user.boxes.size());
}

TEST(MainWindowTest, OneProfileIsSelectedAndAuslesenEnabled) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  EXPECT_EQ(Lines{u"Outlook"}, run.Items());
  EXPECT_EQ(0, ComboSelection(run.Profiles()));
  EXPECT_TRUE(Enabled(run.StartButton()));
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(run.user.boxes.empty());
}

TEST(MainWindowTest, TwoProfilesWaitForAChoice) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  EXPECT_EQ((Lines{u"Neu", u"Outlook (Standard)"}), run.Items());
  // Not even the default profile is selected.
  EXPECT_EQ(-1, ComboSelection(run.Profiles()));
  EXPECT_FALSE(Enabled(run.StartButton()));
  run.Choose(1);
  EXPECT_TRUE(Enabled(run.StartButton()));
  EXPECT_FALSE(Enabled(run.DeleteButton()));
}

struct TAuslesenCase {
  const char* name;
  const char* fixture;
  const char16_t* version;
  const char* expected;
};

class AuslesenWindowTest : public ::testing::TestWithParam<TAuslesenCase> {};

TEST_P(AuslesenWindowTest, FillsTheLogAsTheAnalysisWritesIt) {
  const TAuslesenCase& row = GetParam();
  TWindowRun run;
  run.Load(row.fixture);
  run.Start(row.version);
  EXPECT_EQ(0, ComboSelection(run.Profiles()));
  Click(run.StartButton());
  EXPECT_TRUE(SameLog(ReadProfileLog(row.expected), run.ShownLog()));
  EXPECT_TRUE(Enabled(run.DeleteButton()));
  // A second "Auslesen" starts afresh.
  Click(run.StartButton());
  EXPECT_TRUE(SameLog(ReadProfileLog(row.expected), run.ShownLog()));
  EXPECT_TRUE(run.user.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Profiles, AuslesenWindowTest,
                         ::testing::Values(TAuslesenCase{"HealthyOfficeProfile", "healthy.reg",
                                                         u"16", "healthy.expected.txt"},
                                           TAuslesenCase{"DamagedMessagingProfile", "damaged.reg",
                                                         u"14", "damaged.expected.txt"},
                                           TAuslesenCase{"ProfileWithoutSections", "new.reg", u"16",
                                                         "new.expected.txt"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(MainWindowTest, SelectionChangeClearsTheLogAndLeavesLoeschen) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  run.Choose(1);
  Click(run.StartButton());
  const Lines analysis = run.ShownLog();
  ASSERT_FALSE(analysis.empty());
  // Picking the profile that is selected already is no change.
  Notify(run.Profiles(), CBN_SELCHANGE);
  EXPECT_EQ(analysis, run.ShownLog());
  run.Choose(0);
  EXPECT_EQ(u"", Text(run.Memo()));
  EXPECT_TRUE(Enabled(run.StartButton()));
  EXPECT_TRUE(Enabled(run.DeleteButton()));
}

TEST(MainWindowTest, LoeschenSavesTheLogAndDisablesItself) {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  Click(run.StartButton());
  Click(run.DeleteButton());
  EXPECT_TRUE(run.user.boxes.empty());
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(Enabled(run.StartButton()));
  EXPECT_TRUE(run.BackupFileExists(u"Kaputt.reg"));
  EXPECT_TRUE(run.BackupFileExists(u"Kaputt-original.reg"));
  // The log holds the analysis and what the repair did, and the file holds the log.
  const Lines log = run.ShownLog();
  Lines expected = ReadProfileLog("damaged.expected.txt");
  for (std::u16string& line : ReadProfileLog("damaged.repair.txt"))
    expected.push_back(std::move(line));
  EXPECT_TRUE(SameLog(expected, log));
  EXPECT_EQ(SavedLog(log), run.BackupFile(u"Kaputt.log"));
  // The repair removed what the analysis found: an orphan section is gone.
  EXPECT_FALSE(run.KeyExists(kMessagingTree + u"\\Kaputt\\e0000000000000000000000000000001"));
}

TEST(MainWindowTest, TheLogEditedByHandIsWhatTheFileHolds) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  Click(run.StartButton());
  const Lines analysis = run.ShownLog();
  ASSERT_FALSE(analysis.empty());
  // The user writes a note above the report and deletes its first line of asterisks.
  const Window memo = run.Memo();
  SelectText(memo, 0, 0);
  Type(memo, u"Geprüft: Anna");
  Type(memo, u"\r");
  SelectText(memo, LineStart(memo, 1), LineStart(memo, 1) + LineLength(memo, 1));
  PressKey(memo, VK_DELETE);
  PressKey(memo, VK_DELETE);
  Lines edited = analysis;
  edited[0] = u"Geprüft: Anna";
  EXPECT_EQ(edited, run.ShownLog());
  Click(run.DeleteButton());
  EXPECT_TRUE(run.user.boxes.empty());
  const Lines saved = run.ShownLog();
  ASSERT_GT(saved.size(), edited.size());
  EXPECT_EQ(edited,
            Lines(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(edited.size())));
  EXPECT_EQ(SavedLog(saved), run.BackupFile(u"Outlook.log"));
}

TEST(MainWindowTest, TheLogKeepsLongLogsAndEndsATypedLine) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  // More than the 32767 characters an edit control takes unless told otherwise.
  Lines expected;
  for (int i = 0; i < 40; ++i) {
    expected.push_back(u"Zeile " + platform::FromUtf8(std::to_string(i)) + u" " +
                       std::u16string(1000, u'*'));
    run.Window().AppendLog(expected.back());
  }
  EXPECT_EQ(expected, run.Window().LogLines());
  EXPECT_EQ(expected, run.ShownLog());
  // A line typed after the last line break is ended before the next line is added.
  run.Window().ClearLog();
  run.Window().AppendLog(u"eins");
  const Window memo = run.Memo();
  SelectText(memo, -1, -1);
  Type(memo, u"getippt");
  EXPECT_EQ((Lines{u"eins", u"getippt"}), run.Window().LogLines());
  run.Window().AppendLog(u"");
  run.Window().AppendLog(u"zwei");
  EXPECT_EQ((Lines{u"eins", u"getippt", u"", u"zwei"}), run.Window().LogLines());
  EXPECT_EQ(u"eins\r\ngetippt\r\n\r\nzwei\r\n", Text(memo));
}

TEST(MainWindowTest, FailingBackupShowsTheInformationAndKeepsLoeschen) {
  TWindowRun run;
  run.Load("damaged.reg");
  // A file where the backup folder should be: the backup cannot be written.
  const std::filesystem::path blocker = std::filesystem::path(run.Documents()) / "Brindel";
  { std::ofstream(blocker).put('x'); }
  run.Start(u"14");
  Click(run.StartButton());
  const Lines analysis = run.ShownLog();
  Click(run.DeleteButton());
  ASSERT_EQ(1u, run.user.boxes.size());
  // The fixed text, and why on a second line.
  EXPECT_EQ(
      u"Daten können NICHT gelöscht werden, da das Anlegen eines Backups fehlschlug\n"
      u"An der Stelle des Sicherungsordners „" +
          run.Documents() + u"\\Brindel\\“ steht eine Datei.",
      run.user.boxes[0].text);
  EXPECT_EQ(u"Informationen", run.user.boxes[0].title);
  EXPECT_EQ(TBoxIcon::Information, run.user.boxes[0].icon);
  EXPECT_TRUE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(Enabled(run.StartButton()));
  EXPECT_EQ(analysis, run.ShownLog());
  // Nothing was deleted.
  EXPECT_TRUE(run.KeyExists(kMessagingTree + u"\\Kaputt\\e0000000000000000000000000000001"));
  // Once the way is free, "Löschen" works.
  ASSERT_TRUE(std::filesystem::remove(blocker));
  Click(run.DeleteButton());
  EXPECT_EQ(1u, run.user.boxes.size());
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_FALSE(run.KeyExists(kMessagingTree + u"\\Kaputt\\e0000000000000000000000000000001"));
}

TEST(MainWindowTest, ErrorInAStepShowsTheErrorBoxAndTheWindowStaysUsable) {
  TWindowRun run;
  run.Load("healthy.reg");
  const std::u16string section = kOfficeTree + u"\\Outlook" + kDamagedValue;
  // A text where the analysis reads a list of section ids.
  run.PutText(section, u"01023d01", u"kaputt");
  run.Start();
  Click(run.StartButton());
  ASSERT_EQ(1u, run.user.boxes.size());
  EXPECT_EQ(u"Ungültiger Datentyp für '01023d01'", run.user.boxes[0].text);
  EXPECT_EQ(u"Fehler", run.user.boxes[0].title);
  EXPECT_EQ(TBoxIcon::Error, run.user.boxes[0].icon);
  EXPECT_EQ(Lines{u"OK"}, run.user.boxes[0].buttons);
  EXPECT_TRUE(run.user.boxes[0].ownerShownAndDisabled);
  EXPECT_TRUE(run.user.boxes[0].centred);
  // The log shows how far it got; the window stays open and usable.
  ASSERT_FALSE(run.ShownLog().empty());
  EXPECT_EQ(u"Auslesen der Adressbuch-Provider 01023d01:", run.ShownLog().back());
  EXPECT_TRUE(Visible(run.Handle()));
  EXPECT_TRUE(Enabled(run.Handle()));
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(Enabled(run.StartButton()));
  run.PutBinary(section, u"01023d01", {});
  Click(run.StartButton());
  EXPECT_EQ(1u, run.user.boxes.size());
  EXPECT_TRUE(Enabled(run.DeleteButton()));
}

TEST(MainWindowTest, LoeschenTakesNoSecondAction) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("new.reg");
  run.Start();
  run.Choose(1);
  Click(run.StartButton());
  const Lines analysis = run.ShownLog();
  // What the user does while the backup lets the window handle its messages.
  bool ran = false;
  bool controlsDisabled = false;
  PostCall([&] {
    ran = true;
    controlsDisabled = !Enabled(run.StartButton()) && !Enabled(run.DeleteButton()) &&
                       !Enabled(run.RestoreButton()) && !Enabled(run.Profiles());
    Click(run.StartButton());
    Click(run.DeleteButton());
    Click(run.RestoreButton());
    // Even notifications that reach the window start nothing.
    Notify(run.StartButton(), BN_CLICKED);
    Notify(run.DeleteButton(), BN_CLICKED);
    Notify(run.RestoreButton(), BN_CLICKED);
    SendMessageW(run.Profiles(), CB_SETCURSEL, 0, 0);
    Notify(run.Profiles(), CBN_SELCHANGE);
    SendMessageW(run.Profiles(), CB_SETCURSEL, 1, 0);
    Close(run.Handle());
  });
  Click(run.DeleteButton());
  EXPECT_TRUE(ran);
  EXPECT_TRUE(controlsDisabled);
  EXPECT_TRUE(run.user.boxes.empty());
  EXPECT_TRUE(run.user.restoreDialogs.empty());
  ASSERT_NE(nullptr, run.Handle());
  EXPECT_TRUE(Visible(run.Handle()));
  EXPECT_EQ(1, ComboSelection(run.Profiles()));
  EXPECT_TRUE(Enabled(run.Profiles()));
  EXPECT_EQ(app::TMainState::Repaired, run.Dlg().State());
  const Lines log = run.ShownLog();
  ASSERT_GT(log.size(), analysis.size());
  EXPECT_EQ(analysis,
            Lines(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(analysis.size())));
  EXPECT_EQ(SavedLog(log), run.BackupFile(u"Outlook.log"));
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(Enabled(run.StartButton()));
  // Once the action has ended, the window closes.
  Close(run.Handle());
  EXPECT_EQ(nullptr, run.Handle());
}

TEST(MainWindowTest, LabelOpensTheBackupFolderAndOnlyTheBackgroundReleasesTheLists) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  Click(run.StartButton());
  const TRect label = PlaceInParent(run.Label());
  EXPECT_EQ(run.Label(), ClickAt(run.Panel(), label.left + 2, label.top + 2));
  EXPECT_EQ(Lines{run.BackupFolder()}, run.Window().opened);
  // Clicks on the panel and on a disabled button do not reach the window's
  // background: the lists of the analysis stay.
  EXPECT_EQ(run.Panel(), ClickAt(run.Panel(), 4, 4));
  EnableControl(run.StartButton(), false);
  const TRect start = PlaceInParent(run.StartButton());
  ClickAt(run.Panel(), start.left + start.width / 2, start.top + start.height / 2);
  EnableControl(run.StartButton(), true);
  EXPECT_TRUE(Enabled(run.DeleteButton()));
  EXPECT_TRUE(run.Dlg().Analysis.bListsCreated);
  EXPECT_EQ(Lines{run.BackupFolder()}, run.Window().opened);
  // A click on the background itself releases them, and "Löschen" waits for the next
  // "Auslesen".
  ClickOn(run.Handle(), 2, 2);
  EXPECT_FALSE(run.Dlg().Analysis.bListsCreated);
  EXPECT_FALSE(Enabled(run.DeleteButton()));
}

}  // namespace
}  // namespace brindel::test
