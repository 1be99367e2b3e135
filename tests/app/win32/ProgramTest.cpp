// The Windows program as started from the command line: its options, the registry it
// opens (the live one when none is named) and the windows it creates.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32/Program.h"
#include "tests/app/win32/WindowTestSupport.h"

#include <windows.h>

namespace brindel::test {
namespace {

using Lines = std::vector<std::u16string>;

// Runs the program with these arguments (after the program name).
int RunBrindel(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "brindel.exe");
  const int code = app::win32::RunProgram(arguments);
  return code;
}

// What the program's main window showed once its start-up had run, before the test
// closed it: the profiles, and whether the hidden selection dialog was there.
struct TSeenWindow {
  bool seen = false;
  Lines items;
  bool hiddenDialog = false;
};

// Closes the program's main window as soon as its profile box is filled.
class TWindowCloser {
 public:
  TWindowCloser()
      : ticker_([this] {
          for (Window window : ShownWindows(u"BrindelMainDlg")) {
            const Window profiles = Control(window, app::win32::kCbProfiles);
            if (seen.seen || !Enabled(window) || ComboItems(profiles).empty())
              continue;
            seen.seen = true;
            seen.items = ComboItems(profiles);
            const HWND dialog = FindWindowW(L"BrindelOutlookVersionDlg", nullptr);
            seen.hiddenDialog = dialog && !IsWindowVisible(dialog);
            Close(window);
          }
        }) {}

  TSeenWindow seen;

 private:
  TTicker ticker_;
};

struct TUsageCase {
  const char* name;
  std::vector<std::string> arguments;
  std::u16string message;
  int status;  // 2 wrong usage, as brindel-cli; 1 a source that cannot be used
};

class ProgramUsageTest : public ::testing::TestWithParam<TUsageCase> {};

TEST_P(ProgramUsageTest, IsShownAndEnds) {
  const TUsageCase& row = GetParam();
  TModalAnswerer user;
  EXPECT_EQ(row.status, RunBrindel(row.arguments));
  ASSERT_EQ(1u, user.boxes.size());
  EXPECT_EQ(u"Fehler", user.boxes[0].title);
  EXPECT_EQ(TBoxIcon::Error, user.boxes[0].icon);
  EXPECT_NE(std::u16string::npos, user.boxes[0].text.find(row.message))
      << platform::ToUtf8(user.boxes[0].text);
  EXPECT_FALSE(user.boxes[0].ownerShownAndDisabled);
  EXPECT_TRUE(user.boxes[0].centred);
  EXPECT_TRUE(ShownWindows(u"BrindelMainDlg").empty());
}

INSTANTIATE_TEST_SUITE_P(
    WrongUsage, ProgramUsageTest,
    ::testing::Values(TUsageCase{"UnknownOption", {"--gibt-es-nicht"}, u"unbekannte Angaben", 2},
                      TUsageCase{
                          "MissingRegFile", {"--reg", "C:\\gibt\\es\\nicht.reg"}, u"nicht.reg", 1},
                      TUsageCase{"MissingHiveFile",
                                 {"--hive", "HKCU=C:\\gibt\\es\\nicht.dat"},
                                 u"nicht.dat' wurde nicht gefunden",
                                 1}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ProgramTest, HelpIsShownInABox) {
  TModalAnswerer user;
  EXPECT_EQ(0, RunBrindel({"--help"}));
  ASSERT_EQ(1u, user.boxes.size());
  EXPECT_EQ(u"Informationen", user.boxes[0].title);
  for (const char16_t* option :
       {u"Aufruf", u"--demo", u"--reg", u"--profiles-tree", u"--documents"})
    EXPECT_NE(std::u16string::npos, user.boxes[0].text.find(option)) << platform::ToUtf8(option);
}

TEST(ProgramTest, DemoShowsTheWindowBesideAHiddenDialog) {
  TModalAnswerer user;
  TWindowCloser closer;
  const auto documents = platform::MakeTemporaryFolder("brindel-window-test-");
  ASSERT_TRUE(documents.has_value());
  EXPECT_EQ(0, RunBrindel({"--demo", "--documents", *documents}));
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(platform::FromUtf8(*documents)), ignored);
  ASSERT_TRUE(closer.seen.seen);
  EXPECT_TRUE(closer.seen.hiddenDialog);
  EXPECT_EQ((Lines{u"Büro", u"Outlook (Standard)"}), closer.seen.items);
  EXPECT_TRUE(user.dialogs.empty());
  EXPECT_TRUE(user.boxes.empty());
}

// Without a registry option the program works on the registry of the logged-on user:
// a profile tree made there for the test is what the window offers.
TEST(ProgramTest, WithoutARegistryOptionTheLiveRegistryIsUsed) {
  const std::wstring tree =
      L"Software\\BrindelWindowTest\\" + std::to_wstring(GetCurrentProcessId());
  for (const wchar_t* profile : {L"\\Anna", L"\\Büro"}) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (tree + profile).c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegCloseKey(key);
  }
  TModalAnswerer user;
  TWindowCloser closer;
  const std::string treeOption = platform::ToUtf8(
      std::u16string(reinterpret_cast<const char16_t*>(tree.c_str()), tree.size()));
  const int code = RunBrindel({"--profiles-tree", treeOption, "--documents", "C:\\"});
  RegDeleteTreeW(HKEY_CURRENT_USER, tree.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\BrindelWindowTest");
  EXPECT_EQ(0, code);
  ASSERT_TRUE(closer.seen.seen);
  EXPECT_EQ((Lines{u"Anna", u"Büro"}), closer.seen.items);
  EXPECT_TRUE(user.boxes.empty());
}

}  // namespace
}  // namespace brindel::test
