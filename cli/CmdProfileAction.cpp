#include <ostream>

#include "cli/CliRun.h"
#include "cli/JsonReport.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "profile/Findings.h"

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

std::u16string ErrorsSince(const CliView& View, std::size_t From) {
  std::u16string text;
  for (std::size_t i = From; i < View.Errors().size(); ++i)
    text += (text.empty() ? u"" : u" ") + View.Errors()[i];
  return text;
}

}  // namespace

// "Auslesen", and for a repair "Löschen", as the window runs them: one profile, or
// every profile of the tree in turn over the same registry, so that each repair sees
// what the ones before it left.
int RunProfileAction(const TCliContext& Context, const std::string& Profile, bool All,
                     bool Repair) {
  if (All == !Profile.empty()) {
    Context.Err << "Fehler: Bitte entweder ein PROFIL oder --all angeben.\n"
                << "Hilfe: brindel-cli " << (Repair ? "repair" : "analyse") << " --help\n";
    return kExitUsage;
  }
  TCliRun run(Context, !Repair);
  std::vector<std::u16string> names;
  if (All) {
    for (int i = 0; i < run.Dlg().StrList.Count(); ++i)
      names.push_back(run.Dlg().StrList[i].ProfilName);
  } else {
    names.push_back(FromUtf8(Profile));
  }
  TJsonReport report(Repair ? "repair" : "analyse");
  // A tree without profiles has nothing to do; the start-up has said so.
  bool allDone = !names.empty();
  for (const std::u16string& name : names) {
    const std::size_t errorsBefore = run.View().Errors().size();
    report.BeginRun(name, run.Dlg().RegTreeToUse + u"\\" + name);
    const bool chosen = run.ChooseProfile(name);
    bool done = false;
    if (chosen) {
      done = run.Dlg().Analyse();
    }
    if (done) {
      const profile::TFindings findings = profile::CollectFindings(run.Dlg().Analysis);
      report.SetFound(findings);
      if (Repair) {
        done = run.Dlg().Repair();
        const profile::TBackupResult& backup = run.Dlg().LastBackup;
        if (!backup.CurrentFile.empty() && platform::FileExists(ToUtf8(backup.CurrentFile))) {
          report.AddBackupFile(u"current", backup.CurrentFile, backup.Ok);
          report.AddBackupFile(u"first", backup.FirstFile,
                               backup.Ok && SameFile(backup.CurrentFile, backup.FirstFile));
        }
        if (backup.Proof.Proven)
          report.SetBackupProof(backup.Proof.Keys, backup.Proof.Values);
        if (done)
          report.SetDone(findings);
      }
    }
    if (chosen)
      run.PrintLog();
    report.EndRun(done, ErrorsSince(run.View(), errorsBefore));
    allDone = allDone && done;
  }
  const std::size_t errorsBefore = run.View().Errors().size();
  const bool finished = run.Finish();
  if (Context.Json) {
    report.SetResult(allDone && finished, ErrorsSince(run.View(), errorsBefore));
    Context.Out << report.Text();
  }
  return allDone && finished ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
