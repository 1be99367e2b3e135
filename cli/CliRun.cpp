#include "cli/CliRun.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "cli/JsonReport.h"
#include "platform/Errors.h"
#include "platform/HeldFile.h"
#include "platform/Text.h"
#include "regfile/StoreExport.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

TCliRun::TCliRun(const TCliContext& Context, bool ReadOnly, bool StartUp)
    : context_(Context),
      source_(app::OpenRegistrySource(Context.Options, ReadOnly)),
      view_(Context.Err),
      dlg_(view_) {
  // The hives are held now: the log file can be told from them.
  if (Context.LogFile)
    Context.LogFile->Open();
  current_.emplace(*source_.Store);
  for (const auto& notice : source_.Notices)
    view_.ShowMessage(notice, app::TMsgDlgType::mtInformation);
  const auto documents = app::ApplyRunOptions(Context.Options, source_, dlg_);
  if (!StartUp)
    return;
  dlg_.FormCreate(documents);
  dlg_.FormShow();
  view_.RunPosted();
}

TCliRun::~TCliRun() = default;

bool TCliRun::Finish() {
  bool ok = true;
  // --save-reg shows the registry as the run leaves it: after the changes are
  // written, and before the store closes, since a closed hive store shows nothing.
  // When the changes could not be written, it would show what the files do not hold.
  const std::u16string flushFailure = source_.Session->Flush();
  if (flushFailure.empty() && context_.SaveReg &&
      !SaveRegistry(*source_.Store, *context_.SaveReg, view_)) {
    ok = false;
  }
  // Closing tries the failed write once more; its message would be the same.
  std::u16string failure = source_.Session->Commit();
  if (!flushFailure.empty())
    failure = flushFailure;
  if (!failure.empty()) {
    view_.ShowMessage(failure, app::TMsgDlgType::mtError);
    ok = false;
  }
  return ok;
}

namespace {

std::u16string OpenHiveRefusal(const std::string& File) {
  return u"„" + FromUtf8(File) +
         u"“ ist eine Hive-Datei, die dieser Lauf geöffnet hat; sie wird nicht überschrieben. "
         u"Geben Sie eine andere Datei an.";
}

}  // namespace

bool RefuseOpenHive(const std::string& File, CliView& View) {
  if (!platform::IsHeldFile(std::filesystem::path(FromUtf8(File))))
    return false;
  View.ShowMessage(OpenHiveRefusal(File), app::TMsgDlgType::mtError);
  return true;
}

void TLogFile::Open() {
  if (platform::IsHeldFile(std::filesystem::path(FromUtf8(path_))))
    throw platform::Exception(OpenHiveRefusal(path_));
  if (opened_)
    return;
  stream_.open(std::filesystem::path(FromUtf8(path_)), std::ios::binary);
  if (!stream_) {
    throw platform::Exception(u"Die Protokolldatei „" + FromUtf8(path_) +
                              u"“ kann nicht angelegt werden.");
  }
  opened_ = true;
}

bool SaveRegistry(registry::store::RegistryStore& Store, const std::string& File, CliView& View) {
  if (RefuseOpenHive(File, View))
    return false;
  std::vector<std::u16string> leftOut;
  if (regfile::SaveStoreAsReg(Store, {registry::store::HKEY_CURRENT_USER}, FromUtf8(File),
                              &leftOut)) {
    // The file holds the rest; what it could not hold is named.
    for (const std::u16string& missing : leftOut)
      View.ShowMessage(missing, app::TMsgDlgType::mtError);
    return leftOut.empty();
  }
  View.ShowMessage(u"Die Registry konnte nicht nach „" + FromUtf8(File) + u"“ geschrieben werden.",
                   app::TMsgDlgType::mtError);
  return false;
}

bool OpenKeyLine(regfile::TExRegistry& Reg, const std::u16string& Key, CliView& View) {
  const auto backslash = Key.find(u'\\');
  const std::u16string rootName = Key.substr(0, backslash);
  const std::u16string path = backslash == std::u16string::npos ? u"" : Key.substr(backslash + 1);
  const auto root = regfile::RootKeyFromName(rootName);
  if (!root) {
    View.ShowMessage(u"„" + rootName + u"“ ist kein Stammschlüssel wie HKEY_CURRENT_USER.",
                     app::TMsgDlgType::mtError);
    return false;
  }
  Reg.SetRoot(*root, u"");
  if (!path.empty() && !Reg.OpenReadOnly(path)) {
    View.ShowMessage(u"Der Schlüssel „" + Key + u"“ lässt sich nicht öffnen.",
                     app::TMsgDlgType::mtError);
    return false;
  }
  return true;
}

void TCliRun::PrintLog() {
  std::ostream& log = context_.LogFile ? context_.LogFile->Stream()
                      : context_.Log   ? *context_.Log
                                       : context_.Out;
  if (!headed_ && !context_.UserHeading.empty())
    log << ToUtf8(context_.UserHeading) << '\n';
  headed_ = true;
  for (const auto& line : view_.LogLines())
    log << ToUtf8(line) << '\n';
  log.flush();
}

namespace {

// The log file must not be the hive of a user who comes later: by then the users
// before would have written into it.
void RefuseLogOnUserHives(const TCliContext& Context, const app::TUserList& Users) {
  if (!Context.LogFile)
    return;
  const auto log = platform::IdentityOf(std::filesystem::path(FromUtf8(Context.LogFile->Path())));
  if (!log)
    return;
  for (const app::TWindowsUser& user : Users.Users) {
    if (!user.Hive.empty() &&
        platform::IdentityOf(std::filesystem::path(FromUtf8(user.Hive))) == log) {
      throw platform::Exception(OpenHiveRefusal(Context.LogFile->Path()));
    }
  }
}

}  // namespace

std::string AllUsersUsageProblem(const TCliContext& Context, std::string_view Command) {
  if (!Context.AllUsers)
    return {};
  if (Command != "profiles" && Command != "analyse" && Command != "repair")
    return "--all-users gilt für profiles, analyse --all und repair --all.";
  if (Context.Options.User)
    return "--all-users und --user schließen einander aus.";
  if (Context.SaveReg)
    return "--save-reg schreibt die Registry eines Benutzers, nicht mit --all-users.";
  const app::TRunOptions& options = Context.Options;
  if (options.Demo || !options.RegFiles.empty() || !options.Hives.empty())
    return "--all-users gilt für die Benutzer einer Windows-Installation, nicht mit --demo, "
           "--reg oder --hive.";
  if (!options.WindowsRoot && !app::HasLiveRegistry())
    return "--all-users ohne --windows-root meint die Benutzer des laufenden Windows; hier "
           "läuft keines. Für eine eingehängte Windows-Installation: --windows-root ORDNER "
           "--all-users.";
  return {};
}

int RunForEveryUser(const TCliContext& Context, TJsonReport& Report,
                    const std::function<TOutcome(const TCliContext&)>& RunUser) {
  const app::TUserList users = app::ListUsers(Context.Options);
  RefuseLogOnUserHives(Context, users);
  for (const app::TSkippedUser& skipped : users.Skipped) {
    Context.Err << "Information: Übersprungen: " << ToUtf8(skipped.Who) << " ("
                << ToUtf8(skipped.Why) << ")\n";
    Report.AddSkipped(skipped.Who, skipped.Why);
  }
  bool allOk = !users.Users.empty();
  std::u16string message;
  if (users.Users.empty()) {
    message = u"Es gibt keinen Benutzer mit einer Registry (NTUSER.DAT).";
    Context.Err << "Fehler: " << ToUtf8(message) << '\n';
  }
  for (const app::TWindowsUser& user : users.Users) {
    TCliContext one = Context;
    one.AllUsers = false;
    // By the SID where there is one: two profile folders of one name cannot be mixed up.
    one.Options.User = ToUtf8(user.Sid.empty() ? user.Name : user.Sid);
    one.UserHeading = u"Benutzer „" + user.Name + u"“:";
    Context.Err << "Information: " << ToUtf8(one.UserHeading) << '\n';
    Report.BeginUser(user.Name);
    TOutcome outcome;
    try {
      outcome = RunUser(one);
    } catch (const platform::Exception& error) {
      Context.Err << "Fehler: " << error.what() << '\n';
      outcome = {false, error.Message(), false};
    } catch (const std::exception& error) {
      Context.Err << "Fehler: " << error.what() << '\n';
      outcome = {false, FromUtf8(error.what()), false};
    }
    const bool ok = outcome.Ok || outcome.NoProfiles;
    Report.EndUser(ok, ok ? u"" : outcome.Message,
                   outcome.NoProfiles ? u"keine Outlook-Profile" : u"");
    if (!ok) {
      allOk = false;
      message += (message.empty() ? u"" : u" ") + user.Name + u": " + outcome.Message;
    }
  }
  if (Context.Json) {
    Report.SetResult(allOk, message);
    Context.Out << Report.Text();
  }
  return allOk ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
