#include "outlook/ProfileList.h"

#include <cstdint>
#include <memory>

#include "profile/ProfileNames.h"
#include "registry/RegAccess.h"
#include "registry/StringList.h"

namespace brindel::outlook {

using registry::TRegAccess;
using registry::TStringList;
using registry::store::HKEY_CURRENT_USER;
using registry::store::KEY_READ;

namespace {

constexpr std::u16string_view kMessagingSubsystemTree =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr std::u16string_view kDefaultProfileValue = u"DefaultProfile";

// The decimal number of a version text; -1 when it is not one.
long VersionNumber(std::u16string_view text) {
  if (text.empty() || text.size() > 9)
    return -1;
  long value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9')
      return -1;
    value = value * 10 + (c - u'0');
  }
  return value;
}

// Reads "DefaultProfile" of one key. False when the key does not open or has no
// such value.
bool ReadDefaultProfileAt(std::u16string_view path, std::u16string& name) {
  TRegAccess reg(KEY_READ);
  reg.UseRoot(HKEY_CURRENT_USER);
  if (!reg.Open(path, false) || !reg.ValueExists(kDefaultProfileValue))
    return false;
  name = reg.ReadString(kDefaultProfileValue);
  return true;
}

// Hexadecimal digits of a number, upper case, without leading zeros; a negative
// number as its eight-digit two's complement.
std::u16string HexOf(int value) {
  auto bits = static_cast<std::uint32_t>(value);
  std::u16string digits;
  do {
    digits.insert(digits.begin(), u"0123456789ABCDEF"[bits & 0xF]);
    bits >>= 4;
  } while (bits != 0);
  return digits;
}

}  // namespace

std::u16string GetProfilesRegTree(std::u16string_view OutlookVersion) {
  if (VersionNumber(OutlookVersion) >= 15) {
    return u"Software\\Microsoft\\Office\\" + std::u16string(OutlookVersion) +
           u".0\\Outlook\\Profiles";
  }
  return std::u16string(kMessagingSubsystemTree);
}

TProfileList GetProfileList(std::u16string_view Key) {
  TProfileList list;
  if (Key.empty())
    return list;
  TRegAccess reg(KEY_READ);
  reg.UseRoot(HKEY_CURRENT_USER);
  reg.Close();
  if (!reg.Open(Key, false))
    return list;
  registry::TRegKeyInfo info;
  reg.GetKeyInfo(info);
  if (info.NumSubKeys == 0)
    return list;
  TStringList names;
  reg.GetSubKeyNames(names);
  for (const std::u16string& name : names.Items()) {
    reg.Close();
    if (!reg.Open(profile::ProfileTreeOf(Key, name), false))
      continue;
    auto record = std::make_unique<profile::TTavixFiles>();
    record->ProfilName = name;
    list.Add(std::move(record));
  }
  return list;
}

std::u16string GetDefaultProfile(std::u16string_view ProfilesTree) {
  const std::u16string tree(ProfilesTree);
  std::u16string name;
  if (ReadDefaultProfileAt(tree, name))
    return name;
  const std::size_t slash = tree.rfind(u'\\');
  if (slash != std::u16string::npos && ReadDefaultProfileAt(tree.substr(0, slash), name)) {
    return name;
  }
  return {};
}

std::u16string DecodeProfileKeyName(std::u16string_view Name) {
  std::u16string result;
  std::size_t i = 0;
  while (i < Name.size()) {
    const char16_t c = Name[i];
    if (c != u'[' || i + 2 >= Name.size()) {
      result += c;
      ++i;
      continue;
    }
    const int low = static_cast<int>(Name[i + 1]) - 0x70;
    const int high = static_cast<int>(Name[i + 2]) - 0x70;
    const std::u16string digits = HexOf(high) + HexOf(low);
    // At most eight significant digits make a number; more leave the "[" as it is.
    const std::size_t first = digits.find_first_not_of(u'0');
    const std::size_t significant = first == std::u16string::npos ? 0 : digits.size() - first;
    if (significant > 8) {
      result += c;
      ++i;
      continue;
    }
    std::uint32_t code = 0;
    for (const char16_t d : digits) {
      code = (code << 4) | static_cast<std::uint32_t>(d <= u'9' ? d - u'0' : d - u'A' + 10);
    }
    result += static_cast<char16_t>(code & 0xFFFF);
    i += 3;
  }
  return result;
}

}  // namespace brindel::outlook
