#include <ostream>

#include "cli/CliRun.h"
#include "cli/JsonReport.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "profile/Findings.h"
#include "profile/ProfileNames.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

namespace {

// Two files with the same bytes: the first backup written from the proven one.
bool SameFile(const std::u16string& a, const std::u16string& b) {
  const auto first = platform::ReadFileBytes(ToUtf8(a));
  const auto second = platform::ReadFileBytes(ToUtf8(b));
  return first && second && *first == *second;
}

// "Auslesen", and for a repair "Löschen", as the window runs them, on the registry of
// one user: one profile, or every profile of the tree in turn over the same registry,
// so that each repair sees what the ones before it left.
TOutcome ProfileActionOnce(const TCliContext& Context, const std::string& Profile, bool All,
                           bool Repair, TJsonReport& report) {
  TCliRun run(Context, !Repair);
  app::TMainDlg& dlg = run.Dlg();
  std::vector<std::u16string> names;
  if (All) {
    for (int i = 0; i < dlg.StrList.Count(); ++i)
      names.push_back(dlg.StrList[i].ProfilName);
  } else {
    names.push_back(FromUtf8(Profile));
  }
  // A tree without profiles has nothing to do; the start-up has said so.
  bool allDone = !names.empty();
  // The command's message is every error of its runs and of writing their changes.
  const std::size_t errorsOfRuns = run.View().Errors().size();
  for (const std::u16string& given : names) {
    const std::size_t errorsBefore = run.View().Errors().size();
    const bool chosen = dlg.SelectProfile(given);
    // The key name as the registry spells it, which names the files too.
    const std::u16string name = chosen ? dlg.SelectedProfile()->ProfilName : given;
    report.BeginRun(name, profile::ProfileTreeOf(dlg.RegTreeToUse, name));
    bool done = false;
    if (chosen) {
      done = dlg.Analyse();
    }
    if (done) {
      const profile::TFindings findings = profile::CollectFindings(dlg.Analysis);
      report.SetFound(findings);
      if (Repair) {
        done = dlg.Repair();
        const profile::TBackupResult& backup = dlg.LastBackup;
        if (!backup.CurrentFile.empty() && platform::FileExists(ToUtf8(backup.CurrentFile))) {
          report.AddBackupFile(u"current", backup.CurrentFile, backup.Ok);
          report.AddBackupFile(u"first", backup.FirstFile,
                               backup.Ok && SameFile(backup.CurrentFile, backup.FirstFile));
        }
        if (backup.Proof.Proven)
          report.SetBackupProof(backup.Proof.Keys, backup.Proof.Values);
        // A repair that is in the registry counts as done even when its log file could
        // not be written; the run's result says so.
        if (dlg.State() == app::TMainState::Repaired)
          report.SetDone(findings);
      }
    }
    if (chosen)
      run.PrintLog();
    report.EndRun(done, run.View().ErrorsSince(errorsBefore));
    allDone = allDone && done;
  }
  const bool noProfiles = All && dlg.State() == app::TMainState::NoProfile;
  const bool finished = run.Finish();
  return {allDone && finished, run.View().ErrorsSince(errorsOfRuns), noProfiles && finished};
}

}  // namespace

int RunProfileAction(const TCliContext& Context, const std::string& Profile, bool All,
                     bool Repair) {
  const char* command = Repair ? "repair" : "analyse";
  if (All == !Profile.empty() || (Context.AllUsers && !All)) {
    Context.Err << "Fehler: Bitte entweder ein PROFIL oder --all angeben"
                << (Context.AllUsers ? "; mit --all-users --all.\n" : ".\n")
                << "Hilfe: brindel-cli " << command << " --help\n";
    return kExitUsage;
  }
  TJsonReport report(command);
  if (Context.AllUsers) {
    return RunForEveryUser(Context, report, [&](const TCliContext& one) {
      return ProfileActionOnce(one, Profile, All, Repair, report);
    });
  }
  if (Context.Options.User)
    report.SetUser(FromUtf8(*Context.Options.User));
  const TOutcome outcome = ProfileActionOnce(Context, Profile, All, Repair, report);
  if (Context.Json) {
    report.SetResult(outcome.Ok, outcome.Message);
    Context.Out << report.Text();
  }
  return outcome.Ok ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
