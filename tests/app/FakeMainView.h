#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/MainView.h"
#include "profile/ProfileMap.h"

namespace brindel::test {

// A window that keeps what it was told, so that a test can look at it: it is the
// front end that is faked here, not the registry.
class FakeMainView : public app::TMainView {
 public:
  struct Message {
    std::u16string text;
    app::TMsgDlgType kind;
  };

  void ClearProfiles() override {
    items.clear();
    selected = -1;
  }
  void AddProfile(std::u16string_view Text) override { items.emplace_back(Text); }
  void SelectProfile(int Index) override { selected = Index; }
  int SelectedProfile() const override { return selected; }
  void SetProfilesEnabled(bool Enabled) override { profilesEnabled = Enabled; }
  void SetStartEnabled(bool Enabled) override { startEnabled = Enabled; }
  void SetDeleteEnabled(bool Enabled) override { deleteEnabled = Enabled; }
  void SetBackupFolderCaption(std::u16string_view Caption) override { caption = Caption; }
  void ClearLog() override { log.clear(); }
  void AppendLog(std::u16string_view Line) override { log.emplace_back(Line); }
  std::vector<std::u16string> LogLines() const override { return log; }
  void ShowMessage(std::u16string_view Text, app::TMsgDlgType Kind) override {
    messages.push_back({std::u16string(Text), Kind});
    if (onShowMessage)
      onShowMessage();
  }
  // The box's fixed text is kept as a message, the reason beside it.
  void ShowBackupFailure(std::u16string_view Text, std::u16string_view Reason) override {
    ShowMessage(Text, app::TMsgDlgType::mtInformation);
    backupReasons.emplace_back(Reason);
  }
  void BackupProven(std::u16string_view Note) override { proven.emplace_back(Note); }
  void ShowProfileMap(const profile::TProfileMap& Map) override { map = Map; }
  void ClearProfileMap() override { map.reset(); }
  void ProcessMessages() override {
    ++processed;
    if (onProcessMessages)
      onProcessMessages();
  }
  void PostStartMessage(std::function<void()> Handler) override {
    posted.push_back(std::move(Handler));
  }
  void OpenFolder(std::u16string_view Folder) override { opened.emplace_back(Folder); }
  app::TVersionChoice ChooseOutlookVersion(std::u16string_view First,
                                           std::u16string_view Second) override {
    dialogs.push_back({std::u16string(First), std::u16string(Second)});
    return choice;
  }

  // Runs what was posted, as the event loop would once the window is on screen.
  void RunPosted() {
    auto handlers = std::move(posted);
    posted.clear();
    for (auto& handler : handlers)
      handler();
  }

  std::vector<std::u16string> items;
  std::vector<std::u16string> backupReasons;
  std::vector<std::u16string> proven;
  int selected = -1;
  bool profilesEnabled = true;
  bool startEnabled = false;
  bool deleteEnabled = false;
  std::u16string caption = u"Backupordner: ";
  std::vector<std::u16string> log;
  // The map page: none until a map is shown, and after it is cleared.
  std::optional<profile::TProfileMap> map;
  std::vector<Message> messages;
  int processed = 0;
  std::vector<std::function<void()>> posted;
  std::vector<std::u16string> opened;
  // The captions of each selection dialog shown, and how the next one ends.
  std::vector<std::pair<std::u16string, std::u16string>> dialogs;
  app::TVersionChoice choice = app::TVersionChoice::Closed;
  // Runs during ProcessMessages, as a click waiting in the queue would.
  std::function<void()> onProcessMessages;
  // Runs while a message box is up: its own event loop lets clicks through too.
  std::function<void()> onShowMessage;
};

}  // namespace brindel::test
