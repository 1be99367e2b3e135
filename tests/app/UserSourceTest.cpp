// What both windows open for --windows-root and --user (RunOnRegistrySource): the
// user's hive with the machine part of that Windows, and the documents folder that
// the user's own registry names, below the root.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/WindowProgram.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "registry/store/RegistryStore.h"
#include "tests/cli/WindowsDisk.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;
namespace store = registry::store;

class UserSourceTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetWindowsRoot(""); }

  // Runs the window part of a program on the options; what it was shown, in order.
  int Open(const TRunOptions& options, const std::function<void(const TRegistrySource&)>& check) {
    return RunOnRegistrySource(
        options,
        [this](std::u16string_view text, TMsgDlgType) { shown_.push_back(platform::ToUtf8(text)); },
        [&check](const TRegistrySource& source) {
          check(source);
          return 0;
        });
  }

  registry::store::testing::TempFolder folder_{"brindel-usersource-"};
  fs::path root_ = folder_.Path() / "mnt";
  std::vector<std::string> shown_;
};

TEST_F(UserSourceTest, TheWindowGetsTheUsersRegistryAndDocuments) {
  test::MakeWindowsDisk(root_,
                        {{"anna", true, "S-1-5-21-7-7-7-1001", u"%USERPROFILE%\\Eigene", false},
                         {"bob", false, "S-1-5-21-7-7-7-1002"}});
  fs::create_directories(root_ / "Users" / "anna" / "Eigene");
  TRunOptions options;
  options.WindowsRoot = platform::ToUtf8(root_.u16string());
  options.User = "ANNA";
  bool ran = false;
  EXPECT_EQ(0, Open(options, [&](const TRegistrySource& source) {
              ran = true;
              ASSERT_TRUE(source.Documents.has_value());
              EXPECT_EQ(fs::path(*source.Documents), root_ / "Users" / "anna" / "Eigene");
              store::HKEY key = 0;
              EXPECT_EQ(store::ERROR_SUCCESS,
                        store::CurrentStore()->OpenKey(
                            store::HKEY_CURRENT_USER,
                            u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Outlook",
                            store::KEY_READ, key));
              store::CurrentStore()->CloseKey(key);
            }));
  EXPECT_TRUE(ran);
  EXPECT_EQ(std::vector<std::string>{}, shown_);
}

TEST_F(UserSourceTest, AnUnknownUserIsShownAndEndsTheProgram) {
  test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001"}});
  TRunOptions options;
  options.WindowsRoot = platform::ToUtf8(root_.u16string());
  options.User = "zoe";
  EXPECT_EQ(1, Open(options, [](const TRegistrySource&) { ADD_FAILURE() << "no window"; }));
  ASSERT_EQ(1u, shown_.size());
  EXPECT_EQ(0u, shown_[0].find("Einen Benutzer „zoe“")) << shown_[0];
  EXPECT_NE(std::string::npos, shown_[0].find("Gefunden: anna.")) << shown_[0];
}

}  // namespace
}  // namespace brindel::app
