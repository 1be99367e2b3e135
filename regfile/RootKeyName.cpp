#include "regfile/RootKeyName.h"

#include <array>

#include "platform/Text.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

struct RootName {
  std::u16string_view name;
  HKEY root;
  bool exported;  // a name the export writes and the import reads, with letter case
  bool lenient;   // a name a .reg text given with --reg may use, in any letter case
};

// Searched in this order both ways: the long name of a root comes before its short
// form. The short forms are what reg.exe and many scripts write; regedit's own files
// and the export use the long ones.
constexpr std::array<RootName, 11> kRootNames = {{
    {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, true, true},
    {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER, true, true},
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, true, true},
    {u"HKEY_USERS", HKEY_USERS, true, true},
    {u"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA, true, false},
    {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG, true, false},
    {u"HKEY_DYN_DATA", HKEY_DYN_DATA, true, false},
    {u"HKCR", HKEY_CLASSES_ROOT, false, true},
    {u"HKCU", HKEY_CURRENT_USER, false, true},
    {u"HKLM", HKEY_LOCAL_MACHINE, false, true},
    {u"HKU", HKEY_USERS, false, true},
}};

}  // namespace

std::u16string_view RootKeyName(HKEY root) {
  for (const RootName& entry : kRootNames) {
    if (entry.exported && entry.root == root)
      return entry.name;
  }
  return {};
}

std::optional<HKEY> RootKeyFromName(std::u16string_view name) {
  for (const RootName& entry : kRootNames) {
    if (entry.exported && entry.name == name)
      return entry.root;
  }
  return std::nullopt;
}

std::optional<HKEY> LenientRootKeyFromName(std::u16string_view name) {
  for (const RootName& entry : kRootNames) {
    if (entry.lenient && platform::SameTextIgnoreCase(entry.name, name))
      return entry.root;
  }
  return std::nullopt;
}

}  // namespace brindel::regfile
