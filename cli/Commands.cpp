#include "cli/Commands.h"

#include <CLI/CLI.hpp>

namespace brindel::cli {
namespace {

void NoArguments(CLI::App&, TCommandArguments&) {}

void ProfileArgument(CLI::App& Command, TCommandArguments& Arguments) {
  Command.add_option("PROFIL", Arguments.Profile, "Schlüsselname des Profils")->required();
}

// One profile, or with --all every profile of the tree.
void ProfileOrAll(CLI::App& Command, TCommandArguments& Arguments) {
  Command.add_option("PROFIL", Arguments.Profile, "Schlüsselname des Profils");
  Command.add_flag("--all", Arguments.All,
                   "jedes Profil des Profilbaums nacheinander, jedes mit eigener Sicherung und "
                   "eigenem Protokoll");
}

const TCommand kCommands[] = {
    {"profiles", "die Profile auflisten, das Standardprofil markiert", NoArguments,
     [](const TCliContext& Context, const TCommandArguments&) { return RunProfiles(Context); }},
    {"analyse", "ein Profil auslesen (ändert nichts)", ProfileOrAll,
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunProfileAction(Context, Arguments.Profile, Arguments.All, false);
     }},
    {"repair", "ein Profil auslesen, sichern und reparieren (Auslesen, dann Löschen)", ProfileOrAll,
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunProfileAction(Context, Arguments.Profile, Arguments.All, true);
     }},
    {"map",
     "ein Profil auslesen und als eingerückten Baum zeigen: Dienste, Provider, Konten und "
     "Abschnitte, jeder Eintrag mit dem, was die Reparatur mit ihm täte (ändert nichts; das "
     "Protokoll nur mit --log)",
     ProfileArgument,
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunMap(Context, Arguments.Profile);
     }},
    {"restore",
     "ein Profil genau so wiederherstellen, wie eine Sicherung es hält (ohne DATEI: "
     "PROFIL-original.reg); der jetzige Stand wird vorher gesichert",
     [](CLI::App& Command, TCommandArguments& Arguments) {
       ProfileArgument(Command, Arguments);
       Command.add_option("DATEI", Arguments.File, "die Sicherung, eine .reg-Datei");
     },
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunRestore(Context, Arguments.Profile, Arguments.File);
     }},
    {"export", "einen Schlüssel als .reg-Datei exportieren",
     [](CLI::App& Command, TCommandArguments& Arguments) {
       Command
           .add_option("SCHLÜSSEL", Arguments.Key, "Schlüssel, z. B. HKEY_CURRENT_USER\\Software")
           ->required();
       Command.add_option("DATEI", Arguments.File, "Zieldatei")->required();
     },
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunExport(Context, Arguments.Key, Arguments.File);
     }},
    {"versions", "die gefundenen Outlook-Installationen: Name mit Bit-Angabe, Tab, OUTLOOK.EXE",
     NoArguments,
     [](const TCliContext& Context, const TCommandArguments&) { return RunVersions(Context); }},
    {"file-version", "alle Angaben der Versionsressource einer Datei, je Zeile Name=Wert",
     [](CLI::App& Command, TCommandArguments& Arguments) {
       Command.add_option("DATEI", Arguments.File, "die Datei, z. B. OUTLOOK.EXE")->required();
     },
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunFileVersion(Context, Arguments.File);
     },
     false},
    {"import", "eine .reg-Datei (REGEDIT4) in die Registry einlesen",
     [](CLI::App& Command, TCommandArguments& Arguments) {
       Command.add_option("DATEI", Arguments.File, "die .reg-Datei")->required();
     },
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunImport(Context, Arguments.File);
     }},
    {"find", "Schlüssel- und Wertnamen suchen, die TEXT enthalten",
     [](CLI::App& Command, TCommandArguments& Arguments) {
       Command.add_option("TEXT", Arguments.Find.Text, "der gesuchte Text")->required();
       Command
           .add_option("SCHLÜSSEL", Arguments.Find.Key,
                       "wo die Suche beginnt, z. B. HKEY_CURRENT_USER\\Software")
           ->required();
       Command.add_flag("--keys", Arguments.Find.Keys, "Schlüsselnamen durchsuchen");
       Command.add_flag("--values", Arguments.Find.Values, "Wertnamen durchsuchen");
       Command.add_flag("--whole", Arguments.Find.Whole, "nur ganze Namen vergleichen");
     },
     [](const TCliContext& Context, const TCommandArguments& Arguments) {
       return RunFind(Context, Arguments.Find);
     }},
};

}  // namespace

std::span<const TCommand> Commands() {
  return kCommands;
}

}  // namespace brindel::cli
