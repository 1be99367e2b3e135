#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/store/RegistryStore.h"

namespace CLI {
class App;
}

namespace brindel::app {

// Where the registry of a run comes from, and the settings a front end may give
// instead of asking the platform. Both front ends parse them with the same code.
struct TRunOptions {
  std::vector<std::string> RegFiles;          // --reg, applied in order
  bool Demo = false;                          // --demo
  std::vector<std::string> Hives;             // --hive ROOT=FILE
  std::optional<std::string> WindowsRoot;     // --windows-root, with --user
  std::optional<std::string> User;            // --user
  std::optional<std::string> ProfilesTree;    // --profiles-tree, below HKEY_CURRENT_USER
  std::optional<std::string> OutlookVersion;  // --outlook-version
  std::optional<std::string> Documents;       // --documents
};

// Adds the registry-source options to a command line.
void AddRunOptions(CLI::App& App, TRunOptions& Options);
// German labels for the help text and German messages for wrong usage.
void UseGermanHelp(CLI::App& App);

bool HasRegistrySource(const TRunOptions& Options);

// The registry of a run, opened.
struct TRegistrySource {
  std::unique_ptr<registry::store::RegistryStore> Store;
  // What the user should know about the source (a hive opened read-only and why).
  std::vector<std::u16string> Notices;
  // Why changes cannot be made, when the user's registry opened read-only although
  // writing was asked for (a hive Windows did not close cleanly); empty otherwise.
  std::u16string ReadOnlyReason;
  // The documents folder the source implies (that user's on a mounted disk), if any.
  std::optional<std::u16string> Documents;
  // Makes the changes of an action durable; empty text when that worked, else a
  // German message. Stores in memory have nothing to write.
  std::function<std::u16string()> Commit = [] { return std::u16string(); };
  // Writes the changes so far at the end of an action, without closing; empty text
  // when that worked, else a German message.
  std::function<std::u16string()> Flush = [] { return std::u16string(); };
  // Forgets the changes not yet written, after an action that failed half-way.
  std::function<void()> Discard = [] {};
  // True when Discard really forgets: a store that keeps changes until they are
  // written (hive files). The others change the registry at once.
  bool CanDiscard = false;
  // Files the source made for the run (the demo's Windows folder); removed with it.
  std::shared_ptr<void> Scratch;
};

// Opens the registry the options name: the demo and .reg files loaded into a memory
// store, or hive files (read-only when `ReadOnly`). Raises platform::Exception with a
// German message for wrong combinations and for files that cannot be used.
TRegistrySource OpenRegistrySource(const TRunOptions& Options, bool ReadOnly);

class TMainDlg;

// Gives the flow object what the options and the source decide: the Outlook version,
// the profile tree, and the documents folder for
// FormCreate (nullopt: ask the platform).
std::optional<std::u16string> ApplyRunOptions(const TRunOptions& Options,
                                              const TRegistrySource& Source, TMainDlg& Dlg);

// The text of the built-in demo registry (.reg bytes), and the bytes of the
// OUTLOOK.EXE that its installation names.
std::string_view DemoRegistryText();
std::string_view DemoOutlookExe();

}  // namespace brindel::app
