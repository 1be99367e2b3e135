#include <ostream>

#include "cli/CliRun.h"
#include "cli/JsonReport.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "profile/Restore.h"

namespace brindel::cli {

using platform::FromUtf8;

// Puts a profile back exactly as a backup holds it. A hive takes it in one commit
// or not at all; the live registry and a registry in memory get the saved state
// imported back when the restore fails half-way.
int RunRestore(const TCliContext& Context, const std::string& Profile, const std::string& File) {
  TCliRun run(Context, false);
  const std::u16string name = FromUtf8(Profile);
  TJsonReport report("restore");
  const std::u16string tree = run.Dlg().RegTreeToUse + u"\\" + name;
  report.BeginRun(name, tree);
  const std::u16string& folder = run.Dlg().cBackupFolder;
  const std::u16string file =
      File.empty() ? profile::FirstBackupName(folder, name) : FromUtf8(File);
  bool done = false;
  std::u16string message;
  if (!run.Dlg().cReadOnlyReason.empty()) {
    message = run.Dlg().cReadOnlyReason;
  } else {
    const profile::TRestoreResult result =
        profile::RestoreProfile(tree, name, folder, file, run.Store(), [&run] {
          if (!run.CanDiscard())
            return false;
          run.Discard();
          return true;
        });
    done = result.Restored;
    message = result.Message;
    if (!result.SavedFile.empty())
      report.AddBackupFile(u"saved", result.SavedFile, result.SavedProof.Proven);
    report.AddBackupFile(u"restoredFrom", file, result.RestoredProof.Proven);
    if (done) {
      report.SetBackupProof(result.RestoredProof.Keys, result.RestoredProof.Values);
      std::u16string note = u"Profil „" + name + u"“ aus „" + file + u"“ wiederhergestellt";
      if (!result.SavedFile.empty())
        note += u"; der vorige Stand liegt in „" + result.SavedFile + u"“";
      run.View().ShowMessage(note + u".", app::TMsgDlgType::mtInformation);
      run.View().ShowMessage(profile::ProvenBackupNote(result.RestoredProof),
                             app::TMsgDlgType::mtInformation);
    }
  }
  if (!done)
    run.View().ShowMessage(message, app::TMsgDlgType::mtError);
  report.EndRun(done, done ? u"" : message);
  const bool finished = run.Finish();
  if (Context.Json) {
    report.SetResult(done && finished, done ? u"" : message);
    Context.Out << report.Text();
  }
  return done && finished ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
