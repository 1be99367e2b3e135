#include <gtest/gtest.h>

#include "app/MainDlg.h"
#include "outlook/OutlookInstall.h"
#include "platform/Text.h"
#include "support/StoreFixture.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

using registry::store::HKEY_LOCAL_MACHINE;
using registry::store::REG_SZ;

std::u16string Exe(const std::string& name) {
  return platform::FromUtf8(std::string(BRINDEL_PE_FIXTURES) + "/" + name + ".exe");
}

// The start-up's choice of the Outlook version, with installations in the machine
// registry and real OUTLOOK.EXE files.
class OutlookVersionChoiceTest : public test::StoreFixture {
 protected:
  void Install(unsigned location, const std::string& exe, const std::u16string& version,
               const std::u16string& bitness) {
    Put(outlook::OutlookLocationKey(location), u"", REG_SZ, test::Utf16Bytes(Exe(exe)),
        HKEY_LOCAL_MACHINE);
    Put(u"Software\\Microsoft\\Office\\" + version + u"\\Outlook", u"Bitness", REG_SZ,
        test::Utf16Bytes(bitness), HKEY_LOCAL_MACHINE);
  }
  void Profile(const std::u16string& tree) { MakeKey(tree + u"\\Outlook"); }
  void Start() {
    dlg_.FormCreate(u"/tmp");
    dlg_.FormShow();
    view_.RunPosted();
  }

  test::FakeMainView view_;
  TMainDlg dlg_{view_};
};

struct ChoiceCase {
  const char* name;
  TVersionChoice choice;
  const char16_t* version;
};

class TwoInstallationsTest : public OutlookVersionChoiceTest,
                             public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(TwoInstallationsTest, TheDialogDecides) {
  Install(5, "version14-x86_64", u"14.0", u"");
  Install(7, "outlook16-x86_64", u"16.0", u"x64");
  Profile(u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles");
  Profile(
      u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles");
  view_.choice = GetParam().choice;
  Start();
  ASSERT_EQ(1u, view_.dialogs.size());
  EXPECT_EQ(u"Outlook 2016 (64 Bit)", view_.dialogs[0].first);
  EXPECT_EQ(u"Outlook 2010 (32 Bit)", view_.dialogs[0].second);
  EXPECT_EQ(GetParam().version, dlg_.SelectedOutlookVersion);
  EXPECT_TRUE(view_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, TwoInstallationsTest,
    ::testing::Values(ChoiceCase{"first_button", TVersionChoice::First, u"16"},
                      ChoiceCase{"second_button", TVersionChoice::Second, u"14"},
                      ChoiceCase{"close_box_takes_the_higher", TVersionChoice::Closed, u"16"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(OutlookVersionChoiceTest, OneInstallationNeedsNoDialog) {
  Install(1, "outlook16-i686", u"16.0", u"x86");
  Profile(u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles");
  Start();
  EXPECT_TRUE(view_.dialogs.empty());
  EXPECT_EQ(u"16", dlg_.SelectedOutlookVersion);
  EXPECT_EQ(u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles", dlg_.RegTreeToUse);
  EXPECT_EQ(1u, view_.items.size());
}

TEST_F(OutlookVersionChoiceTest, NoInstallationShowsTheErrorAndUsesTheMessagingTree) {
  Profile(
      u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles");
  Start();
  ASSERT_EQ(1u, view_.messages.size());
  EXPECT_EQ(u"Auf diesem Rechner kann die Software \"Microsoft® Outlook\" nicht ermittelt werden.",
            view_.messages[0].text);
  EXPECT_EQ(TMsgDlgType::mtError, view_.messages[0].kind);
  EXPECT_EQ(u"", dlg_.SelectedOutlookVersion);
  EXPECT_EQ((std::vector<std::u16string>{u"Outlook"}), view_.items) << "the start-up goes on";
}

TEST_F(OutlookVersionChoiceTest, GivenVersionOrTreeSkipsTheDetection) {
  Install(1, "outlook16-x86_64", u"16.0", u"x64");
  Install(2, "version14-x86_64", u"14.0", u"x64");
  dlg_.cProfilesTree = u"Custom\\Profiles";
  Profile(u"Custom\\Profiles");
  Start();
  EXPECT_TRUE(view_.dialogs.empty());
  EXPECT_EQ(u"Custom\\Profiles", dlg_.RegTreeToUse);
}

}  // namespace
}  // namespace brindel::app
