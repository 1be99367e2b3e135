#pragma once

#include <cstdint>
#include <string>

namespace brindel::platform {

// The text of a platform result code: "Error %d : %s" with the system's message,
// which ends in the line break the system gives it, or "Error %d" when the system
// has no message for the code. On Windows the message comes from the system (and
// netmsg.dll for network codes); elsewhere from a table of the English Windows
// messages of the codes this program can meet.
std::u16string ErrorText(std::int32_t code);

// The system's message alone, "\r\n" included; empty when there is none.
std::u16string SystemMessage(std::int32_t code);

}  // namespace brindel::platform
