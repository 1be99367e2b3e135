#include <ostream>

#include "cli/CliRun.h"
#include "platform/Text.h"
#include "profile/ProfileMap.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

// "Auslesen" of one profile as the window runs it, and the map it showed as text on
// standard output, for a ticket or a terminal. The German report is not mixed into the
// map: it goes into the file of --log, or nowhere. (--json, which has no report for
// this command, would send it to standard error.)
int RunMap(const TCliContext& Context, const std::string& Profile) {
  TCliRun run(Context, true);
  app::TMainDlg& dlg = run.Dlg();
  const bool chosen = dlg.SelectProfile(FromUtf8(Profile));
  const bool read = chosen && dlg.Analyse() && dlg.ProfileMap.has_value();
  if (chosen && Context.LogFile)
    run.PrintLog();
  if (read) {
    Context.Out << ToUtf8(profile::ProfileMapText(*dlg.ProfileMap));
    Context.Out.flush();
  }
  const bool finished = run.Finish();
  return read && finished ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
