#include "app/RunOptions.h"

#include <CLI/CLI.hpp>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "app/MainDlg.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "registry/store/HiveStore.h"
#include "registry/store/MemoryStore.h"
#include "registry/store/RegText.h"

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
      ->check(CLI::PositiveNumber);
  App.add_option("--documents", Options.Documents,
                 "Dokumente-Ordner; die Sicherungen liegen in seinem Unterordner Brindel")
      ->type_name("ORDNER");
}

void UseGermanHelp(CLI::App& App) {
  auto formatter = App.get_formatter();
  formatter->label("Usage", "Aufruf");
  formatter->label("OPTIONS", "OPTIONEN");
  formatter->label("Options", "Optionen");
  formatter->label("SUBCOMMAND", "BEFEHL");
  formatter->label("SUBCOMMANDS", "BEFEHLE");
  formatter->label("Subcommands", "Befehle");
  formatter->label("Positionals", "Argumente");
  formatter->label("REQUIRED", "PFLICHT");
  formatter->label("TEXT", "TEXT");
  App.set_help_flag("-h,--help", "diese Hilfe zeigen und beenden");
  App.failure_message([](const CLI::App* app, const CLI::Error& e) {
    std::string text;
    if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
      text = std::string("unbekannte Angaben (") + e.what() + ")";
    } else if (dynamic_cast<const CLI::RequiredError*>(&e)) {
      text = std::string("Pflichtangabe fehlt (") + e.what() + ")";
    } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
      text = std::string("falsche Zahl von Angaben (") + e.what() + ")";
    } else if (dynamic_cast<const CLI::ValidationError*>(&e) ||
               dynamic_cast<const CLI::ConversionError*>(&e)) {
      text = std::string("ungültiger Wert (") + e.what() + ")";
    } else {
      text = std::string("falscher Aufruf (") + e.what() + ")";
    }
    std::string name = app->get_name();
    for (const CLI::App* parent = app->get_parent(); parent; parent = parent->get_parent()) {
      name = parent->get_name() + " " + name;
    }
    return "Fehler: " + text + "\nHilfe: " + name + " --help\n";
  });
}

bool HasRegistrySource(const TRunOptions& Options) {
  return Options.Demo || !Options.RegFiles.empty() || !Options.Hives.empty() ||
         Options.WindowsRoot.has_value();
}

namespace {

using platform::Exception;
using platform::FromUtf8;
using registry::store::HiveStore;
namespace fs = std::filesystem;

// The demo installation's OUTLOOK.EXE, put where its registry says, below a scratch
// folder that stands for drive C: and goes away with the source.
std::shared_ptr<void> MakeDemoWindowsFolder() {
  std::string pattern = (fs::temp_directory_path() / "brindel-demo-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw Exception(u"Für die Demo kann kein temporärer Ordner angelegt werden.");
  }
  const fs::path root = pattern;
  auto remove = std::shared_ptr<void>(nullptr, [root](void*) {
    std::error_code ignored;
    fs::remove_all(root, ignored);
    platform::SetWindowsRoot("");
  });
  const fs::path folder = root / "Program Files" / "Microsoft Office" / "root" / "Office16";
  fs::create_directories(folder);
  const std::string_view exe = DemoOutlookExe();
  std::ofstream(folder / "OUTLOOK.EXE", std::ios::binary)
      .write(exe.data(), static_cast<std::streamsize>(exe.size()));
  platform::SetWindowsRoot(root.string());
  return remove;
}

TRegistrySource OpenMemorySource(const TRunOptions& Options) {
  auto store = std::make_unique<registry::store::MemoryStore>();
  std::shared_ptr<void> scratch;
  if (Options.Demo) {
    const std::string_view demo = DemoRegistryText();
    registry::store::LoadRegText(
        std::span(reinterpret_cast<const std::uint8_t*>(demo.data()), demo.size()), *store);
    scratch = MakeDemoWindowsFolder();
  }
  for (const std::string& file : Options.RegFiles) {
    registry::store::LoadRegTextFile(FromUtf8(file), *store);
  }
  TRegistrySource source;
  source.Store = std::move(store);
  source.Scratch = std::move(scratch);
  return source;
}

// The entry below `folder` whose name equals `name` without regard to letter case,
// as Windows compares the names on its disk.
std::optional<fs::path> FindOnDisk(const fs::path& folder,
                                   std::initializer_list<std::string> names) {
  fs::path path = folder;
  for (const std::string& name : names) {
    std::optional<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) {
      if (platform::SameTextIgnoreCase(FromUtf8(entry.path().filename().string()),
                                       FromUtf8(name))) {
        found = entry.path();
        break;
      }
    }
    if (!found)
      return std::nullopt;
    path = *found;
  }
  return path;
}

void Mount(HiveStore& store, TRegistrySource& source, HiveStore::MountPoint where,
           const fs::path& file, bool ReadOnly) {
  const HiveStore::MountResult result = store.Mount(where, file);
  // A repair on a user hive that takes no changes would report deletions that never
  // reach the file; the run may read it, but "Löschen" is refused before anything is
  // done. The machine hives are only read by a run, so a dirty SOFTWARE hive does not
  // stand in the way.
  if (!ReadOnly && result.readOnly && where == HiveStore::MountPoint::CurrentUser) {
    source.ReadOnlyReason = result.notice + u" Reparieren ist deshalb nicht möglich, nur Auslesen.";
  }
  if (!result.notice.empty())
    source.Notices.push_back(result.notice);
}

TRegistrySource OpenHiveSource(const TRunOptions& Options, bool ReadOnly) {
  auto store = std::make_unique<HiveStore>(ReadOnly ? HiveStore::Mode::ReadOnly
                                                    : HiveStore::Mode::ReadWrite);
  TRegistrySource source;
  if (Options.WindowsRoot) {
    if (!Options.User) {
      throw Exception(u"Zu --windows-root gehört --user NAME: wessen Registry soll es sein?");
    }
    const fs::path root = *Options.WindowsRoot;
    if (!fs::is_directory(root)) {
      throw Exception(u"Den Ordner „" + FromUtf8(*Options.WindowsRoot) +
                      u"“ gibt es nicht; dort sollte eine Windows-Installation eingehängt sein.");
    }
    const auto userHive = FindOnDisk(root, {"Users", *Options.User, "NTUSER.DAT"});
    if (!userHive) {
      throw Exception(u"Unter „" + FromUtf8(*Options.WindowsRoot) +
                      u"“ gibt es keine Datei Users/" + FromUtf8(*Options.User) + u"/NTUSER.DAT.");
    }
    Mount(*store, source, HiveStore::MountPoint::CurrentUser, *userHive, ReadOnly);
    if (const auto software = FindOnDisk(root, {"Windows", "System32", "config", "SOFTWARE"})) {
      Mount(*store, source, HiveStore::MountPoint::MachineSoftware, *software, ReadOnly);
    }
    platform::SetWindowsRoot(*Options.WindowsRoot);
    // That user's documents folder, also when it is missing: the backup then fails
    // with its own message instead of landing on the rescue system's disk.
    const auto documents = FindOnDisk(userHive->parent_path(), {"Documents"});
    source.Documents =
        FromUtf8((documents ? *documents : userHive->parent_path() / "Documents").string());
  }
  for (const std::string& hive : Options.Hives) {
    const auto equals = hive.find('=');
    const std::string where = hive.substr(0, equals);
    const std::u16string upper = platform::UpperCase(FromUtf8(where));
    HiveStore::MountPoint point;
    if (upper == u"HKCU" || upper == u"HKEY_CURRENT_USER") {
      point = HiveStore::MountPoint::CurrentUser;
    } else if (upper == u"HKLM\\SOFTWARE" || upper == u"HKEY_LOCAL_MACHINE\\SOFTWARE") {
      point = HiveStore::MountPoint::MachineSoftware;
    } else if (upper == u"HKLM\\SYSTEM" || upper == u"HKEY_LOCAL_MACHINE\\SYSTEM") {
      point = HiveStore::MountPoint::MachineSystem;
    } else {
      throw Exception(u"--hive " + FromUtf8(hive) +
                      u": erwartet HKCU=DATEI, HKLM\\SOFTWARE=DATEI oder HKLM\\SYSTEM=DATEI.");
    }
    if (equals == std::string::npos || equals + 1 == hive.size()) {
      throw Exception(u"--hive " + FromUtf8(hive) +
                      u": nach dem Gleichheitszeichen fehlt die Datei.");
    }
    Mount(*store, source, point, hive.substr(equals + 1), ReadOnly);
  }
  HiveStore* hives = store.get();
  source.Flush = [hives]() -> std::u16string {
    if (hives->FlushKey(registry::store::HKEY_CURRENT_USER) == registry::store::ERROR_SUCCESS) {
      return {};
    }
    const std::u16string& failure = hives->LastWriteError();
    return failure.empty() ? u"Die Änderungen konnten nicht in die Hive-Dateien geschrieben werden."
                           : failure;
  };
  source.Discard = [hives] { hives->DiscardChanges(); };
  source.Commit = [hives] {
    // A key that could not be read makes what the run showed incomplete: that is an
    // error too, also for a run that only read.
    const std::u16string damage = hives->DamageNotice();
    if (hives->Close() != registry::store::ERROR_SUCCESS) {
      const std::u16string& failure = hives->LastWriteError();
      return failure.empty()
                 ? u"Die Änderungen konnten nicht in die Hive-Dateien geschrieben werden."
                 : failure;
    }
    return damage;
  };
  source.Store = std::move(store);
  return source;
}

}  // namespace

TRegistrySource OpenRegistrySource(const TRunOptions& Options, bool ReadOnly) {
  const bool memory = Options.Demo || !Options.RegFiles.empty();
  const bool hives = !Options.Hives.empty() || Options.WindowsRoot.has_value();
  if (memory && hives) {
    throw Exception(
        u"Bitte nur eine Art von Registry angeben: --demo und --reg laden .reg-Text, --hive "
        u"und --windows-root binden Hive-Dateien ein.");
  }
  if (Options.User && !Options.WindowsRoot) {
    throw Exception(u"--user gilt nur zusammen mit --windows-root.");
  }
  return hives ? OpenHiveSource(Options, ReadOnly) : OpenMemorySource(Options);
}

std::optional<std::u16string> ApplyRunOptions(const TRunOptions& Options,
                                              const TRegistrySource& Source, TMainDlg& Dlg) {
  if (Options.OutlookVersion)
    Dlg.cOutlookVersion = FromUtf8(*Options.OutlookVersion);
  if (Options.ProfilesTree)
    Dlg.cProfilesTree = FromUtf8(*Options.ProfilesTree);
  Dlg.cFlushStore = Source.Flush;
  Dlg.cDiscardChanges = Source.Discard;
  Dlg.cReadOnlyReason = Source.ReadOnlyReason;
  if (Options.Documents)
    return FromUtf8(*Options.Documents);
  return Source.Documents;
}

}  // namespace brindel::app
