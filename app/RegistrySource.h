#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RunOptions.h"
#include "app/StoreSession.h"
#include "app/UserProfiles.h"
#include "registry/store/RegistryStore.h"

namespace brindel::registry::store {
class HiveStore;
}

namespace brindel::app {

// The registry of a run, opened.
struct TRegistrySource {
  std::unique_ptr<registry::store::RegistryStore> Store;
  // How Store keeps the changes of the run; it works on Store, which outlives it.
  std::unique_ptr<TStoreSession> Session;
  // What the user should know about the source (a hive opened read-only and why).
  std::vector<std::u16string> Notices;
  // Why changes cannot be made, when the user's registry opened read-only although
  // writing was asked for (a hive Windows did not close cleanly); empty otherwise.
  std::u16string ReadOnlyReason;
  // The documents folder the source implies (that user's on a mounted disk), if any.
  std::optional<std::u16string> Documents;
  // Files the source made for the run (the demo's Windows folder); removed with it.
  std::shared_ptr<void> Scratch;
};

// True when the options name a registry, or the system has one of its own.
bool HasRegistrySource(const TRunOptions& Options);

// Opens the registry the options name: the demo and .reg files loaded into a memory
// store, or hive files (read-only when `ReadOnly`). Raises platform::Exception with a
// German message for wrong combinations and for files that cannot be used.
TRegistrySource OpenRegistrySource(const TRunOptions& Options, bool ReadOnly);

class TMainDlg;

// Gives the flow object what the options and the source decide: the Outlook version,
// the profile tree, the store session; returns the documents folder for FormCreate
// (nullopt: ask the platform).
std::optional<std::u16string> ApplyRunOptions(const TRunOptions& Options,
                                              const TRegistrySource& Source, TMainDlg& Dlg);

// The text of the built-in demo registry (.reg bytes), and the bytes of the
// OUTLOOK.EXE that its installation names.
std::string_view DemoRegistryText();
std::string_view DemoOutlookExe();

// The users of the installation the options name, in the order --all-users works on
// them, and the profiles it leaves out: those of --windows-root, or of the running
// Windows. Raises platform::Exception with a German message where there are none to
// list.
TUserList ListUsers(const TRunOptions& Options);

// The live registry exists on Windows only: a _posix and a _win32 variant.

// True where the program runs on the registry of the system itself, which is then
// the source when no other is named.
bool HasLiveRegistry();
// The registry of the logged-on user, or with --user that of another user of this
// Windows: where it is loaded (the user is logged on) the live one, otherwise the
// user's NTUSER.DAT beside the live machine part.
TRegistrySource OpenLiveSource(const TRunOptions& Options, bool ReadOnly);
TUserList ListLiveUsers();

// Opens the hive files that --hive and --windows-root name.
TRegistrySource OpenHiveSource(const TRunOptions& Options, bool ReadOnly);
TUserList ListRootUsers(const TRunOptions& Options);
// A source of one user hive as HKEY_CURRENT_USER, nothing else mounted.
TRegistrySource OpenUserHive(const std::filesystem::path& Hive, bool ReadOnly);
// How a hive store keeps the changes of a run: in memory until flushed.
std::unique_ptr<TStoreSession> MakeHiveSession(registry::store::HiveStore& Hives);

}  // namespace brindel::app
