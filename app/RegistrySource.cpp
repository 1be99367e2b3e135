#include "app/RegistrySource.h"

#include <filesystem>
#include <fstream>

#include "app/MainDlg.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "regfile/RegText.h"
#include "registry/store/MemoryStore.h"

namespace brindel::app {

bool HasRegistrySource(const TRunOptions& Options) {
  return Options.Demo || !Options.RegFiles.empty() || !Options.Hives.empty() ||
         Options.WindowsRoot.has_value() || HasLiveRegistry();
}

namespace {

using platform::Exception;
using platform::FromUtf8;
namespace fs = std::filesystem;

// The demo installation's OUTLOOK.EXE, put where its registry says, below a scratch
// folder that stands for drive C: and goes away with the source.
std::shared_ptr<void> MakeDemoWindowsFolder() {
  const auto scratch = platform::MakeTemporaryFolder("brindel-demo-");
  if (!scratch) {
    throw Exception(u"Für die Demo kann kein temporärer Ordner angelegt werden.");
  }
  const fs::path root = fs::path(FromUtf8(*scratch));
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
  platform::SetWindowsRoot(*scratch);
  return remove;
}

TRegistrySource OpenMemorySource(const TRunOptions& Options) {
  auto store = std::make_unique<registry::store::MemoryStore>();
  std::shared_ptr<void> scratch;
  if (Options.Demo) {
    const std::string_view demo = DemoRegistryText();
    regfile::LoadRegText(std::span(reinterpret_cast<const std::uint8_t*>(demo.data()), demo.size()),
                         *store);
    scratch = MakeDemoWindowsFolder();
  }
  for (const std::string& file : Options.RegFiles) {
    regfile::LoadRegTextFile(FromUtf8(file), *store);
  }
  TRegistrySource source;
  source.Session = std::make_unique<TImmediateSession>(*store);
  source.Store = std::move(store);
  source.Scratch = std::move(scratch);
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
  if (Options.User && !Options.WindowsRoot && (memory || !Options.Hives.empty())) {
    throw Exception(
        u"--user gilt für die Benutzer einer Windows-Installation: mit --windows-root oder, "
        u"unter Windows, für die laufende; nicht zusammen mit --demo, --reg oder --hive.");
  }
  if (hives)
    return OpenHiveSource(Options, ReadOnly);
  if (memory)
    return OpenMemorySource(Options);
  return OpenLiveSource(Options, ReadOnly);
}

TUserList ListUsers(const TRunOptions& Options) {
  if (Options.Demo || !Options.RegFiles.empty() || !Options.Hives.empty()) {
    throw Exception(
        u"--all-users gilt für die Benutzer einer Windows-Installation: mit --windows-root "
        u"oder, unter Windows, für die laufende; nicht zusammen mit --demo, --reg oder --hive.");
  }
  if (Options.WindowsRoot)
    return ListRootUsers(Options);
  return ListLiveUsers();
}

std::optional<std::u16string> ApplyRunOptions(const TRunOptions& Options,
                                              const TRegistrySource& Source, TMainDlg& Dlg) {
  if (Options.OutlookVersion)
    Dlg.cOutlookVersion = FromUtf8(*Options.OutlookVersion);
  if (Options.ProfilesTree)
    Dlg.cProfilesTree = FromUtf8(*Options.ProfilesTree);
  Dlg.cStoreSession = Source.Session.get();
  Dlg.cReadOnlyReason = Source.ReadOnlyReason;
  if (Options.Documents)
    return FromUtf8(*Options.Documents);
  return Source.Documents;
}

}  // namespace brindel::app
