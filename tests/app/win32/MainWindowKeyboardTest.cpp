// The main window by keyboard: where the focus is at start and after each action,
// Tab past a disabled button, Escape, and the access keys of the two buttons. Keys
// go through the window's own message loop, as the keyboard's do.

#include <gtest/gtest.h>

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

struct TStartCase {
  const char* name;
  std::vector<const char*> fixtures;
  std::size_t boxes;
};

class StartFocusTest : public ::testing::TestWithParam<TStartCase> {};

TEST_P(StartFocusTest, TheProfileBoxHasTheFocus) {
  const TStartCase& row = GetParam();
  TWindowRun run;
  for (const char* fixture : row.fixtures)
    run.Load(fixture);
  run.Start();
  EXPECT_EQ(row.boxes, run.user.boxes.size());
  EXPECT_EQ(run.Handle(), ActiveWindow());
  EXPECT_EQ(run.Profiles(), Focus());
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, StartFocusTest,
    ::testing::Values(TStartCase{"OneProfile", {"healthy.reg"}, 0},
                      TStartCase{"TwoProfiles", {"healthy.reg", "new.reg"}, 0},
                      // The information box had the focus; it comes back to the box.
                      TStartCase{"NoProfileAfterTheBox", {}, 1}),
    [](const auto& row) { return std::string(row.param.name); });

struct TEscapeCase {
  const char* name;
  int id;
};

class EscapeTest : public ::testing::TestWithParam<TEscapeCase> {};

// The report is a multi-line edit, which closes a dialog's window on Escape.
TEST_P(EscapeTest, DoesNothing) {
  const TEscapeCase& row = GetParam();
  TWindowRun run;
  run.Load("healthy.reg");
  run.Start();
  Click(run.StartButton());
  const Lines log = run.ShownLog();
  ASSERT_FALSE(log.empty());
  const Window control = run.Find(row.id);
  SetFocus(control);
  run.Press(VK_ESCAPE);
  Pump();
  ASSERT_NE(nullptr, run.Handle());
  EXPECT_TRUE(Visible(run.Handle()));
  EXPECT_EQ(control, Focus());
  EXPECT_EQ(log, run.ShownLog());
  EXPECT_TRUE(run.user.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Focus, EscapeTest,
                         ::testing::Values(TEscapeCase{"InTheReport", app::win32::kMemo1},
                                           TEscapeCase{"OnAuslesen", app::win32::kBtnStart},
                                           TEscapeCase{"InTheProfileBox", app::win32::kCbProfiles},
                                           TEscapeCase{"OnTheTabStrip", app::win32::kTabPages}),
                         [](const auto& row) { return std::string(row.param.name); });

// How the user presses a button.
enum class TPress { SpaceKey, MouseClick, AccessKey };

struct TPressCase {
  const char* name;
  TPress press;
};

void PressButton(TWindowRun& run, Window button, TPress press) {
  switch (press) {
    case TPress::SpaceKey:
      SetFocus(button);
      run.Press(VK_SPACE);
      break;
    case TPress::MouseClick:
      // The button takes the focus as a click by the mouse gives it.
      ClickOn(button, 4, 4);
      break;
    case TPress::AccessKey:
      run.Press(AccessKey(Text(button)), true);
      break;
  }
}

class FocusAfterActionTest : public ::testing::TestWithParam<TPressCase> {};

TEST_P(FocusAfterActionTest, AuslesenHandsTheFocusToLoeschen) {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  PressButton(run, run.StartButton(), GetParam().press);
  EXPECT_TRUE(SameLog(ReadProfileLog("damaged.expected.txt"), run.ShownLog()));
  ASSERT_TRUE(Enabled(run.DeleteButton()));
  EXPECT_EQ(run.DeleteButton(), Focus());
}

TEST_P(FocusAfterActionTest, LoeschenHandsTheFocusToAuslesenAndTabGoesOn) {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  Click(run.StartButton());
  SetFocus(run.DeleteButton());
  PressButton(run, run.DeleteButton(), GetParam().press);
  EXPECT_TRUE(run.BackupFileExists(u"Kaputt.log"));
  EXPECT_FALSE(Enabled(run.DeleteButton()));
  EXPECT_EQ(run.StartButton(), Focus());
  // Tab passes the disabled "Löschen" by, over "Wiederherstellen…" and the tab strip to
  // the report, and leaves the report again without writing into it.
  const Lines log = run.ShownLog();
  run.Press(VK_TAB);
  EXPECT_EQ(run.RestoreButton(), Focus());
  run.Press(VK_TAB);
  EXPECT_EQ(run.Tabs(), Focus());
  run.Press(VK_TAB);
  EXPECT_EQ(run.Memo(), Focus());
  run.Press(VK_TAB);
  EXPECT_EQ(run.Profiles(), Focus());
  EXPECT_EQ(log, run.ShownLog());
  EXPECT_TRUE(run.user.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Presses, FocusAfterActionTest,
                         ::testing::Values(TPressCase{"SpaceKey", TPress::SpaceKey},
                                           TPressCase{"MouseClick", TPress::MouseClick},
                                           TPressCase{"AccessKey", TPress::AccessKey}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(MainWindowKeyboardTest, AFailedBackupLeavesTheFocusOnLoeschen) {
  TWindowRun run;
  run.Load("damaged.reg");
  // A file where the backup folder should be: the backup cannot be written.
  { std::ofstream(std::filesystem::path(run.Documents()) / "Brindel").put('x'); }
  run.Start(u"14");
  Click(run.StartButton());
  PressButton(run, run.DeleteButton(), TPress::SpaceKey);
  ASSERT_EQ(1u, run.user.boxes.size());
  EXPECT_TRUE(Enabled(run.DeleteButton()));
  EXPECT_EQ(run.DeleteButton(), Focus());
}

TEST(MainWindowKeyboardTest, TheButtonsCarryAccessKeysBesideTheirCaptions) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  EXPECT_EQ(u"Auslesen", ShownCaption(Text(run.StartButton())));
  EXPECT_EQ(u'A', AccessKey(Text(run.StartButton())));
  EXPECT_EQ(u"Löschen", ShownCaption(Text(run.DeleteButton())));
  EXPECT_EQ(u'L', AccessKey(Text(run.DeleteButton())));
}

TEST(MainWindowKeyboardTest, TheAccessKeyOfADisabledButtonDoesNothing) {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  ASSERT_FALSE(Enabled(run.DeleteButton()));
  run.Press('L', true);
  EXPECT_FALSE(run.BackupFileExists(u"Kaputt.reg"));
  EXPECT_TRUE(run.ShownLog().empty());
  EXPECT_EQ(run.Profiles(), Focus());
}

}  // namespace
}  // namespace brindel::test
