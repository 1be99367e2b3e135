#include <algorithm>
#include <filesystem>

#include "app/RegistrySource.h"
#include "app/UserProfiles.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/InRoot.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "registry/store/hive/HiveStore.h"

namespace brindel::app {

namespace {

using platform::Exception;
using platform::FromUtf8;
using registry::store::HiveStore;
namespace fs = std::filesystem;

// The names of a Windows path below its drive: "C:\\Users\\anna" gives Users, anna.
std::vector<std::u16string> PartsOf(std::u16string_view windowsPath) {
  if (windowsPath.size() >= 2 && windowsPath[1] == u':')
    windowsPath.remove_prefix(2);
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= windowsPath.size()) {
    std::size_t end = windowsPath.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos)
      end = windowsPath.size();
    if (end > start)
      parts.emplace_back(windowsPath.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// A path of the mounted installation's drive C: as a local path: each name matched
// without regard to letter case, as Windows matches them, and every link within the
// root. A last name that is not there stays as given; nullopt when more is missing.
std::optional<std::string> BelowRoot(std::u16string_view windowsPath) {
  return platform::ResolveBelowRoot(PartsOf(windowsPath), true);
}

std::optional<std::string> FileBelowRoot(std::u16string_view windowsPath) {
  const auto path = BelowRoot(windowsPath);
  if (!path || !platform::FileExists(*path))
    return std::nullopt;
  return path;
}

// True for a path on the drive that the root is: C:, the drive of the installation.
bool OnSystemDrive(std::u16string_view windowsPath) {
  return windowsPath.size() >= 3 && platform::SameTextIgnoreCase(windowsPath.substr(0, 2), u"C:") &&
         (windowsPath[2] == u'\\' || windowsPath[2] == u'/');
}

std::u16string HiveOf(const TWindowsUser& user) {
  return user.ProfileFolder + u"\\NTUSER.DAT";
}

// Folders of Users that belong to no one who logs on.
constexpr std::pair<std::u16string_view, std::u16string_view> kNoUsers[] = {
    {u"Default", u"Vorlage für neue Benutzer"},
    {u"Default User", u"Vorlage für neue Benutzer"},
    {u"All Users", u"gemeinsamer Ordner aller Benutzer"},
    {u"Public", u"gemeinsamer Ordner aller Benutzer"},
};

// The users of the mounted installation: the profiles of its ProfileList (when its
// SOFTWARE hive is mounted in `software`), and the folders of Users that hold an
// NTUSER.DAT. Sorted by name, so that every system lists them alike.
TUserList RootUsers(registry::store::RegistryStore* software) {
  TUserList found;
  if (software != nullptr)
    found = ReadProfileList(*software, InstallationVariables({}));
  TUserList list;
  list.Skipped = std::move(found.Skipped);
  for (TWindowsUser& user : found.Users) {
    if (!OnSystemDrive(user.ProfileFolder)) {
      list.Skipped.push_back(
          {user.Name, u"Profilordner " + user.ProfileFolder + u" liegt nicht auf Laufwerk C:"});
    } else if (!FileBelowRoot(HiveOf(user))) {
      list.Skipped.push_back({user.Name, u"keine NTUSER.DAT in " + user.ProfileFolder});
    } else {
      user.Hive = *FileBelowRoot(HiveOf(user));
      list.Users.push_back(std::move(user));
    }
  }
  const auto usersFolder = BelowRoot(u"C:\\Users");
  const auto entries = usersFolder ? platform::ListFolder(*usersFolder) : std::nullopt;
  for (const std::string& entry : entries.value_or(std::vector<std::string>{})) {
    const std::u16string name = FromUtf8(entry);
    const std::u16string folder = u"C:\\Users\\" + name;
    const auto local = BelowRoot(folder);
    if (!local || !platform::DirectoryExists(*local))
      continue;
    const bool listed =
        std::any_of(list.Users.begin(), list.Users.end(),
                    [&](const TWindowsUser& user) {
                      return platform::SameTextIgnoreCase(user.Name, name);
                    }) ||
        std::any_of(list.Skipped.begin(), list.Skipped.end(), [&](const TSkippedUser& skipped) {
          return platform::SameTextIgnoreCase(skipped.Who, name);
        });
    if (listed)
      continue;
    const auto noUser = std::find_if(
        std::begin(kNoUsers), std::end(kNoUsers),
        [&](const auto& row) { return platform::SameTextIgnoreCase(row.first, name); });
    if (noUser != std::end(kNoUsers)) {
      list.Skipped.push_back({name, std::u16string(noUser->second)});
    } else if (const auto hive = FileBelowRoot(folder + u"\\NTUSER.DAT")) {
      list.Users.push_back({name, u"", folder, u"", *hive});
    } else {
      list.Skipped.push_back({name, u"keine NTUSER.DAT in " + folder});
    }
  }
  const auto byName = [](const auto& a, const auto& b) {
    return platform::UpperCase(a) < platform::UpperCase(b);
  };
  std::sort(list.Users.begin(), list.Users.end(),
            [&](const TWindowsUser& a, const TWindowsUser& b) { return byName(a.Name, b.Name); });
  std::sort(list.Skipped.begin(), list.Skipped.end(),
            [&](const TSkippedUser& a, const TSkippedUser& b) { return byName(a.Who, b.Who); });
  return list;
}

// Sets the Windows root for the run: from now on every path below it is found as that
// Windows finds it (platform/InRoot.h).
std::string UseWindowsRoot(const std::string& given) {
  const fs::path root(FromUtf8(given));
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    throw Exception(u"Den Ordner „" + FromUtf8(given) +
                    u"“ gibt es nicht; dort sollte eine Windows-Installation eingehängt sein.");
  }
  platform::SetWindowsRoot(given);
  return given;
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

std::unique_ptr<TStoreSession> MakeHiveSession(HiveStore& Hives) {
  return std::make_unique<THiveSession>(Hives);
}

TRegistrySource OpenUserHive(const std::filesystem::path& Hive, bool ReadOnly) {
  auto store = std::make_unique<HiveStore>(ReadOnly ? HiveStore::Mode::ReadOnly
                                                    : HiveStore::Mode::ReadWrite);
  TRegistrySource source;
  Mount(*store, source, HiveStore::MountPoint::CurrentUser, Hive, ReadOnly);
  source.Session = MakeHiveSession(*store);
  source.Store = std::move(store);
  return source;
}

TUserList ListRootUsers(const TRunOptions& Options) {
  UseWindowsRoot(*Options.WindowsRoot);
  const auto software = FileBelowRoot(u"C:\\Windows\\System32\\config\\SOFTWARE");
  if (!software)
    return RootUsers(nullptr);
  HiveStore store(HiveStore::Mode::ReadOnly);
  store.Mount(HiveStore::MountPoint::MachineSoftware, fs::path(FromUtf8(*software)), true);
  TUserList users = RootUsers(&store);
  store.Close();
  return users;
}

TRegistrySource OpenHiveSource(const TRunOptions& Options, bool ReadOnly) {
  auto store = std::make_unique<HiveStore>(ReadOnly ? HiveStore::Mode::ReadOnly
                                                    : HiveStore::Mode::ReadWrite);
  TRegistrySource source;
  if (Options.WindowsRoot) {
    if (!Options.User) {
      throw Exception(u"Zu --windows-root gehört --user NAME: wessen Registry soll es sein?");
    }
    const std::string root = UseWindowsRoot(*Options.WindowsRoot);
    const auto software = FileBelowRoot(u"C:\\Windows\\System32\\config\\SOFTWARE");
    if (software) {
      Mount(*store, source, HiveStore::MountPoint::MachineSoftware, fs::path(FromUtf8(*software)),
            ReadOnly);
    }
    const TUserList users = RootUsers(software ? store.get() : nullptr);
    const TWindowsUser* user = FindUser(users, FromUtf8(*Options.User));
    if (user == nullptr) {
      throw Exception(u"Einen Benutzer „" + FromUtf8(*Options.User) +
                      u"“ mit einer NTUSER.DAT gibt es in der Windows-Installation unter „" +
                      FromUtf8(root) + u"“ nicht. Gefunden: " + UserNames(users) + u".");
    }
    Mount(*store, source, HiveStore::MountPoint::CurrentUser, fs::path(FromUtf8(user->Hive)),
          ReadOnly);
    // That user's documents folder, as their Windows names it, below the root; also
    // when it is missing: the backup then fails with its own message instead of
    // landing on the rescue system's disk.
    std::u16string documents = DocumentsOfUser(*store, InstallationVariables(*user));
    if (!OnSystemDrive(documents)) {
      const std::u16string instead = user->ProfileFolder + u"\\Documents";
      if (!Options.Documents) {
        source.Notices.push_back(u"Der Dokumente-Ordner von „" + user->Name + u"“ ist „" +
                                 documents +
                                 u"“ und liegt nicht auf dieser Windows-Installation; die "
                                 u"Sicherungen kommen in „" +
                                 instead + u"“. Einen anderen Ort wählt --documents.");
      }
      documents = instead;
    }
    const auto local = BelowRoot(documents);
    std::u16string path = FromUtf8(root);
    while (!path.empty() && (path.back() == u'/' || path.back() == u'\\'))
      path.pop_back();
    for (const std::u16string& part : PartsOf(documents))
      path += platform::kPathDelimiter + part;
    source.Documents = local ? FromUtf8(*local) : path;
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
  source.Session = MakeHiveSession(*store);
  source.Store = std::move(store);
  return source;
}

}  // namespace brindel::app
