#pragma once

#include <string>
#include <string_view>

namespace brindel::platform {

// The account a SID ("S-1-5-21-…-1001") names, as DOMAIN\name; empty when the system
// cannot tell (an account deleted since, a domain out of reach, no Windows).
std::u16string AccountOfSid(std::u16string_view sid);

}  // namespace brindel::platform
