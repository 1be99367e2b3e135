#include <algorithm>

#include "app/RegistrySource.h"
#include "app/UserProfiles.h"
#include "platform/Accounts.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/HeldFile.h"
#include "platform/Text.h"
#include "registry/store/SplitStore.h"
#include "registry/store/Win32Store.h"

namespace brindel::app {

namespace {

using platform::Exception;
using platform::FromUtf8;
using registry::store::Win32Store;

// The variables of a user of the running Windows: that user's own where Windows
// gives each user their own, the system's otherwise.
TVariables LiveVariables(const TWindowsUser& User) {
  const TVariables own = InstallationVariables(User);
  return [own](std::u16string_view name) -> std::optional<std::u16string> {
    for (std::u16string_view personal :
         {u"USERPROFILE", u"USERNAME", u"HOMEDRIVE", u"HOMEPATH", u"APPDATA", u"LOCALAPPDATA"}) {
      if (platform::SameTextIgnoreCase(name, personal))
        return own(name);
    }
    return platform::ReadEnvironmentVariable(name);
  };
}

std::u16string Named(const TWindowsUser& User) {
  return u"„" + User.Name + u"“" + (User.Account.empty() ? u"" : u" (" + User.Account + u")");
}

// A user who is logged on: Windows has loaded the hive under HKEY_USERS\<sid>, and the
// live registry is theirs with that key as HKEY_CURRENT_USER.
TRegistrySource LoggedOnSource(std::unique_ptr<Win32Store> Store, const TWindowsUser& User) {
  TRegistrySource source;
  source.Documents = DocumentsOfUser(*Store, LiveVariables(User));
  source.Notices.push_back(u"Der Benutzer " + Named(User) +
                           u" ist angemeldet; Brindel arbeitet auf seiner geladenen Registry "
                           u"(HKEY_USERS\\" +
                           User.Sid + u").");
  source.Session = std::make_unique<TImmediateSession>(*Store);
  source.Store = std::move(Store);
  return source;
}

// A user who is logged off: their NTUSER.DAT is HKEY_CURRENT_USER, the running
// system's registry the rest.
TRegistrySource LoggedOffSource(const TWindowsUser& User, bool ReadOnly) {
  platform::HeldFile::Refusal refusal = platform::HeldFile::Refusal::None;
  const std::filesystem::path hive(FromUtf8(User.Hive));
  if (!platform::HeldFile::Open(hive, platform::HeldFile::Use::Read, refusal) &&
      refusal == platform::HeldFile::Refusal::Denied) {
    throw Exception(u"Die Registry des Benutzers " + Named(User) + u", „" + FromUtf8(User.Hive) +
                    u"“, darf nur ein Administrator lesen. Bitte Brindel als Administrator "
                    u"starten (Rechtsklick, „Als Administrator ausführen“).");
  }
  TRegistrySource source = OpenUserHive(hive, ReadOnly);
  source.Store = std::make_unique<registry::store::SplitStore>(std::move(source.Store),
                                                               std::make_unique<Win32Store>());
  source.Documents = DocumentsOfUser(*source.Store, LiveVariables(User));
  return source;
}

}  // namespace

bool HasLiveRegistry() {
  return true;
}

TUserList ListLiveUsers() {
  Win32Store machine;
  TUserList list = ReadProfileList(
      machine, [](std::u16string_view name) { return platform::ReadEnvironmentVariable(name); });
  for (TWindowsUser& user : list.Users) {
    user.Account = platform::AccountOfSid(user.Sid);
    user.Hive = platform::ToUtf8(user.ProfileFolder + u"\\NTUSER.DAT");
  }
  std::sort(list.Users.begin(), list.Users.end(), [](const auto& a, const auto& b) {
    return platform::UpperCase(a.Name) < platform::UpperCase(b.Name);
  });
  return list;
}

// The registry of the logged-on user, changed where it stands, as the program was
// made for. Windows writes it itself; a flush only asks it to do so now. With --user
// that of another user of this Windows.
TRegistrySource OpenLiveSource(const TRunOptions& Options, bool ReadOnly) {
  if (!Options.User) {
    auto store = std::make_unique<Win32Store>();
    TRegistrySource source;
    source.Session = std::make_unique<TImmediateSession>(*store);
    source.Store = std::move(store);
    return source;
  }
  const TUserList users = ListLiveUsers();
  const TWindowsUser* user = FindUser(users, FromUtf8(*Options.User));
  if (user == nullptr) {
    throw Exception(u"Einen Benutzer „" + FromUtf8(*Options.User) +
                    u"“ gibt es in der Profilliste dieses Windows nicht. Gefunden: " +
                    UserNames(users) + u".");
  }
  registry::store::LSTATUS status = 0;
  if (auto store = Win32Store::ForUser(user->Sid, status))
    return LoggedOnSource(std::move(store), *user);
  if (status == registry::store::ERROR_ACCESS_DENIED) {
    throw Exception(u"Die Registry des angemeldeten Benutzers " + Named(*user) + u" (HKEY_USERS\\" +
                    user->Sid +
                    u") darf nur ein Administrator öffnen. Bitte Brindel als Administrator "
                    u"starten (Rechtsklick, „Als Administrator ausführen“).");
  }
  return LoggedOffSource(*user, ReadOnly);
}

}  // namespace brindel::app
