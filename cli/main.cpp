// brindel-cli: the run of the window without one, for scripts and rescue systems.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "app/RunOptions.h"
#include "app/Version.h"
#include "cli/CliRun.h"
#include "platform/Console.h"
#include "platform/Errors.h"

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

  std::string profile, key, file;
  auto* profiles =
      app.add_subcommand("profiles", "die Profile auflisten, das Standardprofil markiert");
  auto* analyse = app.add_subcommand("analyse", "ein Profil auslesen (ändert nichts)");
  analyse->add_option("PROFIL", profile, "Schlüsselname des Profils")->required();
  auto* repair = app.add_subcommand(
      "repair", "ein Profil auslesen, sichern und reparieren (Auslesen, dann Löschen)");
  repair->add_option("PROFIL", profile, "Schlüsselname des Profils")->required();
  auto* exportKey = app.add_subcommand("export", "einen Schlüssel als .reg-Datei exportieren");
  exportKey->add_option("SCHLÜSSEL", key, "Schlüssel, z. B. HKEY_CURRENT_USER\\Software")->required();
  exportKey->add_option("DATEI", file, "Zieldatei")->required();
  auto* versions = app.add_subcommand(
      "versions", "die gefundenen Outlook-Installationen: Name mit Bit-Angabe, Tab, OUTLOOK.EXE");
  auto* fileVersion = app.add_subcommand(
      "file-version", "alle Angaben der Versionsressource einer Datei, je Zeile Name=Wert");
  fileVersion->add_option("DATEI", file, "die Datei, z. B. OUTLOOK.EXE")->required();
  auto* import =
      app.add_subcommand("import", "eine .reg-Datei (REGEDIT4) in die Registry einlesen");
  import->add_option("DATEI", file, "die .reg-Datei")->required();
  cli::TFindOptions find;
  auto* findCommand =
      app.add_subcommand("find", "Schlüssel- und Wertnamen suchen, die TEXT enthalten");
  findCommand->add_option("TEXT", find.Text, "der gesuchte Text")->required();
  findCommand
      ->add_option("SCHLÜSSEL", find.Key, "wo die Suche beginnt, z. B. HKEY_CURRENT_USER\\Software")
      ->required();
  findCommand->add_flag("--keys", find.Keys, "Schlüsselnamen durchsuchen");
  findCommand->add_flag("--values", find.Values, "Wertnamen durchsuchen");
  findCommand->add_flag("--whole", find.Whole, "nur ganze Namen vergleichen");
  for (auto* command :
       {profiles, analyse, repair, exportKey, versions, fileVersion, import, findCommand}) {
    app::UseGermanHelp(*command);
  }
  app::UseGermanHelp(app);

  try {
    app.parse(static_cast<int>(argumentPointers.size()), argumentPointers.data());
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? cli::kExitDone : cli::kExitUsage;
  }
  // Reading a file's version needs no registry.
  if (*fileVersion)
    return cli::RunFileVersion(context, file);
  if (!app::HasRegistrySource(context.Options)) {
    std::cerr << "Fehler: keine Registry angegeben. Mögliche Quellen: --demo, --reg DATEI, "
                 "--hive HKCU=DATEI oder --windows-root ORDNER --user NAME.\n"
                 "Hilfe: brindel-cli --help\n";
    return cli::kExitUsage;
  }
  try {
    if (*profiles)
      return cli::RunProfiles(context);
    if (*analyse)
      return cli::RunAnalyse(context, profile);
    if (*repair)
      return cli::RunRepair(context, profile);
    if (*exportKey)
      return cli::RunExport(context, key, file);
    if (*versions)
      return cli::RunVersions(context);
    if (*import)
      return cli::RunImport(context, file);
    if (*findCommand)
      return cli::RunFind(context, find);
  } catch (const platform::Exception& e) {
    std::cerr << "Fehler: " << e.what() << '\n';
    return cli::kExitFailed;
  } catch (const std::exception& e) {
    std::cerr << "Fehler: " << e.what() << '\n';
    return cli::kExitFailed;
  }
  return cli::kExitUsage;
}
