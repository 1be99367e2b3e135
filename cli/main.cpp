// brindel-cli: the run of the window without one, for scripts and rescue systems.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/RegistrySource.h"
#include "app/RunOptions.h"
#include "app/Version.h"
#include "cli/CliRun.h"
#include "cli/Commands.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
  using namespace brindel;
  platform::UseUnicodeConsole();
  std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
  std::vector<char*> argumentPointers;
  for (std::string& argument : arguments)
    argumentPointers.push_back(argument.data());
  CLI::App app{
      "Brindel findet und repariert, was in den Mailprofilen von Microsoft Outlook in der "
      "Registry kaputt ist.",
      "brindel-cli"};
  app.set_version_flag("--version", std::string("brindel-cli ") + app::kVersionCaption,
                       "die Version zeigen und beenden");
  app.require_subcommand(1);

  cli::TCliContext context{{}, std::nullopt, std::cout, std::cerr};
  app::AddRunOptions(app, context.Options);
  app.add_option("--save-reg", context.SaveReg,
                 "nach dem Befehl den ganzen Baum HKEY_CURRENT_USER als .reg-Datei schreiben")
      ->type_name("DATEI");
  app.add_flag("--json", context.Json,
               "profiles, analyse, repair, restore und versions: ein JSON-Bericht auf der "
               "Standardausgabe; das Protokoll geht dann auf die Standardfehlerausgabe");
  std::optional<std::string> logFile;
  app.add_option("--log", logFile, "das Protokoll in diese Datei statt auf den Bildschirm")
      ->type_name("DATEI");
  app.add_flag("--all-users", context.AllUsers,
               "profiles, analyse --all und repair --all für jeden Benutzer der "
               "Windows-Installation nacheinander (mit --windows-root, unter Windows sonst die "
               "laufende), jeder mit eigenen Sicherungen und Protokollen im eigenen "
               "Dokumente-Ordner");

  cli::TCommandArguments commandArguments;
  std::vector<std::pair<CLI::App*, const cli::TCommand*>> commands;
  for (const cli::TCommand& command : cli::Commands()) {
    CLI::App* sub = app.add_subcommand(command.Name, command.Help);
    command.AddArguments(*sub, commandArguments);
    app::UseGermanHelp(*sub);
    commands.emplace_back(sub, &command);
  }
  app::UseGermanHelp(app);

  try {
    app.parse(static_cast<int>(argumentPointers.size()), argumentPointers.data());
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? cli::kExitDone : cli::kExitUsage;
  }
  // The German log: into --log (opened by the run once its hives are held), else
  // beside the JSON report on standard error, else on standard output.
  std::optional<cli::TLogFile> log;
  if (logFile) {
    log.emplace(*logFile);
    context.LogFile = &*log;
  } else if (context.Json) {
    context.Log = &std::cerr;
  }
  const cli::TCommand* chosen = nullptr;
  for (const auto& [sub, command] : commands) {
    if (*sub)
      chosen = command;
  }
  if (chosen == nullptr)
    return cli::kExitUsage;
  if (const std::string problem = cli::AllUsersUsageProblem(context, chosen->Name);
      !problem.empty()) {
    std::cerr << "Fehler: " << problem << "\nHilfe: brindel-cli --help\n";
    return cli::kExitUsage;
  }
  if (chosen->NeedsRegistry && !context.AllUsers && !app::HasRegistrySource(context.Options)) {
    if (context.Options.User) {
      std::cerr << "Fehler: --user ohne --windows-root meint einen Benutzer des laufenden "
                   "Windows; hier läuft keines. Für eine eingehängte Windows-Installation: "
                   "--windows-root ORDNER --user NAME.\n";
    } else {
      std::cerr << "Fehler: keine Registry angegeben. Mögliche Quellen: --demo, --reg DATEI, "
                   "--hive HKCU=DATEI oder --windows-root ORDNER --user NAME.\n";
    }
    std::cerr << "Hilfe: brindel-cli --help\n";
    return cli::kExitUsage;
  }
  try {
    return chosen->Run(context, commandArguments);
  } catch (const platform::Exception& e) {
    std::cerr << "Fehler: " << e.what() << '\n';
    return cli::kExitFailed;
  } catch (const std::exception& e) {
    std::cerr << "Fehler: " << e.what() << '\n';
    return cli::kExitFailed;
  }
}
