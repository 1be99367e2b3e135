#pragma once

#include <fstream>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/MainDlg.h"
#include "app/RegistrySource.h"
#include "cli/CliView.h"
#include "regfile/ExRegistry.h"
#include "registry/store/RegistryStore.h"

namespace brindel::cli {

// Exit statuses that scripts test.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // ended with an error, refused, or nothing found
inline constexpr int kExitUsage = 2;

// The file of --log. It is opened, and emptied, only once a run holds its registry:
// a run that cannot start leaves it as it was, and a file that is one of the run's
// hives is refused before a byte of it is touched.
class TLogFile {
 public:
  explicit TLogFile(std::string Path) : path_(std::move(Path)) {}

  // Opens the file the first time; every run asks again whether it is one of its
  // hives. Raises platform::Exception with the German reason when it may not or
  // cannot be written.
  void Open();
  std::ostream& Stream() { return stream_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::ofstream stream_;
  bool opened_ = false;
};

// What every command gets: the options and where to write.
struct TCliContext {
  app::TRunOptions Options;
  std::optional<std::string> SaveReg;  // --save-reg
  std::ostream& Out;
  std::ostream& Err;
  // Where the German log goes: standard output, or with --json standard error, or
  // the file of --log.
  std::ostream* Log = nullptr;
  bool Json = false;  // --json: one JSON document on Out
  // --log: Log is its stream once a run has opened it.
  TLogFile* LogFile = nullptr;
  // --all-users: the command runs for every user of the installation in turn.
  bool AllUsers = false;
  // The line the log of one of those users begins with.
  std::u16string UserHeading{};
};

// One run of the flow without a window: the registry source opened and installed as
// the current store, the flow object created, shown and started up.
class TCliRun {
 public:
  // Commands that only work on keys (export, find) need no start-up of the flow.
  TCliRun(const TCliContext& Context, bool ReadOnly, bool StartUp = true);
  ~TCliRun();

  app::TMainDlg& Dlg() { return dlg_; }
  CliView& View() { return view_; }
  // Makes the changes durable and writes --save-reg; false (with a message) when
  // something could not be written.
  bool Finish();
  void Discard() { source_.Session->Discard(); }
  bool CanDiscard() const { return source_.Session->CanDiscard(); }
  registry::store::RegistryStore& Store() { return *source_.Store; }
  // Writes the log as the view holds it: to standard output, or where --log and
  // --json send it.
  void PrintLog();

 private:
  const TCliContext& context_;
  app::TRegistrySource source_;
  std::optional<registry::store::ScopedCurrentStore> current_;
  CliView view_;
  app::TMainDlg dlg_;
  bool headed_ = false;  // UserHeading is in the log
};

// Opens a key named as in a key line (root name, then the path) on `Reg`; without a
// path the whole root. Shows the error and returns false when it cannot.
bool OpenKeyLine(regfile::TExRegistry& Reg, const std::u16string& Key, CliView& View);
// Writes the whole HKEY_CURRENT_USER tree as .reg text (--save-reg).
bool SaveRegistry(registry::store::RegistryStore& Store, const std::string& File, CliView& View);
// True, with the message shown, when `File` is, by identity, a hive file that the run
// holds open: writing there would replace the hive.
bool RefuseOpenHive(const std::string& File, CliView& View);

// What the command did for one registry: for --all-users one user's.
struct TOutcome {
  bool Ok = false;
  std::u16string Message;   // the errors, in one line
  bool NoProfiles = false;  // the user has no Outlook profiles
};

class TJsonReport;

// Why --all-users does not go with the command or the other options; empty when it
// does (or is not given).
std::string AllUsersUsageProblem(const TCliContext& Context, std::string_view Command);

// --all-users: the command for every user of the installation in turn, each with a
// registry source of their own (Options.User set) and their own backups and logs.
// `RunUser` reports into the user's entry of `Report`. A user without Outlook
// profiles is reported, not failed. The exit status is 1 when any user's run failed.
int RunForEveryUser(const TCliContext& Context, TJsonReport& Report,
                    const std::function<TOutcome(const TCliContext&)>& RunUser);

struct TFindOptions {
  std::string Text;
  std::string Key;
  bool Keys = false;
  bool Values = false;
  bool Whole = false;
};

int RunProfiles(const TCliContext& Context);
// "Auslesen" (and with Repair "Löschen") of one profile, or with All of every profile
// of the tree in turn, each with its own backup and log.
int RunProfileAction(const TCliContext& Context, const std::string& Profile, bool All, bool Repair);
int RunExport(const TCliContext& Context, const std::string& Key, const std::string& File);
int RunVersions(const TCliContext& Context);
int RunFileVersion(const TCliContext& Context, const std::string& File);
int RunImport(const TCliContext& Context, const std::string& File);
int RunFind(const TCliContext& Context, const TFindOptions& Find);
// Puts a profile back exactly as a backup holds it (its first backup when no file is
// named).
int RunRestore(const TCliContext& Context, const std::string& Profile, const std::string& File);
// "Auslesen" of one profile, and its map as indented text.
int RunMap(const TCliContext& Context, const std::string& Profile);

}  // namespace brindel::cli
