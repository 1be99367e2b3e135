#include <ostream>

#include "cli/CliRun.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

// "Auslesen" and then "Löschen" of one profile, as the window runs them.
int RunRepair(const TCliContext& Context, const std::string& Profile) {
  TCliRun run(Context, false);
  if (!run.ChooseProfile(FromUtf8(Profile)))
    return kExitFailed;
  run.Dlg().btnStartClick();
  if (run.Dlg().State() == app::TMainState::Analysed)
    run.Dlg().btnDeleteClick();
  run.PrintLog();
  const bool repaired = run.Dlg().State() == app::TMainState::Repaired;
  return run.Finish() && repaired ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
