#include <filesystem>

#include "app/RegistrySource.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "registry/store/hive/HiveStore.h"

namespace brindel::app {

namespace {

using platform::Exception;
using platform::FromUtf8;
using registry::store::HiveStore;
namespace fs = std::filesystem;

// The entry below `folder` whose name equals `name` without regard to letter case,
// as Windows compares the names on its disk.
std::optional<fs::path> FindOnDisk(const fs::path& folder,
                                   std::initializer_list<std::string> names) {
  fs::path path = folder;
  for (const std::string& name : names) {
    std::optional<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) {
      if (platform::SameTextIgnoreCase(entry.path().filename().u16string(), FromUtf8(name))) {
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
  // A run writes only the user's hive. The machine hives are read, unlocked, so that
  // runs for different users of one Windows do not stand in each other's way.
  const bool onlyRead = where != HiveStore::MountPoint::CurrentUser;
  const HiveStore::MountResult result = store.Mount(where, file, onlyRead);
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

constexpr std::u16string_view kHiveWriteFailed =
    u"Die Änderungen konnten nicht in die Hive-Dateien geschrieben werden.";

// Hive files take the changes of a run in memory until they are flushed, so what an
// action that failed half-way did can still be forgotten.
class THiveSession final : public TStoreSession {
 public:
  explicit THiveSession(HiveStore& Hives) : hives_(Hives) {}

  std::u16string Flush() override {
    if (hives_.FlushKey(registry::store::HKEY_CURRENT_USER) == registry::store::ERROR_SUCCESS)
      return {};
    return WriteFailure();
  }
  std::u16string Commit() override {
    // A key that could not be read makes what the run showed incomplete: that is an
    // error too, also for a run that only read.
    const std::u16string damage = hives_.DamageNotice();
    if (hives_.Close() != registry::store::ERROR_SUCCESS)
      return WriteFailure();
    return damage;
  }
  void Discard() override { hives_.DiscardChanges(); }
  bool CanDiscard() const override { return true; }

 private:
  std::u16string WriteFailure() const {
    const std::u16string& failure = hives_.LastWriteError();
    return failure.empty() ? std::u16string(kHiveWriteFailed) : failure;
  }

  HiveStore& hives_;
};

}  // namespace

TRegistrySource OpenHiveSource(const TRunOptions& Options, bool ReadOnly) {
  auto store = std::make_unique<HiveStore>(ReadOnly ? HiveStore::Mode::ReadOnly
                                                    : HiveStore::Mode::ReadWrite);
  TRegistrySource source;
  if (Options.WindowsRoot) {
    if (!Options.User) {
      throw Exception(u"Zu --windows-root gehört --user NAME: wessen Registry soll es sein?");
    }
    const fs::path root(FromUtf8(*Options.WindowsRoot));
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
    source.Documents = (documents ? *documents : userHive->parent_path() / "Documents").u16string();
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
    Mount(*store, source, point, fs::path(FromUtf8(hive.substr(equals + 1))), ReadOnly);
  }
  source.Session = std::make_unique<THiveSession>(*store);
  source.Store = std::move(store);
  return source;
}

}  // namespace brindel::app
