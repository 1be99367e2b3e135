#include "app/RunOptions.h"

#include <CLI/CLI.hpp>

namespace brindel::app {

void AddRunOptions(CLI::App& App, TRunOptions& Options) {
  App.add_option("--reg", Options.RegFiles,
                 "eine .reg-Datei in eine Registry im Speicher laden (mehrfach möglich, in "
                 "dieser Reihenfolge)")
      ->type_name("DATEI")
      ->take_last()
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  App.add_flag("--demo", Options.Demo, "die eingebaute Demo-Registry verwenden");
  App.add_option("--hive", Options.Hives,
                 "eine Hive-Datei einbinden: HKCU=NTUSER.DAT, HKLM\\SOFTWARE=SOFTWARE oder "
                 "HKLM\\SYSTEM=SYSTEM (mehrfach möglich)")
      ->type_name("WURZEL=DATEI")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  App.add_option("--windows-root", Options.WindowsRoot,
                 "Ordner, in dem eine Windows-Installation eingehängt ist (mit --user)")
      ->type_name("ORDNER");
  App.add_option("--user", Options.User, "der Benutzer der Windows-Installation")
      ->type_name("NAME");
  App.add_option("--profiles-tree", Options.ProfilesTree,
                 "Profilbaum unter HKEY_CURRENT_USER, statt ihn aus der Outlook-Version zu "
                 "bestimmen")
      ->type_name("PFAD");
  App.add_option("--outlook-version", Options.OutlookVersion,
                 "die Outlook-Hauptversion für diesen Lauf, z. B. 16")
      ->type_name("N")
      ->check(CLI::Validator(
          [](const std::string& text) {
            const bool digits = !text.empty() && text.size() <= 4 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            return digits && std::stoi(text) > 0
                       ? std::string()
                       : "„" + text + "“ ist keine Outlook-Hauptversion (eine Zahl wie 16)";
          },
          ""));
  App.add_option("--documents", Options.Documents,
                 "Dokumente-Ordner; die Sicherungen liegen in seinem Unterordner Brindel")
      ->type_name("ORDNER");
}

namespace {

// CLI11's own messages, said in German. Each kind of error has a fixed English form;
// what it names (an option, an argument) is taken over as it stands.
std::string GermanUsageError(const CLI::Error& e) {
  const std::string what = e.what();
  // "NAME: detail", as CLI11 writes errors that belong to one option.
  const auto colon = what.find(": ");
  const std::string name = colon == std::string::npos ? std::string() : what.substr(0, colon);
  const std::string detail = colon == std::string::npos ? what : what.substr(colon + 2);
  if (dynamic_cast<const CLI::ExtrasError*>(&e))
    return "unbekannte Angaben: " + detail;
  if (dynamic_cast<const CLI::RequiredError*>(&e)) {
    if (what == "A subcommand is required")
      return "ein Befehl fehlt";
    const auto is = what.find(" is required");
    return "Pflichtangabe fehlt: " + (is == std::string::npos ? what : what.substr(0, is));
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e))
    return "falsche Zahl von Werten für " + (name.empty() ? what : name);
  if (dynamic_cast<const CLI::ValidationError*>(&e) ||
      dynamic_cast<const CLI::ConversionError*>(&e)) {
    // Our own checks already speak German; they give the whole reason.
    return name.empty() ? "ungültiger Wert" : name + ": " + detail;
  }
  return "falscher Aufruf (" + what + ")";
}

}  // namespace

void UseGermanHelp(CLI::App& App) {
  auto formatter = App.get_formatter();
  formatter->label("Usage", "Aufruf");
  formatter->label("OPTIONS", "OPTIONEN");
  formatter->label("SUBCOMMAND", "BEFEHL");
  formatter->label("SUBCOMMANDS", "BEFEHLE");
  formatter->label("Positionals", "Argumente");
  formatter->label("REQUIRED", "PFLICHT");
  formatter->label("TEXT", "TEXT");
  App.set_help_flag("-h,--help", "diese Hilfe zeigen und beenden");
  // The headings of the help are the names of the groups: options and commands added
  // before and after this call are put into the German ones.
  App.option_defaults()->group("Optionen");
  for (CLI::Option* option : App.get_options()) {
    if (option->get_group() == "Options")
      option->group("Optionen");
  }
  if (App.get_parent() != nullptr)
    App.group("Befehle");
  // The same options on every system: "/x" is a path, not an option, also on Windows.
  App.allow_windows_style_options(false);
  App.failure_message([](const CLI::App* app, const CLI::Error& e) {
    std::string name = app->get_name();
    for (const CLI::App* parent = app->get_parent(); parent; parent = parent->get_parent()) {
      name = parent->get_name() + " " + name;
    }
    return "Fehler: " + GermanUsageError(e) + "\nHilfe: " + name + " --help\n";
  });
}

}  // namespace brindel::app
