#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindel::platform {

// Replaces each %NAME% by the value of the environment variable NAME. A reference to
// an unknown variable stays as it stands, and its closing "%" may open the next
// reference, as ExpandEnvironmentStringsW does.
std::u16string ExpandEnvironmentStrings(std::u16string_view text);

// One variable of the process environment (the one ExpandEnvironmentStrings reads);
// nullopt when it is not set. Writing nullopt removes it.
std::optional<std::u16string> ReadEnvironmentVariable(std::u16string_view name);
void WriteEnvironmentVariable(std::u16string_view name, const std::optional<std::u16string>& value);

}  // namespace brindel::platform
