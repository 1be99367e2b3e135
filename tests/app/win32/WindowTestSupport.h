#pragma once

// One run of the real Win32 window over a registry of its own in memory, with a
// documents folder of its own, and a user who answers every modal window.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/win32/ControlIds.h"
#include "app/win32/MainWindow.h"
#include "outlook/OutlookInstall.h"
#include "outlook/ProfileList.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "regfile/RegText.h"
#include "registry/store/MemoryStore.h"
#include "support/Bytes.h"
#include "support/Files.h"
#include "tests/app/win32/WindowDriver.h"

namespace brindel::test {

inline const std::u16string kOfficeTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
inline const std::u16string kMessagingTree =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

// The window with the shell left out: opening a folder is written down instead of
// starting Explorer, which a test could not close again.
class TTestWindow : public app::win32::TMainWindow {
 public:
  using TMainWindow::TMainWindow;
  void OpenFolder(std::u16string_view Folder) override { opened.emplace_back(Folder); }
  // The system's file dialog is left out too: the test says what the user chose.
  std::optional<std::u16string> ChooseRestoreFile(test::Window Owner,
                                                  std::u16string_view Folder) override {
    (void)Owner;
    chooserFolders.emplace_back(Folder);
    return chosenFile;
  }

  std::vector<std::u16string> opened;
  std::optional<std::u16string> chosenFile;
  std::vector<std::u16string> chooserFolders;
};

class TWindowRun {
 public:
  TWindowRun() {
    const auto folder = platform::MakeTemporaryFolder("brindel-window-test-");
    EXPECT_TRUE(folder.has_value());
    if (folder)
      documents_ = std::filesystem::path(platform::FromUtf8(*folder));
  }
  ~TWindowRun() {
    window_.reset();
    std::error_code ignored;
    if (!documents_.empty())
      std::filesystem::remove_all(documents_, ignored);
  }
  TWindowRun(const TWindowRun&) = delete;
  TWindowRun& operator=(const TWindowRun&) = delete;

  // Registry content.
  void Load(const char* fixture) {
    regfile::LoadRegTextFile(
        platform::FromUtf8(std::string(BRINDEL_FIXTURES) + "/profiles/" + fixture), store);
  }
  void Put(const std::u16string& path, std::u16string_view name, const Bytes& data,
           std::uint32_t type, registry::store::HKEY root = registry::store::HKEY_CURRENT_USER) {
    registry::store::HKEY key = 0;
    ASSERT_EQ(0, store.CreateKey(root, path, registry::store::KEY_ALL_ACCESS, key));
    ASSERT_EQ(0, store.SetValue(key, name, type, data));
    store.CloseKey(key);
  }
  void PutText(const std::u16string& path, std::u16string_view name, std::u16string_view text,
               registry::store::HKEY root = registry::store::HKEY_CURRENT_USER) {
    Put(path, name, Utf16Bytes(text), registry::store::REG_SZ, root);
  }
  void PutBinary(const std::u16string& path, std::u16string_view name, const Bytes& data) {
    Put(path, name, data, registry::store::REG_BINARY);
  }
  void Profile(std::u16string_view name) {
    registry::store::HKEY key = 0;
    ASSERT_EQ(0, store.CreateKey(registry::store::HKEY_CURRENT_USER,
                                 kOfficeTree + u"\\" + std::u16string(name),
                                 registry::store::KEY_ALL_ACCESS, key));
    store.CloseKey(key);
  }
  // An OUTLOOK.EXE registered at a location, with the Bitness of its version.
  void Install(unsigned location, const char* exe, const char16_t* version = nullptr,
               const char16_t* bitness = nullptr) {
    PutText(outlook::OutlookLocationKey(location), u"",
            platform::FromUtf8(std::string(BRINDEL_PE_FIXTURES) + "/" + exe),
            registry::store::HKEY_LOCAL_MACHINE);
    if (version && bitness) {
      PutText(u"Software\\Microsoft\\Office\\" + std::u16string(version) + u"\\Outlook", u"Bitness",
              bitness, registry::store::HKEY_LOCAL_MACHINE);
    }
  }
  bool KeyExists(const std::u16string& path) {
    registry::store::HKEY key = 0;
    if (store.OpenKey(registry::store::HKEY_CURRENT_USER, path, registry::store::KEY_READ, key) !=
        0) {
      return false;
    }
    store.CloseKey(key);
    return true;
  }

  // Creates and shows the window and lets it handle its start message. `OutlookVersion`
  // is given as a front end's option would; none means detection.
  void Start(std::optional<std::u16string> OutlookVersion = u"16") {
    const std::u16string documents = Documents();
    window_ = std::make_unique<TTestWindow>([=](app::TMainDlg& Dlg) {
      Dlg.cOutlookVersion = OutlookVersion;
      return std::optional<std::u16string>(documents);
    });
    window_->Show();
    // The start message was posted when the window was shown; it is among what waits.
    Pump();
    ASSERT_NE(app::TMainState::Starting, Dlg().State());
  }

  TTestWindow& Window() { return *window_; }
  app::TMainDlg& Dlg() { return window_->Dlg(); }
  test::Window Handle() { return window_->Handle(); }
  test::Window Find(int id) { return Control(window_->Handle(), id); }
  test::Window Profiles() { return Find(app::win32::kCbProfiles); }
  test::Window StartButton() { return Find(app::win32::kBtnStart); }
  test::Window DeleteButton() { return Find(app::win32::kBtnDelete); }
  test::Window Memo() { return Find(app::win32::kMemo1); }
  test::Window Label() { return Find(app::win32::kLblBackupFolder); }
  test::Window Panel() { return Find(app::win32::kPanel1); }
  test::Window RestoreButton() { return Find(app::win32::kBtnRestore); }
  test::Window Tabs() { return Find(app::win32::kTabPages); }
  test::Window Map() { return Find(app::win32::kTvProfileMap); }

  // The user presses a key in the window; the window's own message loop takes it.
  void Press(unsigned virtualKey, bool alt = false) {
    PostKey(virtualKey, alt);
    window_->ProcessMessages();
  }

  std::vector<std::u16string> Items() { return ComboItems(Profiles()); }
  // The log as the view shows it: each line ends with CR LF.
  std::vector<std::u16string> ShownLog() {
    const std::u16string text = Text(Memo());
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos;
         start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size())
      lines.push_back(text.substr(start));
    return lines;
  }
  // The user picks a profile with the arrow keys.
  void Choose(int index) {
    UserSelects(Profiles(), index);
    ASSERT_EQ(index, ComboSelection(Profiles()));
  }

  std::u16string Documents() const { return documents_.u16string(); }
  std::u16string BackupFolder() const { return Documents() + u"\\Brindel\\"; }
  // A file of the backup folder, whole; empty when it cannot be read.
  std::string BackupFile(std::u16string_view name) const {
    return ReadWholeFile(std::filesystem::path(BackupFolder() + std::u16string(name)));
  }
  bool BackupFileExists(std::u16string_view name) const {
    return std::filesystem::exists(std::filesystem::path(BackupFolder() + std::u16string(name)));
  }

  registry::store::MemoryStore store;
  TModalAnswerer user;

 private:
  registry::store::ScopedCurrentStore current_{store};
  std::filesystem::path documents_;
  std::unique_ptr<TTestWindow> window_;
};

// The bytes of a saved log: each line and CR LF, in the ANSI code page. The logs of
// these tests hold Latin-1 letters only, where Windows-1252 and Latin-1 agree.
inline std::string SavedLog(const std::vector<std::u16string>& lines) {
  std::string bytes;
  for (const std::u16string& line : lines) {
    for (char16_t c : line)
      bytes += static_cast<char>(c <= 0xFF ? c : u'?');
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace brindel::test
