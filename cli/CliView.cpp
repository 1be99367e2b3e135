#include "cli/CliView.h"

#include <ostream>

#include "platform/Text.h"

namespace brindel::cli {

using platform::ToUtf8;

void CliView::ClearProfiles() {
  items_.clear();
  selected_ = -1;
}

void CliView::ShowMessage(std::u16string_view Text, app::TMsgDlgType Kind) {
  if (Kind == app::TMsgDlgType::mtError) {
    ++errorCount_;
    errors_shown_.emplace_back(Text);
  }
  errors_ << (Kind == app::TMsgDlgType::mtError ? "Fehler: " : "Information: ") << ToUtf8(Text)
          << '\n';
}

std::u16string CliView::ErrorsSince(std::size_t From) const {
  std::u16string text;
  for (std::size_t i = From; i < errors_shown_.size(); ++i)
    text += (text.empty() ? u"" : u" ") + errors_shown_[i];
  return text;
}

// The reason first, on a line of its own, so that scripts can keep reading the fixed
// message as the last line.
void CliView::ShowBackupFailure(std::u16string_view Message, std::u16string_view Reason) {
  if (!Reason.empty())
    ShowMessage(Reason, app::TMsgDlgType::mtError);
  ShowMessage(Message, app::TMsgDlgType::mtInformation);
}

void CliView::BackupProven(std::u16string_view Note) {
  ShowMessage(Note, app::TMsgDlgType::mtInformation);
}

app::TVersionChoice CliView::ChooseOutlookVersion(std::u16string_view First,
                                                  std::u16string_view Second) {
  errors_ << "Information: Zwei Outlook-Installationen gefunden (" << ToUtf8(First) << ", "
          << ToUtf8(Second) << "); verwendet wird die höhere, " << ToUtf8(First)
          << ". Eine andere wählt --outlook-version.\n";
  return app::TVersionChoice::Closed;
}

void CliView::RunPosted() {
  auto handler = std::move(posted_);
  posted_ = nullptr;
  if (handler)
    handler();
}

}  // namespace brindel::cli
