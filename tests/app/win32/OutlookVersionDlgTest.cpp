// The version choice of the start-up with the real dialog: which installations it
// offers, how each way of ending it chooses, and the start-ups that need no dialog.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/win32/WindowTestSupport.h"

#include <windows.h>

namespace brindel::test {
namespace {

using Lines = std::vector<std::u16string>;

// Outlook 2016 (64 Bit) and Outlook 2010 (32 Bit, no Bitness value), each with a
// profile in its own profile tree.
void TwoInstallations(TWindowRun& run) {
  run.Install(1, "outlook16-x86_64.exe", u"16.0", u"x64");
  run.Install(2, "version14-x86_64.exe");
  run.Load("healthy.reg");
  run.Load("damaged.reg");
}

TEST(OutlookVersionDlgTest, TwoInstallationsShowTheDialog) {
  TWindowRun run;
  TwoInstallations(run);
  run.Start(std::nullopt);
  ASSERT_EQ(1u, run.user.dialogs.size());
  const TShownDialog& dialog = run.user.dialogs[0];
  EXPECT_EQ(u"Auswahl der Outlook Version", dialog.caption);
  EXPECT_EQ(u"Outlook 2016 (64 Bit)", dialog.first);
  EXPECT_EQ(u"Outlook 2010 (32 Bit)", dialog.second);
  EXPECT_EQ(
      u"Auf diesem Rechner wurden zwei Outlook-Installationen gefunden! Wählen Sie aus, welche "
      u"Version Sie aktuell sichern bzw. wiederherstellen wollen!",
      dialog.label);
  EXPECT_TRUE(dialog.labelFits);
  EXPECT_EQ(u"Auswahl merken", dialog.checkBox);
  EXPECT_FALSE(dialog.checked);
  EXPECT_EQ((TRect{0, 0, AtScreenDpi(447), AtScreenDpi(211)}), dialog.client);
  // Not resizable, no minimise or maximise, a close box.
  EXPECT_EQ(0u, dialog.style & WS_THICKFRAME);
  EXPECT_EQ(0u, dialog.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_NE(0u, dialog.style & WS_SYSMENU);
  EXPECT_EQ(RGB(226, 231, 243), dialog.marginColour);
  EXPECT_EQ(RGB(226, 231, 243), dialog.checkBoxColour);
  EXPECT_EQ(u"Tahoma", dialog.buttonFont.face);
  EXPECT_EQ(FontHeight(10), dialog.buttonFont.height);
  EXPECT_EQ(FW_BOLD, dialog.buttonFont.weight);
  EXPECT_TRUE(dialog.centred);
  // The main window waits for the choice, and takes input again afterwards.
  EXPECT_TRUE(dialog.ownerDisabled);
  EXPECT_TRUE(Enabled(run.Handle()));
  EXPECT_TRUE(ShownWindows(u"BrindelOutlookVersionDlg").empty());
  EXPECT_TRUE(run.user.boxes.empty());
}

struct TEndingCase {
  const char* name;
  TDialogAnswer answer;
  const char16_t* version;
  const char16_t* profile;
};

class OutlookVersionEndingTest : public ::testing::TestWithParam<TEndingCase> {};

TEST_P(OutlookVersionEndingTest, ChoosesAVersion) {
  const TEndingCase& row = GetParam();
  TWindowRun run;
  TwoInstallations(run);
  run.user.dialogAnswer = row.answer;
  run.Start(std::nullopt);
  ASSERT_EQ(1u, run.user.dialogs.size());
  if (row.answer == TDialogAnswer::EscapeThenCloseBox) {
    EXPECT_TRUE(run.user.openAfterEscape);
  }
  EXPECT_EQ(row.version, run.Dlg().SelectedOutlookVersion);
  // The profiles of the chosen version's tree are offered.
  EXPECT_EQ(Lines{row.profile}, run.Items());
  EXPECT_TRUE(Enabled(run.StartButton()));
  EXPECT_TRUE(run.user.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Endings, OutlookVersionEndingTest,
    ::testing::Values(
        TEndingCase{"LeftButton", TDialogAnswer::First, u"16", u"Outlook (Standard)"},
        TEndingCase{"RightButton", TDialogAnswer::Second, u"14", u"Kaputt"},
        TEndingCase{"EnterOnTheRightButton", TDialogAnswer::EnterOnSecond, u"14", u"Kaputt"},
        TEndingCase{"CloseBox", TDialogAnswer::CloseBox, u"16", u"Outlook (Standard)"},
        TEndingCase{"EscapeThenCloseBox", TDialogAnswer::EscapeThenCloseBox, u"16",
                    u"Outlook (Standard)"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(OutlookVersionDlgTest, RememberingTheChoiceHasNoEffect) {
  {
    TWindowRun run;
    TwoInstallations(run);
    run.user.dialogAnswer = TDialogAnswer::TickThenSecond;
    run.Start(std::nullopt);
    EXPECT_EQ(u"14", run.Dlg().SelectedOutlookVersion);
  }
  // The next start asks again, with nothing ticked.
  TWindowRun run;
  TwoInstallations(run);
  run.Start(std::nullopt);
  ASSERT_EQ(1u, run.user.dialogs.size());
  EXPECT_FALSE(run.user.dialogs[0].checked);
  EXPECT_EQ(u"16", run.Dlg().SelectedOutlookVersion);
}

TEST(OutlookVersionDlgTest, OneInstallationShowsNoDialog) {
  TWindowRun run;
  // Registered twice, found once.
  run.Install(1, "outlook16-x86_64.exe", u"16.0", u"x64");
  run.Install(2, "outlook16-x86_64.exe");
  run.Load("healthy.reg");
  run.Load("damaged.reg");
  run.Start(std::nullopt);
  EXPECT_TRUE(run.user.dialogs.empty());
  EXPECT_TRUE(run.user.boxes.empty());
  EXPECT_EQ(u"16", run.Dlg().SelectedOutlookVersion);
  EXPECT_EQ(Lines{u"Outlook (Standard)"}, run.Items());
}

TEST(OutlookVersionDlgTest, NoInstallationShowsTheErrorAndUsesTheMessagingTree) {
  TWindowRun run;
  run.Load("healthy.reg");
  run.Load("damaged.reg");
  run.Start(std::nullopt);
  EXPECT_TRUE(run.user.dialogs.empty());
  ASSERT_EQ(1u, run.user.boxes.size());
  EXPECT_EQ(u"Auf diesem Rechner kann die Software \"Microsoft® Outlook\" nicht ermittelt werden.",
            run.user.boxes[0].text);
  EXPECT_EQ(u"Fehler", run.user.boxes[0].title);
  EXPECT_EQ(TBoxIcon::Error, run.user.boxes[0].icon);
  EXPECT_EQ(u"", run.Dlg().SelectedOutlookVersion);
  // The start-up goes on with the Windows Messaging Subsystem's profiles.
  EXPECT_EQ(kMessagingTree, run.Dlg().RegTreeToUse);
  EXPECT_EQ(Lines{u"Kaputt"}, run.Items());
  EXPECT_TRUE(Enabled(run.StartButton()));
}

}  // namespace
}  // namespace brindel::test
