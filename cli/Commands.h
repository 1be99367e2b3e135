#pragma once

#include <span>
#include <string>

#include "cli/CliRun.h"

namespace CLI {
class App;
}

namespace brindel::cli {

// What the commands' own arguments fill in.
struct TCommandArguments {
  std::string Profile;
  bool All = false;  // --all of analyse and repair
  std::string Key;
  std::string File;
  TFindOptions Find;
};

// One command of brindel-cli: its word, its help line, its own arguments and what it
// does. The command line is made from this table alone.
struct TCommand {
  const char* Name;
  const char* Help;
  void (*AddArguments)(CLI::App& Command, TCommandArguments& Arguments);
  int (*Run)(const TCliContext& Context, const TCommandArguments& Arguments);
  // Reading a file's version needs no registry.
  bool NeedsRegistry = true;
};

std::span<const TCommand> Commands();

}  // namespace brindel::cli
