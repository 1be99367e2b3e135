#pragma once

#include <optional>
#include <string>
#include <vector>

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

}  // namespace brindel::app
