#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/MainView.h"

namespace brindel::cli {

// The window of a run without a window: the profile box and the log are kept, message
// boxes go to standard error as "Fehler: text" or "Information: text", and the
// selection dialog takes the higher version, as closing it does.
class CliView : public app::TMainView {
 public:
  explicit CliView(std::ostream& errors) : errors_(errors) {}

  void ClearProfiles() override;
  void AddProfile(std::u16string_view Text) override { items_.emplace_back(Text); }
  void SelectProfile(int Index) override { selected_ = Index; }
  int SelectedProfile() const override { return selected_; }
  // Nothing chooses another profile while an action of the command line runs.
  void SetProfilesEnabled(bool) override {}
  void SetStartEnabled(bool Enabled) override { startEnabled_ = Enabled; }
  void SetDeleteEnabled(bool Enabled) override { deleteEnabled_ = Enabled; }
  void SetBackupFolderCaption(std::u16string_view) override {}
  void ClearLog() override { log_.clear(); }
  void AppendLog(std::u16string_view Line) override { log_.emplace_back(Line); }
  std::vector<std::u16string> LogLines() const override { return log_; }
  void ShowMessage(std::u16string_view Text, app::TMsgDlgType Kind) override;
  void ShowBackupFailure(std::u16string_view Message, std::u16string_view Reason) override;
  void BackupProven(std::u16string_view Note) override;
  void ProcessMessages() override {}
  void PostStartMessage(std::function<void()> Handler) override { posted_ = std::move(Handler); }
  app::TVersionChoice ChooseOutlookVersion(std::u16string_view First,
                                           std::u16string_view Second) override;
  void OpenFolder(std::u16string_view) override {}

  // Runs the posted start message, as the window's event loop would.
  void RunPosted();
  const std::vector<std::u16string>& Items() const { return items_; }
  bool StartEnabled() const { return startEnabled_; }
  bool DeleteEnabled() const { return deleteEnabled_; }
  int ErrorCount() const { return errorCount_; }
  // The error messages shown so far, for the report of --json.
  const std::vector<std::u16string>& Errors() const { return errors_shown_; }
  // Those shown since there were `From` of them, in one line.
  std::u16string ErrorsSince(std::size_t From) const;

 private:
  std::ostream& errors_;
  std::vector<std::u16string> items_;
  int selected_ = -1;
  bool startEnabled_ = false;
  bool deleteEnabled_ = false;
  std::vector<std::u16string> log_;
  std::function<void()> posted_;
  int errorCount_ = 0;
  std::vector<std::u16string> errors_shown_;
};

}  // namespace brindel::cli
