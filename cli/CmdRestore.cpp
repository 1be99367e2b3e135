#include <ostream>

#include "cli/CliRun.h"
#include "cli/JsonReport.h"
#include "platform/Text.h"
#include "profile/ProfileNames.h"

namespace brindel::cli {

using platform::FromUtf8;

// Puts a profile back exactly as a backup holds it, through the flow as a window
// would. A listed profile is chosen as in the box; one that is not listed (deleted
// since its backup) is named to the flow.
int RunRestore(const TCliContext& Context, const std::string& Profile, const std::string& File) {
  TCliRun run(Context, false);
  app::TMainDlg& dlg = run.Dlg();
  const std::u16string given = FromUtf8(Profile);
  const std::size_t errorsBefore = run.View().Errors().size();
  std::u16string name = given;
  bool done = false;
  if (dlg.FindProfile(given) >= 0) {
    if (dlg.SelectProfile(given)) {
      name = dlg.SelectedProfile()->ProfilName;
      done = dlg.Restore(FromUtf8(File));
    }
  } else {
    done = dlg.Restore(FromUtf8(File), given);
  }
  TJsonReport report("restore");
  report.BeginRun(name, profile::ProfileTreeOf(dlg.RegTreeToUse, name));
  const profile::TRestoreResult& result = dlg.LastRestore;
  if (!result.SavedFile.empty())
    report.AddBackupFile(u"saved", result.SavedFile, result.SavedProof.Proven);
  if (!dlg.LastRestoreFile.empty())
    report.AddBackupFile(u"restoredFrom", dlg.LastRestoreFile, result.RestoredProof.Proven);
  if (done)
    report.SetBackupProof(result.RestoredProof.Keys, result.RestoredProof.Values);
  run.PrintLog();
  const std::u16string message = run.View().ErrorsSince(errorsBefore);
  report.EndRun(done, message);
  const bool finished = run.Finish();
  if (Context.Json) {
    report.SetResult(done && finished, run.View().ErrorsSince(errorsBefore));
    Context.Out << report.Text();
  }
  return done && finished ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
