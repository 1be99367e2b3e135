#include <ostream>

#include "cli/CliRun.h"
#include "outlook/OutlookInstall.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::ToUtf8;

// The detected Outlook installations, highest version first: name and build, a tab,
// the path of OUTLOOK.EXE.
int RunVersions(const TCliContext& Context) {
  app::TRegistrySource source = app::OpenRegistrySource(Context.Options, true);
  registry::store::ScopedCurrentStore current(*source.Store);
  CliView view(Context.Err);
  for (const auto& notice : source.Notices)
    view.ShowMessage(notice, app::TMsgDlgType::mtInformation);
  outlook::TOutlookDetection detection(
      [&view](const std::u16string& text) { view.ShowMessage(text, app::TMsgDlgType::mtError); });
  detection.GetInstalledOutlookVersions();
  bool found = false;
  for (const auto& install : detection.OInstallList) {
    if (install->Version <= 0)
      continue;
    Context.Out << ToUtf8(install->NameAndBit) << '\t' << ToUtf8(install->OutlookExeFile) << '\n';
    found = true;
  }
  if (!found) {
    view.ShowMessage(
        u"Auf diesem Rechner kann die Software \"Microsoft® Outlook\" nicht ermittelt werden.",
        app::TMsgDlgType::mtError);
  }
  return found ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
