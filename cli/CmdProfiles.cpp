#include <ostream>

#include "cli/CliRun.h"
#include "cli/JsonReport.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::ToUtf8;

namespace {

constexpr std::u16string_view kDefaultMark = u" (Standard)";

// The profiles of one user's tree: as lines, or into the report.
TOutcome ProfilesOnce(const TCliContext& Context, TJsonReport& report) {
  TCliRun run(Context, true);
  const auto& items = run.View().Items();
  const bool found = !items.empty();
  const bool finished = run.Finish();
  if (!Context.Json) {
    if (!Context.UserHeading.empty())
      Context.Out << ToUtf8(Context.UserHeading) << '\n';
    for (const auto& item : items)
      Context.Out << ToUtf8(item) << '\n';
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    const bool isDefault = items[i].ends_with(kDefaultMark);
    const std::u16string display =
        isDefault ? items[i].substr(0, items[i].size() - kDefaultMark.size()) : items[i];
    report.AddProfile(run.Dlg().StrList[static_cast<int>(i)].ProfilName, display, isDefault);
  }
  const auto& errors = run.View().Errors();
  return {finished && found, errors.empty() ? u"" : errors.back(),
          finished && run.Dlg().State() == app::TMainState::NoProfile};
}

}  // namespace

// One line per profile of the tree, in list order, the default one marked; with
// --all-users each user's lines after a line naming the user.
int RunProfiles(const TCliContext& Context) {
  TJsonReport report("profiles");
  if (Context.AllUsers) {
    return RunForEveryUser(Context, report,
                           [&](const TCliContext& one) { return ProfilesOnce(one, report); });
  }
  if (Context.Options.User)
    report.SetUser(platform::FromUtf8(*Context.Options.User));
  const TOutcome outcome = ProfilesOnce(Context, report);
  if (Context.Json) {
    report.SetResult(outcome.Ok, outcome.Message);
    Context.Out << report.Text();
  }
  return outcome.Ok ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
