#pragma once

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
};

// Opens a key named as in a key line (root name, then the path) on `Reg`; without a
// path the whole root. Shows the error and returns false when it cannot.
bool OpenKeyLine(regfile::TExRegistry& Reg, const std::u16string& Key, CliView& View);
// Writes the whole HKEY_CURRENT_USER tree as .reg text (--save-reg).
bool SaveRegistry(registry::store::RegistryStore& Store, const std::string& File, CliView& View);
// True, with the message shown, when `File` is, by identity, a hive file that the run
// holds open: writing there would replace the hive.
bool RefuseOpenHive(const std::string& File, CliView& View);

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
