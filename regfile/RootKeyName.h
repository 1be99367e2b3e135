#pragma once

#include <optional>
#include <string_view>

#include "registry/store/RegistryStore.h"

namespace brindel::regfile {

// The names of the predefined roots in .reg key lines, as the export writes them and
// the import reads them: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
// HKEY_USERS, HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA. A handle
// outside the table has the empty name; a name outside it (compared with letter
// case) has no handle.
std::u16string_view RootKeyName(registry::store::HKEY root);
std::optional<registry::store::HKEY> RootKeyFromName(std::u16string_view name);
// A root as a .reg text given with --reg may name it: the long names of
// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS or their
// short forms HKCR, HKCU, HKLM and HKU, in any letter case, as regedit reads them.
std::optional<registry::store::HKEY> LenientRootKeyFromName(std::u16string_view name);

}  // namespace brindel::regfile
