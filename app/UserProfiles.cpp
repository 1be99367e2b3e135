#include "app/UserProfiles.h"

#include <algorithm>

#include "platform/Text.h"

namespace brindel::app {

namespace store = registry::store;
using platform::SameTextIgnoreCase;

namespace {

constexpr std::u16string_view kProfileList =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::u16string_view kUserShellFolders =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The accounts Windows runs its own services as; they have profiles, no mail.
struct SystemProfile {
  std::u16string_view sid;
  std::u16string_view what;
};
constexpr SystemProfile kSystemProfiles[] = {
    {u"S-1-5-18", u"Profil des Systems (LocalSystem)"},
    {u"S-1-5-19", u"Profil eines Systemdienstes (LocalService)"},
    {u"S-1-5-20", u"Profil eines Systemdienstes (NetworkService)"},
};

// The last name of a Windows path: the profile folder's name.
std::u16string LastName(std::u16string_view path) {
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/'))
    path.remove_suffix(1);
  const auto slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::u16string ExpandWith(std::u16string_view Text, const TVariables& Variables) {
  std::u16string result;
  std::size_t at = 0;
  while (at < Text.size()) {
    const auto open = Text.find(u'%', at);
    if (open == std::u16string_view::npos) {
      result.append(Text.substr(at));
      break;
    }
    result.append(Text.substr(at, open - at));
    const auto close = Text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {
      result.append(Text.substr(open));
      break;
    }
    const std::u16string_view name = Text.substr(open + 1, close - open - 1);
    const auto value = name.empty() ? std::nullopt : Variables(name);
    if (value) {
      result += *value;
      at = close + 1;
    } else {
      // Unknown: the text stays, and its closing "%" may open the next reference.
      result.append(Text.substr(open, close - open));
      at = close;
    }
  }
  return result;
}

TVariables InstallationVariables(const TWindowsUser& User) {
  const std::u16string profile = User.ProfileFolder;
  const std::u16string drive =
      profile.size() >= 2 && profile[1] == u':' ? profile.substr(0, 2) : std::u16string(u"C:");
  const std::u16string name = User.Name;
  return [profile, drive, name](std::u16string_view variable) -> std::optional<std::u16string> {
    const std::pair<std::u16string_view, std::u16string> table[] = {
        {u"USERPROFILE", profile},
        {u"SystemDrive", u"C:"},
        {u"SystemRoot", u"C:\\Windows"},
        {u"windir", u"C:\\Windows"},
        {u"HOMEDRIVE", drive},
        {u"HOMEPATH", profile.size() > 2 && profile[1] == u':' ? profile.substr(2) : profile},
        {u"USERNAME", name},
        {u"PUBLIC", u"C:\\Users\\Public"},
        {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
        {u"ProgramData", u"C:\\ProgramData"},
        {u"ProgramFiles", u"C:\\Program Files"},
        {u"APPDATA", profile + u"\\AppData\\Roaming"},
        {u"LOCALAPPDATA", profile + u"\\AppData\\Local"},
    };
    for (const auto& [key, value] : table) {
      if (SameTextIgnoreCase(key, variable))
        return value;
    }
    return std::nullopt;
  };
}

std::optional<std::u16string> ReadText(store::RegistryStore& Store, store::HKEY Root,
                                       std::u16string_view Key, std::u16string_view Value) {
  store::HKEY key = 0;
  if (Store.OpenKey(Root, Key, store::KEY_READ | store::KEY_WOW64_64KEY, key) !=
      store::ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> data;
  const auto status = Store.QueryValue(key, Value, type, size, &data);
  Store.CloseKey(key);
  if (status != store::ERROR_SUCCESS || (type != store::REG_SZ && type != store::REG_EXPAND_SZ))
    return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (c == u'\0')
      break;
    text += c;
  }
  return text;
}

TUserList ReadProfileList(store::RegistryStore& Store, const TVariables& Variables) {
  TUserList list;
  store::HKEY key = 0;
  if (Store.OpenKey(store::HKEY_LOCAL_MACHINE, kProfileList,
                    store::KEY_READ | store::KEY_WOW64_64KEY, key) != store::ERROR_SUCCESS) {
    return list;
  }
  std::vector<std::u16string> sids;
  std::u16string name;
  for (std::uint32_t i = 0; Store.EnumKey(key, i, name) == store::ERROR_SUCCESS; ++i)
    sids.push_back(name);
  Store.CloseKey(key);
  for (const std::u16string& sid : sids) {
    const auto system =
        std::find_if(std::begin(kSystemProfiles), std::end(kSystemProfiles),
                     [&sid](const SystemProfile& profile) { return profile.sid == sid; });
    if (system != std::end(kSystemProfiles)) {
      list.Skipped.push_back({sid, std::u16string(system->what)});
      continue;
    }
    // Windows keeps a profile it could not load under the SID with ".bak".
    if (sid.ends_with(u".bak") || sid.ends_with(u".BAK")) {
      list.Skipped.push_back({sid, u"Sicherungskopie eines Profileintrags"});
      continue;
    }
    const auto image = ReadText(Store, store::HKEY_LOCAL_MACHINE,
                                std::u16string(kProfileList) + u"\\" + sid, u"ProfileImagePath");
    if (!image || image->empty()) {
      list.Skipped.push_back({sid, u"kein Profilordner (ProfileImagePath) eingetragen"});
      continue;
    }
    TWindowsUser user;
    user.Sid = sid;
    user.ProfileFolder = ExpandWith(*image, Variables);
    user.Name = LastName(user.ProfileFolder);
    list.Users.push_back(std::move(user));
  }
  return list;
}

const TWindowsUser* FindUser(const TUserList& Users, std::u16string_view Name) {
  for (const TWindowsUser& user : Users.Users) {
    if (SameTextIgnoreCase(user.Name, Name) || (!user.Sid.empty() && user.Sid == Name))
      return &user;
  }
  for (const TWindowsUser& user : Users.Users) {
    if (user.Account.empty())
      continue;
    const auto backslash = user.Account.find(u'\\');
    const std::u16string_view account = user.Account;
    if (SameTextIgnoreCase(account, Name) ||
        (backslash != std::u16string::npos &&
         SameTextIgnoreCase(account.substr(backslash + 1), Name))) {
      return &user;
    }
  }
  return nullptr;
}

std::u16string UserNames(const TUserList& Users) {
  std::u16string names;
  for (const TWindowsUser& user : Users.Users)
    names += (names.empty() ? u"" : u", ") + user.Name;
  return names.empty() ? std::u16string(u"keine") : names;
}

std::u16string DocumentsOfUser(store::RegistryStore& Store, const TVariables& Variables) {
  const auto personal = ReadText(Store, store::HKEY_CURRENT_USER, kUserShellFolders, u"Personal");
  return ExpandWith(personal && !personal->empty() ? *personal : u"%USERPROFILE%\\Documents",
                    Variables);
}

}  // namespace brindel::app
