#include <ostream>

#include "cli/CliRun.h"
#include "cli/JsonReport.h"
#include "outlook/OutlookInstall.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::ToUtf8;

// The detected Outlook installations, highest version first: name and build, a tab,
// the path of OUTLOOK.EXE.
int RunVersions(const TCliContext& Context) {
  TCliRun run(Context, true, false);
  outlook::TOutlookDetection& detection = run.Dlg().Detection;
  detection.GetInstalledOutlookVersions();
  TJsonReport report("versions");
  bool found = false;
  for (const auto& install : detection.OInstallList) {
    if (install->Version <= 0)
      continue;
    if (Context.Json) {
      report.AddInstallation(install->NameAndBit, install->Version, install->OutlookExeFile);
    } else {
      Context.Out << ToUtf8(install->NameAndBit) << '\t' << ToUtf8(install->OutlookExeFile) << '\n';
    }
    found = true;
  }
  if (!found)
    run.View().ShowMessage(outlook::kOutlookNotFound, app::TMsgDlgType::mtError);
  const bool finished = run.Finish();
  if (Context.Json) {
    const auto& errors = run.View().Errors();
    report.SetResult(finished && found, errors.empty() ? u"" : errors.back());
    Context.Out << report.Text();
  }
  return finished && found ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
