#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/store/RegistryStore.h"

namespace brindel::app {

// One user of a Windows installation, as its profile list or its Users folder knows
// the user.
struct TWindowsUser {
  std::u16string Name;           // the name of the profile folder, as --user names it
  std::u16string Sid;            // empty when only the Users folder knows the user
  std::u16string ProfileFolder;  // as Windows writes it: C:\Users\anna
  std::u16string Account;        // DOMAIN\name, where the system can tell it
  std::string Hive;              // the local path of the user's NTUSER.DAT, where known
};

// A profile that --all-users leaves out, and why.
struct TSkippedUser {
  std::u16string Who;
  std::u16string Why;
};

struct TUserList {
  std::vector<TWindowsUser> Users;
  std::vector<TSkippedUser> Skipped;
};

// The value of an environment variable of the installation a path belongs to;
// nullopt for one it does not know.
using TVariables = std::function<std::optional<std::u16string>(std::u16string_view Name)>;

// Replaces each %NAME% by its value, as ExpandEnvironmentStringsW does: names without
// regard to letter case, an unknown one stays as it stands and its closing "%" may
// open the next reference.
std::u16string ExpandWith(std::u16string_view Text, const TVariables& Variables);

// What Windows sets for a user of an installation on drive C:, with its profile folder
// (%USERPROFILE%): for paths of a Windows that does not run here.
TVariables InstallationVariables(const TWindowsUser& User);

// The profiles of the store's ProfileList (HKEY_LOCAL_MACHINE, key
// SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList), their ProfileImagePath
// expanded with `Variables`. The profiles of the system's services (S-1-5-18, -19, -20) and what is
// no profile go to Skipped.
TUserList ReadProfileList(registry::store::RegistryStore& Store, const TVariables& Variables);

// The user of that folder name or account name (without regard to letter case, with
// or without the domain) or that SID; null when there is none.
const TWindowsUser* FindUser(const TUserList& Users, std::u16string_view Name);

// The names of the users, for a message: "anna, tech".
std::u16string UserNames(const TUserList& Users);

// The user's documents folder as Windows writes it: the value Personal of the key
// Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders of the store's
// HKEY_CURRENT_USER, expanded with `Variables`; %USERPROFILE%\Documents without it.
std::u16string DocumentsOfUser(registry::store::RegistryStore& Store, const TVariables& Variables);

// The text of a REG_SZ or REG_EXPAND_SZ value; nullopt when the key or the value is
// missing or holds no text.
std::optional<std::u16string> ReadText(registry::store::RegistryStore& Store,
                                       registry::store::HKEY Root, std::u16string_view Key,
                                       std::u16string_view Value);

}  // namespace brindel::app
