#pragma once

#include <string_view>

#include "registry/StringList.h"

namespace brindel::profile {

using registry::TStringList;

// Adds the 16-byte section ids listed in a value of the provider section under the
// profile tree, as 32 lower-case digits, by the list's own add rule.
void ReadSectionIdList(std::u16string_view profileTree, std::u16string_view valueName,
                       TStringList& list);
// Adds the 32-bit little-endian account numbers listed in a value of the account
// section, as 8 lower-case digits, most significant first.
void ReadAccountNumberList(std::u16string_view profileTree, std::u16string_view valueName,
                           TStringList& list);

}  // namespace brindel::profile
