#include <ostream>

#include "cli/CliRun.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

// "Auslesen" of one profile, its log on standard output; nothing is changed.
int RunAnalyse(const TCliContext& Context, const std::string& Profile) {
  TCliRun run(Context, true);
  if (!run.ChooseProfile(FromUtf8(Profile)))
    return kExitFailed;
  run.Dlg().btnStartClick();
  run.PrintLog();
  const bool analysed = run.Dlg().State() == app::TMainState::Analysed;
  return run.Finish() && analysed ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
