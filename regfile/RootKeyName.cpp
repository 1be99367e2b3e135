#include "regfile/RootKeyName.h"

#include <array>

namespace brindel::regfile {

using namespace registry::store;

namespace {

struct RootName {
  std::u16string_view name;
  HKEY root;
};

// The predefined roots as the export names them, searched in this order both ways.
constexpr std::array<RootName, 7> kPredefinedRoots = {{
    {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKEY_USERS", HKEY_USERS},
    {u"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {u"HKEY_DYN_DATA", HKEY_DYN_DATA},
}};

}  // namespace

std::u16string_view RootKeyName(HKEY root) {
  for (const RootName& entry : kPredefinedRoots) {
    if (entry.root == root)
      return entry.name;
  }
  return {};
}

std::optional<HKEY> RootKeyFromName(std::u16string_view name) {
  for (const RootName& entry : kPredefinedRoots) {
    if (entry.name == name)
      return entry.root;
  }
  return std::nullopt;
}

}  // namespace brindel::regfile
