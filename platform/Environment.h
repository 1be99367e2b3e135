#pragma once

#include <string>
#include <string_view>

namespace brindel::platform {

// Replaces each %NAME% by the value of the environment variable NAME. A reference to
// an unknown variable stays as it stands, and its closing "%" may open the next
// reference, as ExpandEnvironmentStringsW does.
std::u16string ExpandEnvironmentStrings(std::u16string_view text);

}  // namespace brindel::platform
