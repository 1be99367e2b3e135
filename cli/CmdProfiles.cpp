#include <ostream>

#include "cli/CliRun.h"
#include "cli/JsonReport.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::ToUtf8;

namespace {

constexpr std::u16string_view kDefaultMark = u" (Standard)";

}  // namespace

// One line per profile of the tree, in list order, the default one marked.
int RunProfiles(const TCliContext& Context) {
  TCliRun run(Context, true);
  const auto& items = run.View().Items();
  const bool found = !items.empty();
  const bool finished = run.Finish();
  if (!Context.Json) {
    for (const auto& item : items)
      Context.Out << ToUtf8(item) << '\n';
    return finished && found ? kExitDone : kExitFailed;
  }
  TJsonReport report("profiles");
  for (std::size_t i = 0; i < items.size(); ++i) {
    const bool isDefault = items[i].ends_with(kDefaultMark);
    const std::u16string display =
        isDefault ? items[i].substr(0, items[i].size() - kDefaultMark.size()) : items[i];
    report.AddProfile(run.Dlg().StrList[static_cast<int>(i)].ProfilName, display, isDefault);
  }
  const auto& errors = run.View().Errors();
  report.SetResult(finished && found, errors.empty() ? u"" : errors.back());
  Context.Out << report.Text();
  return finished && found ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
